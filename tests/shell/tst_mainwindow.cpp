#include "records/RecordFile.h"
#include "shell/CommonDialog.h"
#include "shell/MainLayout.h"
#include "shell/PendingEvents.h"
#include "shell/StoreFile.h"
#include "shell/WindowPlacement.h"
#include "shell/frmEncryptionKey.h"
#include "shell/frmMain.h"
#include "shell/modPublic.h"
#include "support/RecordingSink.h"
#include "support/ScriptedDialog.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>
#include <optional>

namespace {

const QString encryptionKey = QStringLiteral("test encryption key");
const QString recordLines =
    QStringLiteral("Customer Name:\tACME LTD\nCard Number:\t4111222233334444\n"
                   "Heading\nTotal:\t$49.95\n");
// The record text as the record view shows it (one line per paragraph).
const QString recordShown = QStringLiteral("Customer Name:      ACME LTD\n"
                                           "Card Number:        4111 2222 3333 4444\n"
                                           "Heading             \n"
                                           "Total:              $49.95");

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray recordFile(const QString &lines = recordLines, const QString &key = encryptionKey)
{
    const RecordFile::Encoded encoded = RecordFile::fromTabbedText(lines, key);
    if (!encoded.error.isEmpty())
        qFatal("cannot encode a record: %s", qPrintable(encoded.error));
    return encoded.bytes;
}

template<typename T> T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

// One pixel at the offscreen screen's 96 dpi.
constexpr double pixel = 15.0;

bool near(double actual, double expected, double tolerance = pixel)
{
    return qAbs(actual - expected) < tolerance;
}

// A store, a message recorder, a scripted file dialog and a main window that
// has not yet loaded.
struct Fixture
{
    TestEnvironment env;
    RecordingSink sink;
    ScriptedDialog dialog;
    std::unique_ptr<frmMain> window;
    int loginCalls = 0;
    QString loginPassword;
    bool loginAnswer = false;
    std::function<void(frmMain &)> duringLogin;

    explicit Fixture(bool withStore = true, const QString &password = QString())
    {
        if (withStore)
            env.createStore(QStringLiteral("ABCDEFGHIJKLhostyvarnz"), encryptionKey, password);
        makeWindow();
    }

    void makeWindow()
    {
        window = std::make_unique<frmMain>();
        window->cdgOpen.setBackend(&dialog);
        window->setLoginPrompt([this](const QString &stored) {
            ++loginCalls;
            loginPassword = stored;
            if (duringLogin)
                duringLogin(*window);
            modPublic::LoginAccepted = loginAnswer;
        });
    }

    QString iniPath() const { return env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini")); }

    void writeIni(const QByteArray &contents)
    {
        QDir().mkpath(env.path(QStringLiteral("config/VR_Decrypt")));
        writeFile(iniPath(), contents);
    }

    QString stored(const char *key) const
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        return ini.value(QStringLiteral("Settings/") + QLatin1String(key)).toString();
    }

    template<typename T> T *find(const char *name) { return child<T>(window.get(), name); }

    QAction *action(const char *name) { return find<QAction>(name); }
};

QList<QRadioButton *> periodOptions(frmMain &w)
{
    return w.findChildren<QRadioButton *>(QStringLiteral("optStatPeriod"));
}

int checkedPeriod(frmMain &w)
{
    const QList<QRadioButton *> options = periodOptions(w);
    for (int i = 0; i < options.size(); ++i) {
        if (options.at(i)->isChecked())
            return options.at(i)->property("Index").toInt();
    }
    return -1;
}

QStringList visibleFrames(frmMain &w)
{
    QStringList shown;
    for (const char *name :
         {"fraDecrypt", "fraSettings", "fraProduct", "fraServerInfo", "fraStats"}) {
        if (child<QWidget>(&w, name)->isVisibleTo(&w))
            shown.append(QLatin1String(name));
    }
    return shown;
}

bool recordCommandsEnabled(Fixture &f)
{
    const bool menu = f.action("mnuSaveEncrypt")->isEnabled();
    for (const char *name :
         {"mnuSaveDecrypt", "mnuPrint", "btSaveEncrypt", "btSaveDecrypt", "btPrint"}) {
        if (f.action(name)->isEnabled() != menu)
            qWarning("%s does not follow the other record commands", name);
    }
    return menu;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void firstStart();
    void registryEdgeCases_data();
    void registryEdgeCases();
    void unloadWritesPlacementAndPeriod();
    void earlyExitsWriteNothing();
    void startUpOrder();
    void commandLine_data();
    void commandLine();
    void commandLineWithStoreLockedAfterLogin();
    void tabSwitch();
    void settingsTab();
    void settingsDialogFromMenuAndToolbar();
    void toolbarButtonsAndDispatch();
    void menuTree();
    void recordCommandsAndOpenBox();
    void openingProcessesEventsAfterEachField();
    void layoutFollowsTheWindow();
    void progressNote();
    void aboutBoxAndLinks();
};

void TestMainWindow::cleanup()
{
    modPublic::LoginAccepted = false;
    PendingEvents::setHandler({});
    // Top-level windows a test left open (the settings dialog).
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("frmEncryptionKey"))
            delete w;
    }
}

