#include "common/SafeFile.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void writePlain(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

struct Fault
{
    explicit Fault(SafeFile::Fault fault) { SafeFile::setFault(fault); }
    ~Fault() { SafeFile::setFault(std::nullopt); }
};

const QByteArray newBytes = "the new contents\n";

} // namespace

class TestSafeFile : public QObject
{
    Q_OBJECT

private slots:
    void failedWritesLoseNothing_data();
    void failedWritesLoseNothing();
    void modesAndLinks();
    void linksInSharedFolders();
    void readLimit();
    void batches();
};

void TestSafeFile::failedWritesLoseNothing_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<qint64>("afterBytes");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<bool>("earlier");
    const int write = int(SafeFile::Fault::Step::Write), sync = int(SafeFile::Fault::Step::Sync);
    // Under the buffer size of a buffered writer, where a failure shows only
    // when the buffer is flushed.
    QTest::newRow("disk full after a few bytes") << write << qint64(5) << ENOSPC << true;
    QTest::newRow("disk full, no earlier file") << write << qint64(5) << ENOSPC << false;
    QTest::newRow("device fails at the sync") << sync << qint64(0) << EIO << true;
}

void TestSafeFile::failedWritesLoseNothing()
{
    QFETCH(int, step);
    QFETCH(qint64, afterBytes);
    QFETCH(int, errorCode);
    QFETCH(bool, earlier);
    TestEnvironment env;
    const QString folder = env.path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/file.txt");
    if (earlier)
        writePlain(path, "earlier");
    {
        const Fault fault({SafeFile::Fault::Step(step), afterBytes, errorCode});
        const SafeFile::Result result = SafeFile::write(path, newBytes);
        QVERIFY(!result);
        QCOMPARE(result.errorCode, errorCode);
        QCOMPARE(result.error, QStringLiteral("Cannot write %1: %2")
                                   .arg(path, QString::fromLocal8Bit(std::strerror(errorCode))));
    }
    // The earlier file as it was, and no temporary file left beside it.
    QCOMPARE(entries(folder), earlier ? QStringList{QStringLiteral("file.txt")} : QStringList());
    if (earlier)
        QCOMPARE(contents(path), QByteArray("earlier"));
    QVERIFY(SafeFile::write(path, newBytes));
    QCOMPARE(contents(path), newBytes);
    QCOMPARE(entries(folder), QStringList{QStringLiteral("file.txt")});
}

void TestSafeFile::modesAndLinks()
{
    TestEnvironment env;
    const mode_t umask = ::umask(0);
    const auto restoreUmask = qScopeGuard([umask] { ::umask(umask); });
    const auto path = [&env](const char *name) { return env.path(QLatin1String(name)); };

    // New files are private; a replaced file keeps its mode unless the
    // caller asks for a private one.
    QVERIFY(SafeFile::write(path("new"), newBytes));
    QCOMPARE(unixMode(path("new")), 0600);
    writePlain(path("shared"), "earlier");
    QVERIFY(::chmod(QFile::encodeName(path("shared")).constData(), 0644) == 0);
    QVERIFY(SafeFile::write(path("shared"), newBytes));
    QCOMPARE(contents(path("shared")) + QByteArray::number(unixMode(path("shared")), 8),
             newBytes + "644");
    QVERIFY(SafeFile::write(path("shared"), newBytes, {.ownerOnly = true}));
    QCOMPARE(unixMode(path("shared")), 0600);

    // A link is followed to the file it names, relative to the link's own
    // folder, and stays a link; a dangling one makes its target.
    QVERIFY(QDir().mkpath(path("sub")));
    QVERIFY(QFile::link(QStringLiteral("../shared"), path("sub/relative")));
    QVERIFY(QFile::link(path("sub/relative"), path("chain")));
    QVERIFY(SafeFile::write(path("chain"), "through two links"));
    QCOMPARE(contents(path("shared")), QByteArray("through two links"));
    QVERIFY(QFileInfo(path("chain")).isSymLink() && QFileInfo(path("sub/relative")).isSymLink());
    QVERIFY(QFile::link(path("made"), path("dangling")));
    QVERIFY(SafeFile::write(path("dangling"), newBytes));
    QCOMPARE(contents(path("made")), newBytes);
    QCOMPARE(unixMode(path("made")), 0600);

    // What cannot be replaced is refused with the system's reason, at once.
    QVERIFY(QFile::link(path("loop2"), path("loop1")));
    QVERIFY(QFile::link(path("loop1"), path("loop2")));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {path("fifo")}), 0);
    const std::pair<QString, QString> refused[] = {
        {path("loop1"), QStringLiteral("Too many levels of symbolic links")},
        {path("sub"), QStringLiteral("Is a directory")},
        {path("fifo"), QStringLiteral("not a regular file")},
        {path("missing/file"), QStringLiteral("No such file or directory")},
    };
    for (const auto &[target, reason] : refused)
        QCOMPARE(SafeFile::write(target, newBytes).error,
                 QStringLiteral("Cannot write %1: %2").arg(target, reason));
    struct stat fifo = {};
    QVERIFY(::lstat(QFile::encodeName(path("fifo")).constData(), &fifo) == 0 &&
            S_ISFIFO(fifo.st_mode));
}

