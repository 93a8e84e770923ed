#pragma once

#include <QString>
#include <QStringList>

// The sandbox's command line, with the faults it can be told to show.
struct SandboxOptions
{
    int port = 0; // 0: any free port
    QString dataDir;
    QString outboxDir;
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

    // Unset folders get their defaults under the temporary folder. On Error,
    // *error says what was wrong.
    static Parse parse(const QStringList &arguments, SandboxOptions *options, QString *error);

    static QString usage();
};