void TestMainWindow::firstStart()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(w.Form_Load());
    QCOMPARE(f.loginCalls, 0);
    QVERIFY(f.sink.messages.isEmpty());
    QVERIFY(!w.isVisible());
    QCOMPARE(w.windowTitle(), QStringLiteral("Varnell Decryptor"));

    const QRectF window = w.windowTwips();
    const QSizeF screen = w.screenTwips();
    QVERIFY2(window.width() >= 8500 && near(window.width(), 8500),
             qPrintable(QString::number(window.width())));
    QVERIFY2(window.height() >= 6500 && near(window.height(), 6500),
             qPrintable(QString::number(window.height())));
    QVERIFY(near(window.left(), screen.width() / 2 - window.width() / 2));
    QVERIFY(near(window.top(), screen.height() / 2 - window.height() / 2));
    QCOMPARE(checkedPeriod(w), 3);

    QCOMPARE(w.lastTab(), 1);
    QCOMPARE(visibleFrames(w), QStringList{QStringLiteral("fraDecrypt")});
    auto *tabs = f.find<QTabBar>("tabForm");
    QCOMPARE(tabs->count(), 5);
    const QStringList captions = {
        QStringLiteral("&Decryption Utility"), QStringLiteral("Decryption &Settings"),
        QStringLiteral("&Product Properties"), QStringLiteral("Server &Information"),
        QStringLiteral("&Usage Statistics")};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(tabs->tabText(i), captions.at(i));

    QVERIFY(!recordCommandsEnabled(f));
    auto *servers = f.find<QComboBox>("cboServer");
    QCOMPARE(servers->count(), 2);
    QCOMPARE(servers->itemText(0), QStringLiteral("Server 0"));
    QCOMPARE(servers->itemText(1), QStringLiteral("Server 1"));
    QCOMPARE(servers->currentIndex(), 0);
    QCOMPARE(f.find<QLineEdit>("txtServerStatus")->text(), QStringLiteral("Connecting..."));
    QCOMPARE(f.find<QLineEdit>("txtConnTime")->text(), QStringLiteral("Connecting..."));
    QCOMPARE(f.find<QPushButton>("cmdRefreshServer")->text(), QStringLiteral("Refresh Stats"));
    QCOMPARE(f.find<QGroupBox>("fraStatPeriod")->title(),
             QStringLiteral("Statistics for the last:"));
    QCOMPARE(f.find<QPushButton>("cmdExportStats")->text(), QStringLiteral("Export Stats"));
    QCOMPARE(f.find<QPushButton>("cmdReqPackage")->text(), QStringLiteral("Request Package"));
    const QList<QRadioButton *> options = periodOptions(w);
    QCOMPARE(options.size(), 4);
    const QStringList periods = {QStringLiteral("Day"), QStringLiteral("Week"),
                                 QStringLiteral("Month"), QStringLiteral("Year")};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(options.at(i)->text(), periods.at(i));
        QCOMPARE(options.at(i)->property("Index").toInt(), i);
    }
    QCOMPARE(f.find<QTreeWidget>("tvStats")->topLevelItemCount(), 0);
    QVERIFY(f.find<QWidget>("fraProduct"));

    // Shown, the window keeps its outer size once the frame is known.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(near(w.windowTwips().width(), 8500));
    QVERIFY(near(w.windowTwips().height(), 6500));
    QVERIFY(!QFile::exists(f.iniPath()));
    w.close();
    QVERIFY(QFile::exists(f.iniPath()));
    QCOMPARE(f.stored("StatPeriod"), QStringLiteral("3"));
    QVERIFY(near(f.stored("posWidth").toDouble(), 8500));
}

void TestMainWindow::registryEdgeCases_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<double>("top");  // -1: centred
    QTest::addColumn<double>("left"); // -1: centred
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("period");

    QTest::newRow("accepted")
        << QByteArray("posTop=300\nposLeft=450\nposWidth=9000\nposHeight=7005\nStatPeriod=1\n")
        << 300.0 << 450.0 << 9000.0 << 7005.0 << 1;
    QTest::newRow("negative top") << QByteArray("posTop=-15\n") << 0.0 << -1.0 << 8500.0 << 6500.0
                                  << 3;
    QTest::newRow("right edge past the screen")
        << QByteArray("posLeft=3600\n") << -1.0 << 0.0 << 8500.0 << 6500.0 << 3;
    QTest::newRow("width too small, height no number")
        << QByteArray("posWidth=6000\nposHeight=abc\n") << -1.0 << -1.0 << 8500.0 << 6500.0 << 3;
    QTest::newRow("period 7") << QByteArray("StatPeriod=7\n") << -1.0 << -1.0 << 8500.0 << 6500.0
                              << 3;
    QTest::newRow("period day") << QByteArray("StatPeriod=0\n") << -1.0 << -1.0 << 8500.0 << 6500.0
                                << 0;
    QTest::newRow("minimised window's values")
        << QByteArray(
               "posTop=-48000\nposLeft=-48000\nposWidth=40000\nposHeight=99999\nStatPeriod=70000\n")
        << 0.0 << 0.0 << 8500.0 << 6500.0 << 3;
    // An unterminated quote swallows the rest of the file into posTop.
    QTest::newRow("garbage")
        << QByteArray("posTop=\"\\x1\nposLeft=@Variant(\\0\\0)\nposWidth=1, 2\n\xff\xfe\x00junk")
        << 0.0 << -1.0 << 8500.0 << 6500.0 << 3;
    // A value that holds no text counts as absent.
    QTest::newRow("odd values")
        << QByteArray("posLeft=@Variant(\\0\\0)\nposWidth=1, 2\nposHeight=\xff\xfe\nStatPeriod=\n")
        << -1.0 << -1.0 << 8500.0 << 6500.0 << 3;
}

