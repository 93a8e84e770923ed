// The build installed as the package installs it, into a folder of the
// test's own: every file in its place, accepted by the desktop's validators,
// the manual pages and the completion naming the programs' real options, the
// window showing the installed icon; and the Debian package made of the same
// tree, installed and removed again by dpkg in a root of the test's own.
#include "BuildConfig.h"
#include "TestConfig.h"
#include "shell/AppIcon.h"
#include "shell/frmAbout.h"
#include "shell/frmMain.h"

#include <QDirIterator>
#include <QImage>
#include <QLabel>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Ran
{
    int exitCode = -1; // -1: it did not start, crashed or took too long
    QByteArray out;
    QByteArray err;
};

Ran run(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
        const QString &workingDirectory = QString())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    Ran ran;
    if (!process.waitForStarted(10000))
        return ran;
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        return ran;
    }
    ran.out = process.readAllStandardOutput();
    ran.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        ran.exitCode = process.exitCode();
    return ran;
}

QString text(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

QString appId()
{
    return QString::fromUtf8(BuildConfig::appId);
}

QString version()
{
    return QString::fromUtf8(BuildConfig::versionString);
}

const int iconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256, 512};

// Every file under root, as "relative/path 0644", sorted.
QStringList filesWithModes(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat status = {};
        ::lstat(QFile::encodeName(path).constData(), &status);
        files << QStringLiteral("%1 %2")
                     .arg(path.mid(root.size() + 1))
                     .arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'));
    }
    files.sort();
    return files;
}

QSet<QString> withoutHelp(QSet<QString> options)
{
    options.remove(QStringLiteral("--help"));
    options.remove(QStringLiteral("--help-all"));
    return options;
}

// The long options of a program's --help text.
QSet<QString> helpOptions(const QByteArray &help)
{
    static const QRegularExpression option(QStringLiteral("^  (?:-\\w, )?(--[a-z][a-z-]*)"),
                                           QRegularExpression::MultilineOption);
    QSet<QString> options;
    for (const QRegularExpressionMatch &m : option.globalMatch(text(help)))
        options.insert(m.captured(1));
    return options;
}

// Every long option named in some text.
QSet<QString> namedOptions(const QString &lines)
{
    static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
    QSet<QString> options;
    for (const QRegularExpressionMatch &m : option.globalMatch(lines))
        options.insert(m.captured(0));
    return options;
}

// A rendered manual page's sections by heading, or its subsections
// ("   varnell store init") within one section.
QMap<QString, QString> manualSections(const QString &page, const QString &within = QString())
{
    QMap<QString, QString> sections;
    QString section;
    QString current;
    static const QRegularExpression subsection(QStringLiteral("^   (\\S.*)$"));
    for (const QString &line : page.split(QLatin1Char('\n'))) {
        if (!line.isEmpty() && !line.front().isSpace()) {
            section = line.trimmed();
            current = within.isEmpty() ? section : QString();
            continue;
        }
        if (!within.isEmpty() && section == within) {
            if (const QRegularExpressionMatch m = subsection.match(line); m.hasMatch()) {
                current = m.captured(1);
                sections.insert(current, QString());
                continue;
            }
        }
        if (!current.isEmpty())
            sections[current] += line + QLatin1Char('\n');
    }
    return sections;
}

QImage premultiplied(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installedFilesAndIcon();
    void desktopEntryDescriptionAndFileType();
    void manualPagesNameTheRealOptions();
    void completion_data();
    void completion();
    void debianPackageInstallsAndRemoves();

private:
    QString usr(const QString &relative) const
    {
        return m_tree + QStringLiteral("/usr/") + relative;
    }
    Ran varnell(const QStringList &arguments) const
    {
        return run(usr(QStringLiteral("bin/varnell")), arguments);
    }
    QString icon(int size) const
    {
        return usr(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(appId()));
    }
    Ran complete(QStringList words) const;

    QTemporaryDir m_dir;
    QString m_tree;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_tree = m_dir.filePath(QStringLiteral("tree"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), m_tree);
    const Ran installed =
        run(QString::fromUtf8(TestConfig::cmakeCommand),
            {QStringLiteral("--install"), QString::fromUtf8(TestConfig::binaryDir),
             QStringLiteral("--prefix"), QStringLiteral("/usr")},
            environment);
    QVERIFY2(installed.exitCode == 0, installed.err.constData());

    // The record file type, compiled as the desktop's MIME database is, and
    // the only one that this process's MIME lookups see besides Qt's own.
    const QString data = m_dir.filePath(QStringLiteral("mime-data/"));
    const QString package = QStringLiteral("mime/packages/") + appId() + QStringLiteral(".xml");
    QVERIFY(QDir().mkpath(data + QStringLiteral("mime/packages")));
    QVERIFY(QFile::copy(usr(QStringLiteral("share/") + package), data + package));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("nowhere"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(data));
    const Ran updated =
        run(QStringLiteral("update-mime-database"), {data + QStringLiteral("mime")});
    QCOMPARE(updated.exitCode, 0);
    QCOMPARE(text(updated.err), QString());
}

