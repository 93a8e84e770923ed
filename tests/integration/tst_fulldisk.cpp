// Every writer of the program on a real full filesystem: a small tmpfs,
// where the tests run as root and may mount one.
#include "store/RegistrySettings.h"
#include "support/SandboxProcess.h"
#include "support/TestEnvironment.h"
#include "support/VarnellRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Unmounts the folder when it goes, whatever happened meanwhile.
struct Mount
{
    explicit Mount(const QString &folder) : folder(folder)
    {
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QStringLiteral("size=1m,mode=0755"), QStringLiteral("tmpfs"), folder});
        mounted = mount.waitForFinished(10000) && mount.exitStatus() == QProcess::NormalExit &&
                  mount.exitCode() == 0;
    }
    ~Mount()
    {
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), {folder});
    }
    QString folder;
    bool mounted = false;
};

QStringList everything(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

void writePlain(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush());
}

} // namespace

class TestFullDisk : public QObject
{
    Q_OBJECT

private slots:
    void everyWriterFailsLoudlyAndKeepsTheEarlierFile();
};

void TestFullDisk::everyWriterFailsLoudlyAndKeepsTheEarlierFile()
{
    TestEnvironment env;
    const QString disk = env.path(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(disk));
    const Mount mount(disk);
    if (!mount.mounted)
        QSKIP("Mounting a tmpfs needs root and a system that allows it; the writer's fault seam "
              "(tst_safefile) covers full disks here.");

    // The store, the placement file and two earlier outputs on the small
    // disk; the record and the sandbox's files elsewhere.
    const QString system = disk + QStringLiteral("/system");
    qputenv("VARNELL_SYSTEM_DIR", QFile::encodeName(system));
    const QByteArray store = QFile::encodeName(system + QStringLiteral("/vemtu.sys"));
    QCOMPARE(varnell("store init --developer-key " + SandboxProcess::developerKey().toUtf8() +
                     " --encryption-key Varnell~sandbox~key")
                 .exitCode,
             0);
    SandboxProcess sandbox;
    QVERIFY(sandbox.isListening());
    qputenv("http_proxy", sandbox.proxyUrl().toUtf8());
    const QByteArray record = env.path(QStringLiteral("r.vrd")).toUtf8();
    QCOMPARE(varnell("encrypt --key k --output " + record, "Name:\tAnn\n").exitCode, 0);
    const QString text = disk + QStringLiteral("/o.txt");
    const QString csv = disk + QStringLiteral("/o.csv");
    writePlain(text, "earlier txt");
    writePlain(csv, "earlier csv");
    // Two placement files, each for one pass (a writer may remember a
    // failure for its file).
    const auto makePlacement = [&disk](const char *config) {
        qputenv("XDG_CONFIG_HOME",
                QFile::encodeName(disk + QLatin1Char('/') + QLatin1String(config)));
        RegistrySettings settings;
        settings.write(QStringLiteral("posTop"), QStringLiteral("300"));
        return settings.sync() ? settings.fileName() : QString();
    };
    const QString nearlyFullIni = makePlacement("config2");
    const QString ini = makePlacement("config");
    QVERIFY(!ini.isEmpty() && !nearlyFullIni.isEmpty());
    const QByteArray storeBefore = contents(QFile::decodeName(store));
    const QByteArray iniBefore = contents(ini);

    // Fill the disk to its last byte.
    const QString fill = disk + QStringLiteral("/fill");
    {
        const int fd = ::open(QFile::encodeName(fill).constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(fd >= 0);
        const QByteArray block(4096, 'x');
        int error = 0;
        for (int i = 0; i < 1000 && !error; ++i) {
            if (::write(fd, block.constData(), std::size_t(block.size())) < 0)
                error = errno;
        }
        ::close(fd);
        QCOMPARE(error, ENOSPC);
    }
    const QStringList diskBefore = everything(disk);
    const QStringList systemBefore = everything(system);
    const QByteArray full = ": No space left on device";

    // The outputs: exit 1 naming the file and the reason, the earlier file
    // byte for byte.
    const QList<std::pair<QByteArray, QString>> outputs = {
        {"decrypt --key k --output " + text.toUtf8() + ' ' + record, text},
        {"stats --period year --csv " + csv.toUtf8(), csv}};
    for (const auto &[command, output] : outputs) {
        const VarnellRun r = varnell(command);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, "varnell: Cannot write " + output.toUtf8() + full + '\n');
        QCOMPARE(contents(output), "earlier " + QFileInfo(output).suffix().toUtf8());
    }

    // The store: changing it or replacing it fails and says why (in
    // SQLite's words: it keeps no system error for a full disk); it still
    // reads as before.
    const QByteArray storeFull = store + ": database or disk is full";
    VarnellRun r = varnell("store set --encryption-key new");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, "varnell: Unable to update keys. (" + storeFull + ")\n");
    r = varnell("store init --force --developer-key D --encryption-key E");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, "varnell: Cannot write the settings store " + storeFull + ".\n");
    QCOMPARE(contents(QFile::decodeName(store)), storeBefore);
    QVERIFY(varnell("store show").out.contains("\nEncryption key: Varnell sandbox key\n"));

    // The placement file.
    RegistrySettings settings;
    settings.write(QStringLiteral("posTop"), QStringLiteral("600"));
    QString why;
    QVERIFY(!settings.sync(&why));
    QCOMPARE(why, QStringLiteral("Cannot write ") + ini + QString::fromUtf8(full));
    QCOMPARE(contents(ini), iniBefore);

    // Nothing left behind.
    QCOMPARE(everything(disk), diskBefore);
    QCOMPARE(everything(system), systemBefore);

    // Room for one page: a writer that needs a lock file beside its data
    // can take that page and then lose the data without noticing. Either
    // the new file is whole or the earlier one stays.
    QVERIFY(QFile::resize(fill, QFileInfo(fill).size() - 4096));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(disk + QStringLiteral("/config2")));
    const QByteArray nearlyFullBefore = contents(nearlyFullIni);
    RegistrySettings nearlyFull;
    nearlyFull.write(QStringLiteral("posLeft"), QStringLiteral("450"));
    if (nearlyFull.sync())
        QCOMPARE(RegistrySettings().read(QStringLiteral("posLeft")), QStringLiteral("450"));
    else
        QCOMPARE(contents(nearlyFullIni), nearlyFullBefore);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(disk + QStringLiteral("/config")));

    // With room again, the same commands succeed.
    QVERIFY(QFile::remove(fill));
    QCOMPARE(varnell("decrypt --key k --output " + text.toUtf8() + ' ' + record).exitCode, 0);
    QVERIFY(contents(text).startsWith("Name:"));
    QCOMPARE(varnell("store set --encryption-key new").exitCode, 0);
    QVERIFY(settings.sync());
}

QTEST_GUILESS_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