void TestMainWindow::registryEdgeCases()
{
    QFETCH(QByteArray, ini);
    QFETCH(double, top);
    QFETCH(double, left);
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(int, period);

    Fixture f;
    f.writeIni("[Settings]\n" + ini);
    QVERIFY(f.window->Form_Load());
    const QRectF window = f.window->windowTwips();
    const QSizeF screen = f.window->screenTwips();
    // The offscreen screen is 12000 twips square: the rows are made for it.
    QCOMPARE(screen, QSizeF(12000, 12000));
    const double expectedTop = top >= 0 ? top : screen.height() / 2 - 6500 / 2.0;
    const double expectedLeft = left >= 0 ? left : screen.width() / 2 - 8500 / 2.0;
    QVERIFY2(near(window.top(), expectedTop), qPrintable(QString::number(window.top())));
    QVERIFY2(near(window.left(), expectedLeft), qPrintable(QString::number(window.left())));
    QVERIFY2(window.width() >= width && near(window.width(), width),
             qPrintable(QString::number(window.width())));
    QVERIFY2(window.height() >= height && near(window.height(), height),
             qPrintable(QString::number(window.height())));
    QCOMPARE(checkedPeriod(*f.window), period);
    QVERIFY(f.sink.messages.isEmpty());
}

void TestMainWindow::unloadWritesPlacementAndPeriod()
{
    Fixture f;
    QVERIFY(f.window->Form_Load());
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.window->setWindowLeftTwips(600);
    f.window->setWindowTopTwips(900);
    f.window->setWindowSizeTwips(QSizeF(9600, 7200));
    periodOptions(*f.window).at(2)->setChecked(true);
    const QRectF before = f.window->windowTwips();
    f.action("mnuExit")->trigger();
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.stored("posLeft"), WindowPlacement::storedText(before.left()));
    QCOMPARE(f.stored("posTop"), WindowPlacement::storedText(before.top()));
    QCOMPARE(f.stored("posWidth"), WindowPlacement::storedText(before.width()));
    QCOMPARE(f.stored("posHeight"), WindowPlacement::storedText(before.height()));
    QVERIFY(near(before.width(), 9600));
    QCOMPARE(f.stored("StatPeriod"), QStringLiteral("2"));

    // The next start takes them back.
    f.makeWindow();
    QVERIFY(f.window->Form_Load());
    QCOMPARE(f.window->windowTwips(), QRectF(before));
    QCOMPARE(checkedPeriod(*f.window), 2);
}

void TestMainWindow::earlyExitsWriteNothing()
{
    const QString critical =
        QStringLiteral("Unable to access utility settings.\r\nPlease contact Ostrand.");
    {
        // No store at all.
        Fixture f(false);
        QVERIFY(!f.window->Form_Load());
        QCOMPARE(f.window->exitCode(), 1);
        QCOMPARE(f.sink.messages.size(), 1);
        const RecordingSink::Message m = f.sink.messages.first();
        QCOMPARE(m.icon, Messages::Icon::Critical);
        QCOMPARE(m.title, QStringLiteral("Varnell Decryptor"));
        QCOMPARE(m.text, critical);
        QCOMPARE(f.loginCalls, 0);
        f.window.reset();
        QVERIFY(!QFile::exists(f.iniPath()));
    }
    {
        // A store that another program holds open.
        Fixture f(true, QStringLiteral("secret"));
        StoreFile::ExclusiveLock lock(f.env.storePath());
        QVERIFY(lock.held());
        QVERIFY(!f.window->Form_Load());
        QCOMPARE(f.sink.texts(), QStringList{critical});
        QCOMPARE(f.loginCalls, 0);
        f.window.reset();
        QVERIFY(!QFile::exists(f.iniPath()));
    }
    {
        // A store that is no database.
        Fixture f(false);
        QDir().mkpath(f.env.systemDir());
        writeFile(f.env.storePath(), QByteArray(4096, 'x'));
        QVERIFY(!f.window->Form_Load());
        QCOMPARE(f.sink.texts(), QStringList{critical});
    }
    {
        // The login is refused: the program ends without a word.
        Fixture f(true, QStringLiteral("secret"));
        f.loginAnswer = false;
        QVERIFY(!f.window->Form_Load());
        QCOMPARE(f.window->exitCode(), 0);
        QCOMPARE(f.loginCalls, 1);
        QVERIFY(f.sink.messages.isEmpty());
        f.window.reset();
        QVERIFY(!QFile::exists(f.iniPath()));
    }
}

void TestMainWindow::startUpOrder()
{
    Fixture f(true, QStringLiteral("Secret "));
    const QString path = f.env.path(QStringLiteral("record.vrd"));
    writeFile(path, recordFile());
    f.window->setCommandLine(path);
    f.loginAnswer = true;
    bool checked = false;
    f.duringLogin = [&](frmMain &w) {
        // Before the login: the first tab laid out and shown, the record
        // commands disabled. After it: the command line, the server list and
        // the stored placement.
        QVERIFY(!w.isVisible());
        QCOMPARE(w.lastTab(), 1);
        QCOMPARE(visibleFrames(w), QStringList{QStringLiteral("fraDecrypt")});
        QVERIFY(!recordCommandsEnabled(f));
        QVERIFY(w.currentRecordFile().isEmpty());
        QVERIFY(f.find<QPlainTextEdit>("txtDecrypt")->toPlainText().isEmpty());
        QCOMPARE(f.find<QComboBox>("cboServer")->count(), 0);
        QCOMPARE(w.settingsCopy().password, QStringLiteral("Secret "));
        checked = true;
    };
    QVERIFY(f.window->Form_Load());
    QVERIFY(checked);
    QCOMPARE(f.loginCalls, 1);
    QCOMPARE(f.loginPassword, QStringLiteral("Secret "));
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.find<QPlainTextEdit>("txtDecrypt")->toPlainText(), recordShown);
    QVERIFY(recordCommandsEnabled(f));
    QCOMPARE(f.find<QComboBox>("cboServer")->count(), 2);
    QVERIFY(f.sink.messages.isEmpty());

    // An empty stored password means no login.
    Fixture open;
    QVERIFY(open.window->Form_Load());
    QCOMPARE(open.loginCalls, 0);
}