void TestSafeFile::linksInSharedFolders()
{
    if (::geteuid() != 0)
        QSKIP("Links of another user can only be made as root.");
    TestEnvironment env;
    const uid_t other = 65534; // nobody
    const QString shared = env.path(QStringLiteral("shared"));
    const QString victim = env.path(QStringLiteral("victim"));
    QVERIFY(QDir().mkpath(shared));
    writePlain(victim, "victim");
    const QByteArray nativeShared = QFile::encodeName(shared);
    const auto link = [&](const QString &name, const QString &target, uid_t owner) {
        const QString path = shared + QLatin1Char('/') + name;
        QFile::remove(path);
        if (!QFile::link(target, path) ||
            ::lchown(QFile::encodeName(path).constData(), owner, owner) != 0)
            qFatal("cannot make the link %s", qPrintable(path));
        return path;
    };

    // Everybody may write in the folder and it is sticky: another user's
    // link there is not followed, even at the end of one of ours.
    QVERIFY(::chmod(nativeShared.constData(), 01777) == 0);
    const QString planted = link(QStringLiteral("out.txt"), victim, other);
    const QString ours = env.path(QStringLiteral("ours"));
    QVERIFY(QFile::link(planted, ours));
    for (const QString &path : {planted, ours}) {
        const SafeFile::Result result = SafeFile::write(path, newBytes);
        QCOMPARE(result.errorCode, EPERM);
        QCOMPARE(result.error,
                 QStringLiteral("Cannot write %1: %2 is a link in the shared folder %3 and "
                                "belongs to another user; such links are not followed")
                     .arg(path, planted, shared));
    }
    QCOMPARE(contents(victim), QByteArray("victim"));
    QCOMPARE(entries(shared), QStringList{QStringLiteral("out.txt")});

    // The caller's own link, the folder owner's, and any link in a folder
    // that is not sticky, are followed.
    QVERIFY(SafeFile::write(link(QStringLiteral("mine"), victim, ::geteuid()), "mine"));
    QCOMPARE(contents(victim), QByteArray("mine"));
    QVERIFY(::chown(nativeShared.constData(), other, other) == 0);
    QVERIFY(SafeFile::write(planted, "owner's"));
    QCOMPARE(contents(victim), QByteArray("owner's"));
    QVERIFY(::chown(nativeShared.constData(), 0, 0) == 0 &&
            ::chmod(nativeShared.constData(), 0777) == 0);
    QVERIFY(SafeFile::write(planted, "not sticky"));
    QCOMPARE(contents(victim), QByteArray("not sticky"));
}

