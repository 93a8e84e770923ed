#pragma once

#include <QString>

// The one developer account that the local gateway knows.
namespace SandboxAccount {

inline QString developerKey()
{
    return QStringLiteral("SBX-DEMO-001demo.varnellypackz");
}

inline QString encryptionKey()
{
    return QStringLiteral("Varnell sandbox key");
}

// The rest follows from the developer key as the program derives it: the
// package server's host name ("www." and the server path up to its first
// "/"), the folder of its pages on that host ("/" and the rest of the path),
// and the statistics identifier (the path without "/" and ".").
QString packageHost();
QString packageFolder();
QString statisticsId();

} // namespace SandboxAccount