void TestMainWindow::commandLine_data()
{
    QTest::addColumn<QString>("fileName");    // made in the environment, "" for none
    QTest::addColumn<QString>("commandLine"); // %1 is the environment's folder
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QString>("current"); // %1 as above

    QTest::newRow("quoted with blanks")
        << "my records/a b.vrd"
        << "\"%1/my records/a b.vrd\"" << true << "%1/my records/a b.vrd";
    QTest::newRow("mixed-case extension") << "rec.Vrd"
                                          << "%1/rec.Vrd" << true << "%1/rec.Vrd";
    QTest::newRow("text file") << "rec.txt"
                               << "%1/rec.txt" << false << "";
    QTest::newRow("missing file") << ""
                                  << "%1/missing.vrd" << false << "%1/missing.vrd";
    QTest::newRow("folder") << "folder.vrd/"
                            << "%1/folder.vrd" << false << "%1/folder.vrd";
    QTest::newRow("short") << ""
                           << "a.vr" << false << "";
    QTest::newRow("none") << ""
                          << "" << false << "";
}

void TestMainWindow::commandLine()
{
    QFETCH(QString, fileName);
    QFETCH(QString, commandLine);
    QFETCH(bool, opened);
    QFETCH(QString, current);

    Fixture f;
    const QString base = f.env.path();
    if (fileName.endsWith(QLatin1Char('/'))) {
        QVERIFY(QDir().mkpath(f.env.path(fileName)));
    } else if (!fileName.isEmpty()) {
        QDir().mkpath(QFileInfo(f.env.path(fileName)).absolutePath());
        writeFile(f.env.path(fileName), recordFile());
    }
    f.window->setCommandLine(QString(commandLine).replace(QLatin1String("%1"), base));
    QVERIFY(f.window->Form_Load());
    QCOMPARE(f.window->currentRecordFile(), QString(current).replace(QLatin1String("%1"), base));
    QCOMPARE(recordCommandsEnabled(f), opened);
    QCOMPARE(f.find<QPlainTextEdit>("txtDecrypt")->toPlainText(), opened ? recordShown : QString());
    QVERIFY(f.sink.messages.isEmpty());
}

void TestMainWindow::commandLineWithStoreLockedAfterLogin()
{
    Fixture f(true, QStringLiteral("pw"));
    const QString path = f.env.path(QStringLiteral("record.vrd"));
    writeFile(path, recordFile());
    f.window->setCommandLine(path);
    f.loginAnswer = true;
    // The store becomes unreadable between the first read and the second.
    std::optional<StoreFile::ExclusiveLock> lock;
    f.duringLogin = [&](frmMain &) { lock.emplace(f.env.storePath()); };
    QVERIFY(f.window->Form_Load());
    QVERIFY(lock->held());
    QCOMPARE(f.sink.messages.size(), 1);
    const RecordingSink::Message m = f.sink.messages.first();
    QCOMPARE(m.icon, Messages::Icon::Exclamation);
    QCOMPARE(m.title, QStringLiteral("Warning"));
    QCOMPARE(m.text,
             QStringLiteral(
                 "No decryption key found. Please use 'Settings' menu to setup decrypt key."));
    QVERIFY(!recordCommandsEnabled(f));
    QVERIFY(f.find<QPlainTextEdit>("txtDecrypt")->toPlainText().isEmpty());
}

void TestMainWindow::tabSwitch()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(w.Form_Load());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *tabs = f.find<QTabBar>("tabForm");
    auto *developer = f.find<QLineEdit>("txtDeveloperKey");
    auto *password = f.find<QLineEdit>("txtPassword");

    tabs->setCurrentIndex(1);
    QCOMPARE(w.lastTab(), 2);
    QCOMPARE(visibleFrames(w), QStringList{QStringLiteral("fraSettings")});
    QCOMPARE(developer->text(), QStringLiteral("ABCDEFGHIJKLhostyvarnz"));
    QCOMPARE(f.find<QLineEdit>("txtEncryptionKey")->text(), encryptionKey);

    // Re-selecting the shown tab does nothing: typed values stay.
    developer->setText(QStringLiteral("typed"));
    password->setText(QStringLiteral("typed too"));
    w.tabForm_Click();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(developer->text(), QStringLiteral("typed"));
    QCOMPARE(password->text(), QStringLiteral("typed too"));

    // Another tab and back reloads the fields from the store.
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    QCOMPARE(w.lastTab(), 4);
    QCOMPARE(visibleFrames(w), QStringList{QStringLiteral("fraServerInfo")});
    tabs->setCurrentIndex(1);
    QCOMPARE(developer->text(), QStringLiteral("ABCDEFGHIJKLhostyvarnz"));
    QCOMPARE(password->text(), QString());

    for (int i = 0; i < 5; ++i) {
        tabs->setCurrentIndex(i);
        QCOMPARE(visibleFrames(w).size(), 1);
        QCOMPARE(visibleFrames(w).first(), MainLayout::frameName(i + 1));
    }

    // A tab selected after a resize is laid out for the current size.
    tabs->setCurrentIndex(0);
    w.setWindowSizeTwips(QSizeF(11000, 8000));
    QTRY_VERIFY(near(w.windowTwips().width(), 11000));
    tabs->setCurrentIndex(4);
    const auto rects = MainLayout::layout(5, w.clientTwips());
    QCOMPARE(f.find<QWidget>("fraStats")->geometry(),
             w.toPixels(rects.value(QStringLiteral("fraStats"))));
    QCOMPARE(f.find<QWidget>("tvStats")->geometry(),
             w.toPixels(rects.value(QStringLiteral("tvStats"))));
    QCOMPARE(f.find<QWidget>("cmdReqPackage")->geometry(),
             w.toPixels(rects.value(QStringLiteral("cmdReqPackage"))));
}

