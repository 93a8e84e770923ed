#include "TestConfig.h"
#include "records/RecordFile.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTest>

#include <csignal>

namespace {

QString program()
{
    return QString::fromUtf8(TestConfig::binaryDir) + QStringLiteral("/src/app/varnell-decryptor");
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// True once the process has its own handler for SIGTERM, so that the signal
// closes its windows instead of killing it.
bool catchesTerminate(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            bool ok = false;
            const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
            return ok && (mask & (1ULL << (SIGTERM - 1)));
        }
    }
    return false;
}

} // namespace

class TestDesktopProgram : public QObject
{
    Q_OBJECT

private slots:
    void startsShowsARecordAndCloses();
    void missingStoreEndsWithTheMessage();
};

void TestDesktopProgram::startsShowsARecordAndCloses()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("ABCDEFGHIJKLhostyvarnz"), QStringLiteral("key"));
    const QString record = env.path(QStringLiteral("with blanks.vrd"));
    {
        QFile file(record);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(RecordFile::fromTabbedText(QStringLiteral("Name:\tAnn\n"), QStringLiteral("key"))
                       .bytes);
    }
    const QString log = env.path(QStringLiteral("messages.log"));
    QProcessEnvironment environment = env.processEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("VARNELL_MESSAGE_LOG"), log);

    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program(), {record});
    QVERIFY(process.waitForStarted(10000));
    QElapsedTimer waited;
    waited.start();
    while (!catchesTerminate(process.processId()) && waited.elapsed() < 30000 &&
           process.state() == QProcess::Running)
        QTest::qWait(20);
    QVERIFY(catchesTerminate(process.processId()));
    // Running, and still running a moment later: the window is up.
    QTest::qWait(300);
    QCOMPARE(process.state(), QProcess::Running);

    // A termination request closes the window (which then saves its
    // placement) or, while start-up still runs, ends before the window shows.
    process.terminate();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(contents(log), QByteArray());
    const QString iniPath = env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini"));
    if (QFile::exists(iniPath)) {
        QSettings ini(iniPath, QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("Settings/StatPeriod")).toString(), QStringLiteral("3"));
        QVERIFY(ini.value(QStringLiteral("Settings/posWidth")).toDouble() >= 8500);
        QVERIFY(ini.value(QStringLiteral("Settings/posHeight")).toDouble() >= 6500);
    }
}

void TestDesktopProgram::missingStoreEndsWithTheMessage()
{
    TestEnvironment env;
    const QString log = env.path(QStringLiteral("messages.log"));
    QProcessEnvironment environment = env.processEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("VARNELL_MESSAGE_LOG"), log);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program(), {});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(contents(log), QByteArray("Critical|Varnell Decryptor|Unable to access utility "
                                       "settings.\\r\\nPlease contact Ostrand.\n"));
    QVERIFY(!QFile::exists(env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini"))));
}

QTEST_GUILESS_MAIN(TestDesktopProgram)
#include "tst_desktopprogram.moc"
