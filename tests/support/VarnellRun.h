#pragma once

#include <QByteArray>

// Runs the built `varnell` command and keeps what it did.
struct VarnellRun
{
    int exitCode = -1; // -1 when it crashed
    QByteArray out;
    QByteArray err;
};

// The arguments are the words of line split at blanks, "~" standing for a
// blank inside a word; input goes to the command's standard input.
VarnellRun varnell(const QByteArray &line, const QByteArray &input = QByteArray());
