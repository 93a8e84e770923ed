#pragma once

#include <QStringList>

// The whole varnell-sandbox program: arguments in, exit status out (0 after
// a stop by signal, 1 when it cannot run, 2 on a usage error).
namespace SandboxMain {

int run(const QStringList &arguments);

} // namespace SandboxMain