void TestMainWindow::settingsTab()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(w.Form_Load());
    QCOMPARE(f.find<QLabel>("lblDeveloperKey")->text(), QStringLiteral("Developer Key:"));
    QCOMPARE(f.find<QLabel>("lblEncryptionKey")->text(), QStringLiteral("Encryption Key:"));
    QCOMPARE(f.find<QLabel>("lblPassword")->text(), QStringLiteral("Password:"));
    auto *update = f.find<QPushButton>("cmdUpdate");
    auto *undo = f.find<QPushButton>("cmdUndo");
    QCOMPARE(update->text(), QStringLiteral("Update"));
    QCOMPARE(undo->text(), QStringLiteral("Undo Changes"));
    auto *developer = f.find<QLineEdit>("txtDeveloperKey");
    auto *encryption = f.find<QLineEdit>("txtEncryptionKey");
    auto *password = f.find<QLineEdit>("txtPassword");
    QCOMPARE(password->echoMode(), QLineEdit::Normal);
    f.find<QTabBar>("tabForm")->setCurrentIndex(1);

    // Undo Changes restores what is stored.
    developer->setText(QStringLiteral("x"));
    encryption->setText(QStringLiteral("y"));
    QTest::mouseClick(undo, Qt::LeftButton);
    QCOMPARE(developer->text(), QStringLiteral("ABCDEFGHIJKLhostyvarnz"));
    QCOMPARE(encryption->text(), encryptionKey);

    // Update writes, reports and refreshes the window's copy.
    developer->setText(QStringLiteral(" new developer "));
    encryption->setText(QStringLiteral("new key"));
    password->setText(QStringLiteral("new pw"));
    QTest::mouseClick(update, Qt::LeftButton);
    QCOMPARE(f.sink.messages.size(), 1);
    QCOMPARE(f.sink.messages.first().icon, Messages::Icon::Information);
    QCOMPARE(f.sink.messages.first().title, QStringLiteral("Update Successful"));
    QCOMPARE(f.sink.messages.first().text, QStringLiteral("All keys have been updated."));
    QCOMPARE(w.settingsCopy().developerKey, QStringLiteral(" new developer "));
    QCOMPARE(w.settingsCopy().encryptionKey, QStringLiteral("new key"));
    QCOMPARE(w.settingsCopy().password, QStringLiteral("new pw"));
    QString d, e, p;
    QVERIFY(modPublic::ReadSettings(d, e, p));
    QCOMPARE(QStringList({d, e, p}),
             QStringList({QStringLiteral(" new developer "), QStringLiteral("new key"),
                          QStringLiteral("new pw")}));

    // With the store gone: Update fails and keeps the copy, Undo empties.
    f.sink.clear();
    QVERIFY(QFile::remove(f.env.storePath()));
    developer->setText(QStringLiteral("lost"));
    QTest::mouseClick(update, Qt::LeftButton);
    QCOMPARE(f.sink.messages.size(), 1);
    QCOMPARE(f.sink.messages.first().icon, Messages::Icon::Information);
    QCOMPARE(f.sink.messages.first().title, QStringLiteral("Update Failed"));
    QCOMPARE(f.sink.messages.first().text, QStringLiteral("Unable to update keys."));
    QCOMPARE(w.settingsCopy().developerKey, QStringLiteral(" new developer "));
    QTest::mouseClick(undo, Qt::LeftButton);
    QCOMPARE(developer->text(), QString());
    QCOMPARE(encryption->text(), QString());
    QCOMPARE(password->text(), QString());
    QCOMPARE(f.sink.messages.size(), 1);

    // An empty password written from the tab removes the login.
    f.env.createStore(QStringLiteral("d"), QStringLiteral("e"), QStringLiteral("old"));
    developer->setText(QStringLiteral("d"));
    encryption->setText(QStringLiteral("e"));
    password->clear();
    QTest::mouseClick(update, Qt::LeftButton);
    f.makeWindow();
    QVERIFY(f.window->Form_Load());
    QCOMPARE(f.loginCalls, 0);
}

