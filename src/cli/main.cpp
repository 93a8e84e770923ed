#include "cli/Cli.h"
#include "common/SecretMemory.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    SecretMemory::protectProcess();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnell"));
    return Cli::run(QCoreApplication::arguments().mid(1));
}
