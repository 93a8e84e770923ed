#include "common/SecretMemory.h"
#include "sandbox/SandboxMain.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    SecretMemory::protectProcess();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnell-sandbox"));
    return SandboxMain::run(QCoreApplication::arguments().mid(1));
}
