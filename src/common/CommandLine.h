#pragma once

#include <QString>

// The record file named on the program's command line.
namespace CommandLine {

// The command line (the arguments as one string) with every double quote
// removed, when that is longer than 4 characters and, trimmed, ends in
// ".vrd" in any letter case; otherwise the empty string. The path comes
// back untrimmed.
QString recordFile(const QString &commandLine);

} // namespace CommandLine