void TestInstall::installedFilesAndIcon()
{
    QStringList expected = {
        QStringLiteral("bin/varnell 0755"),
        QStringLiteral("bin/varnell-decryptor 0755"),
        QStringLiteral("bin/varnell-sandbox 0755"),
        QStringLiteral("share/applications/%1.desktop 0644").arg(appId()),
        QStringLiteral("share/bash-completion/completions/varnell 0644"),
        QStringLiteral("share/doc/varnell-decryptor/copyright 0644"),
        QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg 0644").arg(appId()),
        QStringLiteral("share/man/man1/varnell-decryptor.1.gz 0644"),
        QStringLiteral("share/man/man1/varnell-sandbox.1.gz 0644"),
        QStringLiteral("share/man/man1/varnell.1.gz 0644"),
        QStringLiteral("share/metainfo/%1.metainfo.xml 0644").arg(appId()),
        QStringLiteral("share/mime/packages/%1.xml 0644").arg(appId()),
    };
    for (int size : iconSizes)
        expected << icon(size).mid(usr(QString()).size()) + QStringLiteral(" 0644");
    expected.sort();
    // Nothing outside /usr: the store's folder is the package's to make.
    QCOMPARE(QDir(m_tree).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("usr")});
    QCOMPARE(filesWithModes(m_tree + QStringLiteral("/usr")), expected);

    // Each size drawn at its size, on a transparent ground.
    for (int size : iconSizes) {
        const QImage png(icon(size));
        QCOMPARE(png.size(), QSize(size, size));
        QCOMPARE(png.pixelColor(0, 0).alpha(), 0);
        QVERIFY2(png.pixelColor(size / 2, size / 2).alpha() == 255,
                 qPrintable(QString::number(size)));
    }
    // The window's title bar and taskbar, and the about box, show those.
    frmMain window;
    for (int size : {16, 48})
        QCOMPARE(premultiplied(window.windowIcon().pixmap(size, size).toImage()),
                 premultiplied(QImage(icon(size))));
    frmAbout about;
    const auto *picture = about.findChild<QLabel *>(QStringLiteral("Picture1"));
    QVERIFY(picture);
    QCOMPARE(premultiplied(picture->pixmap().toImage()), premultiplied(QImage(icon(64))));
    QCOMPARE(about.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
             QStringLiteral("Varnell Decryptor, version ") + version());
}

void TestInstall::desktopEntryDescriptionAndFileType()
{
    const QString entry = usr(QStringLiteral("share/applications/%1.desktop").arg(appId()));
    const Ran validated = run(QStringLiteral("desktop-file-validate"), {entry});
    QCOMPARE(validated.exitCode, 0);
    QCOMPARE(text(validated.out + validated.err), QString()); // not even a hint

    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = text(file.readAll()).split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("Exec=varnell-decryptor %f")));
    QVERIFY(lines
                .filter(QRegularExpression(
                    QStringLiteral("^MimeType=(.*;)?application/x-varnell-record;")))
                .size() == 1);
    // The launcher's icon is the one installed, under the name the window
    // gives the taskbar.
    QVERIFY(lines.contains(QStringLiteral("Icon=") + AppIcon::desktopId()));
    QVERIFY(QFile::exists(
        usr(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(AppIcon::desktopId()))));

    // The AppStream description, checked with the tree it names (launcher
    // entry, icon, programs).
    const Ran described = run(QStringLiteral("appstreamcli"), {QStringLiteral("validate-tree"),
                                                               QStringLiteral("--no-net"), m_tree});
    QVERIFY2(described.exitCode == 0, described.out.constData());
    QFile metainfo(usr(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId())));
    QVERIFY(metainfo.open(QIODevice::ReadOnly));
    QVERIFY(
        metainfo.readAll().contains(QByteArray("<release version=\"" + version().toUtf8() + '"')));

    // The record type by its extension in any case, and nothing that merely
    // holds it.
    const QMimeDatabase types;
    const std::pair<const char *, bool> names[] = {
        {"X.VRD", true}, {".hidden.vRd", true}, {"x.vrd.txt", false}, {"x.vrdx", false}};
    for (const auto &[name, isRecord] : names) {
        const QMimeType type =
            types.mimeTypeForFile(QString::fromUtf8(name), QMimeDatabase::MatchExtension);
        QVERIFY2((type.name() == QLatin1String("application/x-varnell-record")) == isRecord, name);
    }
    QCOMPARE(
        types.mimeTypeForFile(QStringLiteral("x.vrd"), QMimeDatabase::MatchExtension).comment(),
        QStringLiteral("Varnell transaction record"));
}

