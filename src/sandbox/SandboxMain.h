#pragma once

#include <QStringList>

// The whole varnell-sandbox program: arguments (without the program's name)
// in, exit status out (0 after a stop by SIGTERM, SIGINT or SIGHUP, 1 when
// it cannot run, 2 on a usage error). Needs a QCoreApplication, whose event
// loop it runs.
namespace SandboxMain {

int run(const QStringList &arguments);

} // namespace SandboxMain
