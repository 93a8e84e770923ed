#include "support/VarnellRun.h"

#include "TestConfig.h"

#include <QProcess>
#include <QStringList>

VarnellRun varnell(const QByteArray &line, const QByteArray &input)
{
    QStringList arguments = QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString &word : arguments)
        word.replace(QLatin1Char('~'), QLatin1Char(' '));
    QProcess process;
    process.start(QString::fromUtf8(TestConfig::varnellPath), arguments);
    if (!process.waitForStarted(10000))
        qFatal("cannot start varnell");
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        qFatal("varnell did not finish");
    return VarnellRun{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                      process.readAllStandardOutput(), process.readAllStandardError()};
}
