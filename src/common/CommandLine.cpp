#include "common/CommandLine.h"

namespace CommandLine {

QString recordFile(const QString &commandLine)
{
    QString path = commandLine;
    path.remove(QLatin1Char('"'));
    if (path.size() <= 4)
        return QString();
    if (!path.trimmed().right(4).toUpper().endsWith(QLatin1String(".VRD")))
        return QString();
    return path;
}

} // namespace CommandLine
