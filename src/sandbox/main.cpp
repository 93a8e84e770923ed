#include "common/SecretMemory.h"
#include "sandbox/SandboxMain.h"

#include <QString>

int main(int argc, char *argv[])
{
    SecretMemory::protectProcess();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return SandboxMain::run(arguments);
}