Ran TestInstall::complete(QStringList words) const
{
    // Completes the last word as bash would after the others.
    const QString script = QStringLiteral(
        "source \"$1\" || exit 3; shift\n"
        "function=$(complete -p varnell) || exit 4\n"
        "function=${function#*-F }; function=${function%% *}\n"
        "COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1))\n"
        "COMP_LINE=\"$*\"; COMP_POINT=${#COMP_LINE}\n"
        "\"$function\" varnell \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD - 1]}\"\n"
        "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
    return run(QStringLiteral("bash"),
               QStringList{QStringLiteral("--norc"), QStringLiteral("--noprofile"),
                           QStringLiteral("-c"), script, QStringLiteral("bash"),
                           usr(QStringLiteral("share/bash-completion/completions/varnell"))} +
                   words);
}

void TestInstall::manualPagesNameTheRealOptions()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    QMap<QString, QString> pages;
    for (const char *program : {"varnell-decryptor", "varnell", "varnell-sandbox"}) {
        const Ran rendered =
            run(QStringLiteral("man"),
                {QStringLiteral("--warnings"), QStringLiteral("-l"),
                 usr(QStringLiteral("share/man/man1/%1.1.gz").arg(QString::fromUtf8(program)))},
                environment);
        QVERIFY2(rendered.exitCode == 0, program);
        QVERIFY2(rendered.err.isEmpty(), rendered.err.constData()); // no roff warnings
        const QString page = text(rendered.out);
        const QMap<QString, QString> sections = manualSections(page);
        for (const char *heading : {"NAME", "SYNOPSIS", "DESCRIPTION", "SEE ALSO"})
            QVERIFY2(sections.contains(QString::fromUtf8(heading)), heading);
        QVERIFY(sections.value(QStringLiteral("NAME"))
                    .trimmed()
                    .startsWith(QString::fromUtf8(program) + QStringLiteral(" - ")));
        QVERIFY2(page.contains(QStringLiteral("Varnell Decryptor ") + version()), program);
        pages.insert(QString::fromUtf8(program), page);
    }
    const auto completed = [this](const QStringList &words) {
        const QStringList lines =
            text(complete(words).out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return QSet<QString>(lines.begin(), lines.end());
    };

    // The commands and their actions, as the installed varnell lists them.
    const Ran usage = varnell({QStringLiteral("--help")});
    QCOMPARE(usage.exitCode, 0);
    static const QRegularExpression commandLine(QStringLiteral("^  ([a-z]+)  "),
                                                QRegularExpression::MultilineOption);
    static const QRegularExpression actionsLine(QStringLiteral("^Usage: varnell \\S+ ([a-z|]+) "));
    QStringList commands;
    for (const QRegularExpressionMatch &m : commandLine.globalMatch(text(usage.out)))
        commands << m.captured(1);
    QVERIFY2(commands.contains(QStringLiteral("decrypt")) &&
                 commands.contains(QStringLiteral("about")),
             usage.out.constData());
    const QSet<QString> offeredCommands = completed({QStringLiteral("varnell"), QString()});

    const QMap<QString, QString> manual =
        manualSections(pages.value(QStringLiteral("varnell")), QStringLiteral("COMMANDS"));
    for (const QString &command : commands) {
        QVERIFY2(offeredCommands.contains(command), qPrintable(command));
        const Ran help = varnell({command, QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QStringList names{command};
        if (const QRegularExpressionMatch m = actionsLine.match(text(help.out)); m.hasMatch()) {
            names.clear();
            for (const QString &action : m.captured(1).split(QLatin1Char('|')))
                names << command + QLatin1Char(' ') + action;
        }
        for (const QString &name : names) {
            const QStringList words = name.split(QLatin1Char(' '));
            const Ran actionHelp = varnell(words + QStringList{QStringLiteral("--help")});
            QVERIFY2(actionHelp.exitCode == 0, qPrintable(name));
            const QSet<QString> real = helpOptions(actionHelp.out);
            const QString heading = QStringLiteral("varnell ") + name;
            QVERIFY2(manual.contains(heading), qPrintable(heading));
            QCOMPARE(namedOptions(manual.value(heading)), withoutHelp(real));
            QCOMPARE(completed(QStringList{QStringLiteral("varnell")} + words +
                               QStringList{QStringLiteral("--")}),
                     real);
        }
    }

    const Ran sandboxHelp =
        run(usr(QStringLiteral("bin/varnell-sandbox")), {QStringLiteral("--help")});
    QCOMPARE(sandboxHelp.exitCode, 0);
    const QSet<QString> sandboxOptions = withoutHelp(helpOptions(sandboxHelp.out));
    QVERIFY(sandboxOptions.contains(QStringLiteral("--port")));
    const QMap<QString, QString> sandboxManual =
        manualSections(pages.value(QStringLiteral("varnell-sandbox")));
    QCOMPARE(namedOptions(sandboxManual.value(QStringLiteral("OPTIONS"))), sandboxOptions);
}

void TestInstall::completion_data()
{
    QTest::addColumn<QStringList>("words"); // the last one is being completed
    QTest::addColumn<QStringList>("offered");
    const auto row = [](const char *name, const char *words, const char *offered) {
        QTest::newRow(name) << QString::fromUtf8(words).split(QLatin1Char('|'))
                            << QString::fromUtf8(offered).split(QLatin1Char(' '),
                                                                Qt::SkipEmptyParts);
    };
    row("command", "varnell|st", "stats status store");
    row("top-level option", "varnell|--", "--help --version");
    row("store action", "varnell|store|", "init set show");
    row("products action", "varnell|products|", "count list show update");
    row("period", "varnell|stats|--period|", "day month week year");
    row("period after =", "varnell|stats|--period|=|w", "week");
    row("currency", "varnell|products|update|--currency|", "0 1 2 3 AUD CAD EUR USD");
    row("service model", "varnell|products|update|--lock|--service-model|s", "standard");
    row("no guess at a secret", "varnell|decrypt|--key|", "");
    row("records after a key", "varnell|print|--key|k|FILES/", "FILES/B.VRD FILES/a.vrd FILES/out");
    row("folder", "varnell|decrypt|--output-dir|FILES/", "FILES/out");
    row("encrypt input", "varnell|encrypt|--output|FILES/x.vrd|FILES/",
        "FILES/B.VRD FILES/a.vrd FILES/notes.txt FILES/out");
    row("encrypt takes one input", "varnell|encrypt|FILES/a.vrd|FILES/", "");
}

void TestInstall::completion()
{
    QFETCH(QStringList, words);
    QFETCH(QStringList, offered);
    const QString files = m_dir.filePath(QStringLiteral("files"));
    QVERIFY(QDir().mkpath(files + QStringLiteral("/out")));
    for (const char *name : {"a.vrd", "B.VRD", "notes.txt"}) {
        QFile file(files + QLatin1Char('/') + QString::fromUtf8(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    words.replaceInStrings(QStringLiteral("FILES"), files);
    offered.replaceInStrings(QStringLiteral("FILES"), files);

    const Ran ran = complete(words);
    QCOMPARE(ran.exitCode, 0);
    QStringList got = text(ran.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    got.sort();
    QCOMPARE(got, offered);
}

void TestInstall::debianPackageInstallsAndRemoves()
{
    const QString output = m_dir.filePath(QStringLiteral("package"));
    const Ran packed =
        run(QString::fromUtf8(TestConfig::cpackCommand),
            {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), output},
            QProcessEnvironment::systemEnvironment(), QString::fromUtf8(TestConfig::binaryDir));
    QVERIFY2(packed.exitCode == 0, QByteArray(packed.out + packed.err).constData());
    const Ran architecture = run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")});
    const QString deb = output + QStringLiteral("/varnell-decryptor_") + version() +
                        QLatin1Char('_') + text(architecture.out).trimmed() +
                        QStringLiteral(".deb");
    QVERIFY2(QFile::exists(deb), qPrintable(deb));
    const auto dpkgDeb = [&deb](const QString &option, const QStringList &fields = {}) {
        return text(run(QStringLiteral("dpkg-deb"), QStringList{option, deb} + fields).out);
    };
    // The packages of the libraries the programs link.
    const QString depends = dpkgDeb(QStringLiteral("--field"), {QStringLiteral("Depends")});
    for (const char *library : {"libqt6widgets6", "libsqlcipher0"})
        QVERIFY2(depends.contains(QString::fromUtf8(library) + QStringLiteral(" (")),
                 qPrintable(depends));

    // The same files as the installed tree, owned by root.
    static const QRegularExpression entry(
        QStringLiteral("^([-dl][rwxst-]{9}) (\\S+)\\s+\\d+ \\S+ \\S+ \\./(\\S*)$"),
        QRegularExpression::MultilineOption);
    QStringList packaged;
    for (const QRegularExpressionMatch &m :
         entry.globalMatch(dpkgDeb(QStringLiteral("--contents")))) {
        QCOMPARE(m.captured(2), QStringLiteral("root/root"));
        if (m.captured(1).startsWith(QLatin1Char('-')))
            packaged << m.captured(3) + (m.captured(1) == QLatin1String("-rwxr-xr-x")
                                             ? QStringLiteral(" 0755")
                                         : m.captured(1) == QLatin1String("-rw-r--r--")
                                             ? QStringLiteral(" 0644")
                                             : m.captured(1));
    }
    packaged.sort();
    QCOMPARE(packaged, filesWithModes(m_tree));

    if (::geteuid() != 0)
        QSKIP("Installing a package makes files owned by root: run as root.");
    // dpkg with a root and records of the test's own; the package's scripts
    // run outside it and find it in DPKG_ROOT.
    const QString root = m_dir.filePath(QStringLiteral("root"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/var/lib/dpkg/info")));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/var/lib/dpkg/updates")));
    QVERIFY(QFile(root + QStringLiteral("/var/lib/dpkg/status")).open(QIODevice::WriteOnly));
    const auto dpkg = [&](const char *action, const QString &what) {
        return run(QStringLiteral("dpkg"),
                   {QStringLiteral("--root=") + root, QStringLiteral("--force-script-chrootless"),
                    QStringLiteral("--force-depends"),
                    QStringLiteral("--log=") + m_dir.filePath(QStringLiteral("dpkg.log")),
                    QString::fromUtf8(action), what});
    };
    const QString package = QStringLiteral("varnell-decryptor");
    const QString folder = root + QString::fromUtf8(BuildConfig::systemDirectory);
    const auto mode = [&folder] {
        struct stat status = {};
        if (::lstat(QFile::encodeName(folder).constData(), &status) != 0)
            return -1;
        return status.st_uid == 0 && S_ISDIR(status.st_mode) ? int(status.st_mode & 07777) : -2;
    };
    // Everything under the root but dpkg's own records, and the package's
    // records among those.
    const auto leftovers = [&root] {
        QStringList found;
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next().mid(root.size() + 1);
            if (!QStringLiteral("var/lib/dpkg").startsWith(path) &&
                !path.startsWith(QLatin1String("var/lib/dpkg/")))
                found << path;
        }
        found << QDir(root + QStringLiteral("/var/lib/dpkg/info"))
                     .entryList({QStringLiteral("varnell*")});
        found.sort();
        return found;
    };

    // Installed: the programs, a root folder for the store that everybody
    // reads and nobody else writes, and word of the administrator's step.
    const Ran installed = dpkg("--install", deb);
    QVERIFY2(installed.exitCode == 0, installed.err.constData());
    QVERIFY(installed.out.contains("varnell store init"));
    QVERIFY(QFileInfo(root + QStringLiteral("/usr/bin/varnell-decryptor")).isExecutable());
    QCOMPARE(mode(), 0755);
    // Removed without a store: nothing of the package stays, not even its
    // state in dpkg's records.
    QCOMPARE(dpkg("--remove", package).exitCode, 0);
    QCOMPARE(leftovers(), QStringList());
    QCOMPARE(dpkg("--status", package).exitCode, 1);

    // A folder the administrator made and tightened is kept as it is; with a
    // store in it, the store stays on removal, and only that.
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QFile(folder + QStringLiteral("/vemtu.sys")).open(QIODevice::WriteOnly));
    const Ran again = dpkg("--install", deb);
    QCOMPARE(again.exitCode, 0);
    QVERIFY(!again.out.contains("varnell store init"));
    QCOMPARE(mode(), 0700);
    QCOMPARE(dpkg("--remove", package).exitCode, 0);
    const QString base = QString::fromUtf8(BuildConfig::systemDirectory).mid(1);
    QCOMPARE(leftovers(), (QStringList{base, base + QStringLiteral("/vemtu.sys")}));
}

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