void TestSafeFile::readLimit()
{
    TestEnvironment env;
    const QString path = env.path(QStringLiteral("file"));
    QByteArray bytes;
    writePlain(path, "0123456789");
    QVERIFY(SafeFile::readRegular(path, 10, bytes));
    QCOMPARE(bytes, QByteArray("0123456789"));
    writePlain(path, "0123456789A");
    SafeFile::Result read = SafeFile::readRegular(path, 10, bytes);
    QCOMPARE(read.errorCode, EFBIG);
    QCOMPARE(read.error, QStringLiteral("the file is larger than 10 bytes"));
    QVERIFY(bytes.isEmpty());
    // A file whose size the system does not tell is held to the limit too.
    QCOMPARE(QFileInfo(QStringLiteral("/proc/self/status")).size(), 0);
    read = SafeFile::readRegular(QStringLiteral("/proc/self/status"), 10, bytes);
    QCOMPARE(read.errorCode, EFBIG);
    QVERIFY(SafeFile::readRegular(QStringLiteral("/proc/self/status"), 1 << 20, bytes));
    QVERIFY(bytes.startsWith("Name:"));
    QCOMPARE(SafeFile::sizeText(64 << 20) + SafeFile::sizeText(16 << 10) + SafeFile::sizeText(1025),
             QStringLiteral("64 MiB16 KiB1025 bytes"));
}

void TestSafeFile::batches()
{
    // A batch puts every file in place at its commit, not before; an
    // earlier file is replaced, a new one made 0600.
    TestEnvironment env;
    const QString folder = env.path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(folder));
    const QString a = folder + QStringLiteral("/a.txt"), b = folder + QStringLiteral("/b.txt");
    writePlain(a, "earlier");
    {
        SafeFile::Batch batch;
        QVERIFY(batch.add(a, "new a"));
        QVERIFY(batch.add(b, "new b"));
        QCOMPARE(contents(a), QByteArray("earlier"));
        QVERIFY(!QFile::exists(b));
        QCOMPARE(entries(folder).size(), 3); // a and two temporary files
        QVERIFY(batch.commit());
    }
    QCOMPARE(contents(a) + '|' + contents(b), QByteArray("new a|new b"));
    QCOMPARE(unixMode(b), 0600);
    QCOMPARE(entries(folder), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));

    // A file that cannot be written fails alone; the rest go in place.
    {
        SafeFile::Batch batch;
        Fault full({SafeFile::Fault::Step::Write, 3, ENOSPC});
        const SafeFile::Result failed = batch.add(a, "not this");
        QVERIFY(!failed && failed.error.contains(QLatin1String("No space left on device")));
        SafeFile::setFault(std::nullopt);
        QVERIFY(batch.add(b, "b again"));
        // A name that ends at a file of the batch (a link to it) is refused
        // rather than put in place over that file.
        QVERIFY(QFile::link(b, folder + QStringLiteral("/c.txt")));
        const SafeFile::Result twice = batch.add(folder + QStringLiteral("/c.txt"), "over b");
        QVERIFY(!twice && twice.error.contains(QLatin1String("another file of the same batch")));
        QVERIFY(batch.commit());
        QVERIFY(QFile::remove(folder + QStringLiteral("/c.txt")));
    }
    QCOMPARE(contents(a) + '|' + contents(b), QByteArray("new a|b again"));

    // The one sync failing: nothing is put in place, nothing is left behind.
    {
        SafeFile::Batch batch;
        QVERIFY(batch.add(a, "lost a"));
        QVERIFY(batch.add(b, "lost b"));
        Fault failing({SafeFile::Fault::Step::Sync, 0, EIO});
        const SafeFile::Result committed = batch.commit();
        QVERIFY(!committed && committed.error.contains(QLatin1String("Input/output error")));
    }
    QCOMPARE(contents(a) + '|' + contents(b), QByteArray("new a|b again"));
    QCOMPARE(entries(folder), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
}

QTEST_GUILESS_MAIN(TestSafeFile)
#include "tst_safefile.moc"
