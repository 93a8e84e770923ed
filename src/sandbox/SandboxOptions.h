#pragma once

#include <QString>
#include <QStringList>

// The sandbox's command line, with the faults it can be told to show.
struct SandboxOptions
{
    int port = 0;           // 0: any free port
    QString dataDir;        // empty: "data" in defaultFolder()
    QString outboxDir;      // empty: "outbox" in defaultFolder()
    int delayMs = 0;        // wait before every answer
    bool failFirst = false; // the first request for each URL fails
    bool hang = false;      // accept requests and never answer them
    int status = 0;         // answer every request with this status instead

    enum class Parse
    {
        Run,
        Help,
        Error
    };

    // The arguments without the program's name. On Error, *error says what
    // was wrong.
    static Parse parse(const QStringList &arguments, SandboxOptions *options, QString *error);

    static QString usage();

    // The folder of this user's own under the temporary folder that holds
    // the catalogue and the outbox unless they are given.
    static QString defaultFolder();
};
