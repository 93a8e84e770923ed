#include "sandbox/SandboxMain.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnell-sandbox"));
    return SandboxMain::run(QCoreApplication::arguments().mid(1));
}