void TestMainWindow::settingsDialogFromMenuAndToolbar()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(w.Form_Load());
    w.show();
    QVERIFY(!w.settingsDialog());

    f.action("mnuSetting")->trigger();
    QPointer<frmEncryptionKey> dialog = w.settingsDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isWindow());
    QCOMPARE(dialog->parent(), nullptr);
    QVERIFY(!dialog->isModal());
    auto *developer = child<QLineEdit>(dialog, "txtDeveloperKey");
    QCOMPARE(developer->text(), QStringLiteral("ABCDEFGHIJKLhostyvarnz"));

    // Shown again from the toolbar: the same dialog, not read again.
    developer->setText(QStringLiteral("being edited"));
    QVERIFY(QFile::remove(f.env.storePath()));
    w.tbarDecypt_ButtonClick(QStringLiteral("btSetting"));
    QCOMPARE(w.settingsDialog(), dialog.data());
    QCOMPARE(developer->text(), QStringLiteral("being edited"));
    QVERIFY(f.sink.messages.isEmpty());

    // The main window can close; the dialog stays.
    w.close();
    QVERIFY(dialog->isVisible());

    // Closed, it goes; opened again, it reads the store afresh (now missing).
    child<QPushButton>(dialog, "cmdCancel")->click();
    QVERIFY(!dialog || !dialog->isVisible());
    QTRY_VERIFY(!dialog);
    w.mnuSetting_Click();
    QVERIFY(w.settingsDialog());
    QCOMPARE(child<QLineEdit>(w.settingsDialog(), "txtDeveloperKey")->text(), QString());
    QCOMPARE(f.sink.messages.size(), 1);
    QCOMPARE(f.sink.messages.first().icon, Messages::Icon::Exclamation);
    QCOMPARE(f.sink.messages.first().title, QStringLiteral("Varnell Decryptor"));
    QCOMPARE(f.sink.messages.first().text,
             QStringLiteral("You may need to reinstall this program."));
}

void TestMainWindow::toolbarButtonsAndDispatch()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(w.Form_Load());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *toolbar = f.find<QToolBar>("tbarDecypt");
    QCOMPARE(toolbar->parentWidget(), f.find<QWidget>("fraDecrypt"));
    const QList<QAction *> buttons = toolbar->actions();
    const QStringList keys = {QStringLiteral("btOpen"), QStringLiteral("btSaveEncrypt"),
                              QStringLiteral("btSaveDecrypt"), QStringLiteral("btPrint"),
                              QStringLiteral("btSetting")};
    const QStringList tips = {QStringLiteral("Open an encrypted file"),
                              QStringLiteral("Save as encrypted file"),
                              QStringLiteral("Save as decrypted (readable text) file"),
                              QStringLiteral("Print"), QStringLiteral("Show settings form")};
    QCOMPARE(buttons.size(), 5);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(buttons.at(i)->objectName(), keys.at(i));
        QCOMPARE(buttons.at(i)->toolTip(), tips.at(i));
        QVERIFY(!buttons.at(i)->icon().isNull());
        // Drawn, and sharp at any size.
        for (int side : {16, 24, 48, 96}) {
            const QImage image = buttons.at(i)->icon().pixmap(QSize(side, side)).toImage();
            QCOMPARE(image.size(), QSize(side, side));
            QVERIFY(image.pixelColor(side / 2, side / 2).alpha() > 0 ||
                    image.pixelColor(side / 3, side / 2).alpha() > 0);
        }
    }

    // Clicking the open button shows the Open box.
    f.dialog.cancel();
    QTest::mouseClick(toolbar->widgetForAction(buttons.at(0)), Qt::LeftButton);
    QCOMPARE(f.dialog.shown.size(), 1);
    QCOMPARE(f.dialog.shown.first().request.kind, CommonDialog::FileRequest::Open);

    // The record buttons run their menu entries.
    w.EnableRecordCommands(true);
    QSignalSpy saveEncrypt(f.action("mnuSaveEncrypt"), &QAction::triggered);
    QSignalSpy saveDecrypt(f.action("mnuSaveDecrypt"), &QAction::triggered);
    QSignalSpy print(f.action("mnuPrint"), &QAction::triggered);
    QTest::mouseClick(toolbar->widgetForAction(buttons.at(1)), Qt::LeftButton);
    QCOMPARE(saveEncrypt.size(), 1);
    w.tbarDecypt_ButtonClick(QStringLiteral("btSaveDecrypt"));
    QCOMPARE(saveDecrypt.size(), 1);
    w.tbarDecypt_ButtonClick(QStringLiteral("btPrint"));
    QCOMPARE(print.size(), 1);
    QCOMPARE(saveEncrypt.size(), 1);

    // Keys are compared exactly.
    w.tbarDecypt_ButtonClick(QStringLiteral("btopen"));
    w.tbarDecypt_ButtonClick(QStringLiteral("btSetting "));
    w.tbarDecypt_ButtonClick(QString());
    QCOMPARE(f.dialog.shown.size(), 1);
    QVERIFY(!w.settingsDialog());
    QCOMPARE(saveEncrypt.size() + saveDecrypt.size() + print.size(), 3);

    QTest::mouseClick(toolbar->widgetForAction(buttons.at(4)), Qt::LeftButton);
    QVERIFY(w.settingsDialog());
}

void TestMainWindow::menuTree()
{
    Fixture f;
    frmMain &w = *f.window;
    struct Entry
    {
        const char *name;
        const char *caption;
    };
    const auto check = [&](const char *menuName, const char *caption,
                           std::initializer_list<Entry> entries) {
        auto *menu = f.find<QMenu>(menuName);
        QVERIFY(menu);
        QCOMPARE(menu->title(), QLatin1String(caption));
        QVERIFY(w.menuBar()->actions().contains(menu->menuAction()));
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), qsizetype(entries.size()));
        int i = 0;
        for (const Entry &e : entries) {
            QAction *a = actions.at(i++);
            QCOMPARE(a->objectName(), QLatin1String(e.name));
            if (QLatin1String(e.caption) == QLatin1String("-"))
                QVERIFY(a->isSeparator());
            else
                QCOMPARE(a->text(), QLatin1String(e.caption));
        }
    };
    check("mnuFile", "&File",
          {{"mnuOpen", "&Open"},
           {"mnuSp1", "-"},
           {"mnuSaveEncrypt", "Save Encrypt"},
           {"mnuSaveDecrypt", "&Save Decrypt"},
           {"mnuSp2", "-"},
           {"mnuPrtSetup", "Printer setup"},
           {"mnuPrint", "&Print"},
           {"mnuSp3", "-"},
           {"mnuExit", "&Exit"}});
    check("mnuOption", "Op&tions", {{"mnuSetting", "Settings"}});
    check(
        "mnuMainHelp", "&Help",
        {{"mnuAbout", "&About"}, {"mnuWeb", "Varnell &Web Page"}, {"mnuSupport", "Email Support"}});
    QCOMPARE(w.menuBar()->actions().size(), 3);

    QCOMPARE(f.action("mnuOpen")->shortcut(), QKeySequence(QKeySequence::Open));
    QCOMPARE(f.action("mnuSaveDecrypt")->shortcut(), QKeySequence(QKeySequence::Save));
    QCOMPARE(f.action("mnuPrint")->shortcut(), QKeySequence(QKeySequence::Print));
    QCOMPARE(f.action("mnuExit")->shortcut(), QKeySequence(QKeySequence::Quit));

    // The open shortcut reaches the Open box.
    QVERIFY(w.Form_Load());
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    f.dialog.cancel();
    QTest::keySequence(&w, QKeySequence(QKeySequence::Open));
    QCOMPARE(f.dialog.shown.size(), 1);

    // Printer setup: the shared dialog's printer box, cancel says nothing.
    f.action("mnuPrtSetup")->trigger();
    QCOMPARE(f.dialog.shown.size(), 2);
    QVERIFY(f.dialog.shown.last().printer);
    QCOMPARE(f.dialog.shown.last().printerFlags, 64);
    QVERIFY(w.cdgOpen.CancelError);
    QVERIFY(f.sink.messages.isEmpty());
}

void TestMainWindow::recordCommandsAndOpenBox()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(w.Form_Load());
    auto *view = f.find<QPlainTextEdit>("txtDecrypt");
    QVERIFY(!recordCommandsEnabled(f));
    for (const char *always : {"mnuOpen", "mnuPrtSetup", "btOpen", "btSetting"})
        QVERIFY2(f.action(always)->isEnabled(), always);
    QVERIFY(view->font().fixedPitch());
    QCOMPARE(view->font().pointSizeF(), 9.75);
    QVERIFY(!view->isReadOnly());
    QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(view->lineWrapMode(), QPlainTextEdit::NoWrap);

    // Cancelled before anything was opened: nothing happens.
    f.dialog.cancel();
    w.mnuOpen_Click();
    QCOMPARE(f.dialog.shown.size(), 1);
    const CommonDialog::FileRequest box = f.dialog.shown.first().request;
    QCOMPARE(box.kind, CommonDialog::FileRequest::Open);
    QCOMPARE(box.flags, 4);
    QCOMPARE(box.filter, QStringLiteral("Encrypted Files (*.vrd)|*.vrd|All Files (*.*)|*.*"));
    QCOMPARE(box.filterIndex, 1);
    QCOMPARE(box.fileName, QString());
    QVERIFY(w.cdgOpen.CancelError);
    QVERIFY(!recordCommandsEnabled(f));
    QVERIFY(w.currentRecordFile().isEmpty());

    // Opening shows the record and enables the commands.
    const QString path = f.env.path(QStringLiteral("first.vrd"));
    writeFile(path, recordFile());
    f.dialog.choose(path);
    w.mnuOpen_Click();
    QCOMPARE(w.currentRecordFile(), path);
    QCOMPARE(view->toPlainText(), recordShown);
    QVERIFY(recordCommandsEnabled(f));

    // Cancelling afterwards reads the current record file again; the box
    // proposes the last name.
    writeFile(path, recordFile(QStringLiteral("Changed:\tvalue\n")));
    f.dialog.cancel();
    w.mnuOpen_Click();
    QCOMPARE(f.dialog.shown.last().request.fileName, path);
    QCOMPARE(view->toPlainText(), QStringLiteral("Changed:            value"));

    // A name typed for a file that does not exist: an empty view, the
    // commands stay enabled.
    f.dialog.choose(f.env.path(QStringLiteral("typed-missing.vrd")));
    w.mnuOpen_Click();
    QCOMPARE(view->toPlainText(), QString());
    QVERIFY(recordCommandsEnabled(f));

    // An empty file gives an empty view too.
    const QString empty = f.env.path(QStringLiteral("empty.vrd"));
    writeFile(empty, QByteArray());
    view->setPlainText(QStringLiteral("old"));
    f.dialog.choose(empty);
    w.mnuOpen_Click();
    QCOMPARE(view->toPlainText(), QString());

    // The key is read from the store before each opening.
    f.env.createStore(QStringLiteral("dev"), QStringLiteral("other key"));
    const QString other = f.env.path(QStringLiteral("other.vrd"));
    writeFile(other, recordFile(QStringLiteral("Name:\tsecond\n"), QStringLiteral("other key")));
    f.dialog.choose(other);
    w.mnuOpen_Click();
    QCOMPARE(view->toPlainText(), QStringLiteral("Name:               second"));
    QCOMPARE(w.settingsCopy().encryptionKey, QStringLiteral("other key"));
    QVERIFY(f.sink.messages.isEmpty());

    // The store unreadable: a warning, the view untouched.
    QVERIFY(QFile::remove(f.env.storePath()));
    f.dialog.choose(path);
    w.mnuOpen_Click();
    QCOMPARE(f.sink.messages.size(), 1);
    QCOMPARE(f.sink.messages.first().icon, Messages::Icon::Exclamation);
    QCOMPARE(f.sink.messages.first().title, QStringLiteral("Warning"));
    QCOMPARE(f.sink.messages.first().text, QStringLiteral("No decryption key found."));
    QCOMPARE(view->toPlainText(), QStringLiteral("Name:               second"));
    QCOMPARE(w.currentRecordFile(), path);
}

void TestMainWindow::openingProcessesEventsAfterEachField()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(w.Form_Load());
    int calls = 0;
    PendingEvents::setHandler([&] { ++calls; });
    const QString path = f.env.path(QStringLiteral("r.vrd"));
    // Three fields with values, one of them a card number, and a heading.
    writeFile(path, recordFile());
    f.dialog.choose(path);
    w.mnuOpen_Click();
    QCOMPARE(calls, 3 + 1);
}

void TestMainWindow::layoutFollowsTheWindow()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(w.Form_Load());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    const auto checkTab = [&](int tab) {
        const auto rects = MainLayout::layout(
            tab, w.clientTwips(),
            WindowPlacement::toTwips(f.find<QToolBar>("tbarDecypt")->sizeHint().height(), 96));
        for (auto it = rects.constBegin(); it != rects.constEnd(); ++it) {
            auto *target = w.findChild<QWidget *>(it.key());
            // The product editor's controls are not part of this window yet.
            if (!target && tab == 3 && it.key() != QLatin1String("fraProduct"))
                continue;
            QVERIFY2(target, qPrintable(it.key()));
            QRect expected = w.toPixels(it.value());
            // The strip's headers keep their own height; the page below them
            // is drawn by the client area.
            if (it.key() == QLatin1String("tabForm")) {
                QCOMPARE(expected.size(), target->parentWidget()->size());
                expected.setHeight(target->sizeHint().height());
            }
            QCOMPARE(target->geometry(), expected);
        }
    };
    checkTab(1);

    // Smaller than the minimum snaps back.
    w.resize(300, 200);
    QTRY_VERIFY(w.windowTwips().width() >= 8500);
    QVERIFY(w.windowTwips().height() >= 6500);
    QVERIFY(near(w.windowTwips().width(), 8500));
    QVERIFY(near(w.windowTwips().height(), 6500));
    checkTab(1);

    // Growing by 1000 twips grows the record view by 1000 each way.
    const QRect viewBefore = f.find<QWidget>("txtDecrypt")->geometry();
    w.setWindowSizeTwips(w.windowTwips().size() + QSizeF(1005, 1005));
    QTRY_COMPARE(f.find<QWidget>("txtDecrypt")->geometry().width(), viewBefore.width() + 67);
    QCOMPARE(f.find<QWidget>("txtDecrypt")->geometry().height(), viewBefore.height() + 67);
    checkTab(1);
    for (int tab = 2; tab <= 5; ++tab) {
        f.find<QTabBar>("tabForm")->setCurrentIndex(tab - 1);
        checkTab(tab);
    }

    // Minimised, nothing is laid out.
    auto *frame = f.find<QWidget>("fraStats");
    w.showMinimized();
    QTRY_VERIFY(w.isMinimized());
    frame->setGeometry(1, 2, 3, 4);
    w.Form_Resize();
    QCOMPARE(frame->geometry(), QRect(1, 2, 3, 4));
}

void TestMainWindow::progressNote()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(w.Form_Load());
    w.show();
    auto *note = f.find<QLineEdit>("txtProgress");
    QVERIFY(!note->isVisible());
    QCOMPARE(note->parentWidget(), f.find<QWidget>("tabForm")->parentWidget());
    f.find<QTabBar>("tabForm")->setCurrentIndex(2);
    w.showProgress(QStringLiteral("Retrieving Product List..."));
    QVERIFY(note->isVisible());
    QCOMPARE(note->text(), QStringLiteral("Retrieving Product List..."));
    QVERIFY(note->isReadOnly());
    const QRectF expected =
        MainLayout::layout(3, w.clientTwips()).value(QStringLiteral("txtProgress"));
    QCOMPARE(note->geometry(), w.toPixels(expected));
    // In front of the frame it covers.
    QCOMPARE(note->parentWidget()->childAt(note->geometry().center()), note);
    w.hideProgress();
    QVERIFY(!note->isVisible());
}

void TestMainWindow::aboutBoxAndLinks()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(w.Form_Load());
    w.show();

    QString caption, version, notice, address;
    QWidget *owner = nullptr;
    QTimer::singleShot(0, &w, [&] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        caption = box->windowTitle();
        owner = box->parentWidget();
        version = child<QLabel>(box, "Label1")->text();
        notice = child<QLabel>(box, "Label2")->text();
        address = child<QLabel>(box, "Label3")->text();
        QVERIFY(!child<QLabel>(box, "Picture1")->pixmap().isNull());
        child<QPushButton>(box, "cmdOK")->click();
    });
    // Whatever happens above, no modal box outlives the test.
    QTimer guard;
    connect(&guard, &QTimer::timeout, &w, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    guard.start(5000);
    f.action("mnuAbout")->trigger();
    QCOMPARE(caption, QStringLiteral("Ostrand - Varnell Decryptor Light"));
    QCOMPARE(owner, &w);
    QCOMPARE(version, QStringLiteral("Varnell Decryptor, version 2.0.0"));
    QVERIFY(!notice.isEmpty());
    QCOMPARE(address, QStringLiteral("www.ostrand.com"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
