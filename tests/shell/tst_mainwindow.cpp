// The main window with its tabs, its requests going to the sandbox gateway on
// loopback.
#include "records/RecordFile.h"
#include "shell/MainLayout.h"
#include "shell/PendingEvents.h"
#include "shell/StoreFile.h"
#include "shell/WindowPlacement.h"
#include "shell/frmEncryptionKey.h"
#include "shell/frmLogin.h"
#include "shell/frmMain.h"
#include "shell/modPublic.h"
#include "statistics/PacketRequest.h"
#include "statistics/Redelivery.h"
#include "statistics/StatsExport.h"
#include "statistics/modStatistics.h"
#include "support/RecordingSink.h"
#include "support/SandboxProcess.h"
#include "support/ScriptedDialog.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHostAddress>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTabBar>
#include <QTcpServer>
#include <QTest>
#include <QTreeWidget>

#include <optional>

namespace {

using Icon = Messages::Icon;

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

void writeRecord(const QString &path, const char *lines = "Customer Name:\tACME LTD\nCard "
                                                          "Number:\t4111222233334444\nHeading\n"
                                                          "Total:\t$49.95\n")
{
    const QString text = QString::fromUtf8(lines);
    writeFile(path, RecordFile::fromTabbedText(text, SandboxProcess::encryptionKey()).bytes);
}

// Sends every request through the proxy at url; deadProxy() is a loopback
// address where nothing listens.
void useProxy(const QString &url)
{
    qputenv("http_proxy", url.toUtf8());
    qunsetenv("no_proxy");
}

QString deadProxy()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
}

// Within a pixel at the offscreen screen's 96 dpi.
bool near(double actual, double expected)
{
    return qAbs(actual - expected) < 15;
}

QString message(Icon icon, const QString &title, const QString &text)
{
    return QString::number(int(icon)) + QLatin1Char('|') + title + QLatin1Char('|') + text;
}

QStringList messages(const RecordingSink &sink)
{
    QStringList all;
    for (const RecordingSink::Message &m : sink.messages)
        all.append(message(m.icon, m.title, m.text));
    return all;
}

template<typename T> T *find(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

// The settings store's three values.
QStringList stored()
{
    QString d, e, p;
    modPublic::ReadSettings(d, e, p);
    return {d, e, p};
}

QString message(const modStatistics::Outcome &o)
{
    return message(o.icon, o.title, o.text);
}

// Each node of the tree in order as "key|text", "+" marking an expanded
// product node; and the nodes that the core's own retrieval gives.
QStringList treeNodes(QTreeWidget *tree)
{
    QStringList nodes;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        nodes.append((*it)->data(0, Qt::UserRole).toString() + QLatin1Char('|') + (*it)->text(0) +
                     QLatin1String((*it)->childCount() && (*it)->isExpanded() ? "+" : ""));
    return nodes;
}

QStringList expectedNodes(int period, bool expanded)
{
    QStringList nodes;
    for (const modStatistics::Product &p : modStatistics::RetrieveStatistics(period).products) {
        nodes.append(p.key() + QLatin1Char('|') + p.text() + QLatin1String(expanded ? "+" : ""));
        for (qsizetype n = 0; n < p.transactions.size(); ++n)
            nodes.append(p.transactionKey(n) + QLatin1Char('|') +
                         modStatistics::transactionText(p.transactions.at(n)));
    }
    return nodes;
}

// A store with the sandbox account, a message recorder, a scripted file
// dialog and a main window that has not yet loaded.
struct Fixture
{
    TestEnvironment env;
    RecordingSink sink;
    ScriptedDialog dialog;
    std::unique_ptr<frmMain> window;
    int loginCalls = 0;
    QString loginPassword;
    bool loginAnswer = true;
    std::function<void()> duringLogin;

    explicit Fixture(const QString &password = QString(), bool withStore = true)
    {
        if (withStore)
            env.createStore(SandboxProcess::developerKey(), SandboxProcess::encryptionKey(),
                            password);
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
                duringLogin();
            modPublic::LoginAccepted = loginAnswer;
        });
    }
    // Start-up, then with show the window shown.
    bool load(bool show = false)
    {
        if (!window->Form_Load())
            return false;
        if (show)
            window->show();
        return !show || QTest::qWaitForWindowExposed(window.get());
    }
    QStringList messages() const { return ::messages(sink); }
    // A file box as "kind|flags|filter|filter index|name|default extension".
    QString box(qsizetype i) const
    {
        const CommonDialog::FileRequest r = dialog.shown.value(i).request;
        return QStringList{QString::number(r.kind),
                           QString::number(r.flags),
                           r.filter,
                           QString::number(r.filterIndex),
                           r.fileName,
                           r.defaultExt}
            .join(QLatin1Char('|'));
    }
    QString ini() const { return env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini")); }
    QString stored(const char *key) const
    {
        return QSettings(ini(), QSettings::IniFormat)
            .value(QLatin1String("Settings/") + QLatin1String(key))
            .toString();
    }
    template<typename T> T *find(const char *name) { return ::find<T>(window.get(), name); }
    QAction *action(const char *name) { return find<QAction>(name); }
    QList<QRadioButton *> periods() { return window->findChildren<QRadioButton *>(); }
    int checkedPeriod()
    {
        for (int i = 0; i < 4; ++i) {
            if (periods().at(i)->isChecked())
                return i;
        }
        return -1;
    }
    QStringList visibleFrames()
    {
        QStringList shown;
        for (int tab = 1; tab <= MainLayout::tabCount; ++tab) {
            if (find<QWidget>(qPrintable(MainLayout::frameName(tab)))->isVisibleTo(window.get()))
                shown.append(MainLayout::frameName(tab));
        }
        return shown;
    }
    // The record commands, menu entries and toolbar buttons alike: "on",
    // "off" or "mixed".
    QString recordCommands()
    {
        int on = 0;
        for (const char *name : {"mnuSaveEncrypt", "mnuSaveDecrypt", "mnuPrint", "btSaveEncrypt",
                                 "btSaveDecrypt", "btPrint"})
            on += action(name)->isEnabled();
        return QLatin1String(on == 6 ? "on" : on == 0 ? "off" : "mixed");
    }
    QColor colour(const char *box) { return find<QLineEdit>(box)->palette().color(QPalette::Text); }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { useProxy(m_sandbox->proxyUrl()); }
    void cleanup();
    void placementFromTheRegistry();
    void unloadWritesPlacementAndPeriod();
    void earlyExitsWriteNothing();
    void startUpOrder();
    void commandLine();
    void tabsAndSettingsTab();
    void settingsDialogAndToolbar();
    void login_data();
    void login();
    void openBoxAndRecordCommands();
    void layoutFollowsTheWindow();
    void serverProbe();
    void periodSelection();
    void exportStats();
    void requestPackage();

private:
    std::unique_ptr<SandboxProcess> m_sandbox;
};

void TestMainWindow::initTestCase()
{
    m_sandbox = std::make_unique<SandboxProcess>();
    QVERIFY2(m_sandbox->isListening(), qPrintable(m_sandbox->errorOutput()));
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "5000");
}

void TestMainWindow::cleanup()
{
    modPublic::LoginAccepted = false;
    PendingEvents::setHandler({});
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmEncryptionKey *>(w))
            delete w;
    }
}

void TestMainWindow::placementFromTheRegistry()
{
    // The offscreen screen is 12000 twips square; -1 is centred.
    const struct
    {
        const char *ini;
        double top, left, width, height;
        int period;
    } rows[] = {
        {"", -1, -1, 8500, 6500, 3},
        {"posTop=300\nposLeft=450\nposWidth=9000\nposHeight=7005\nStatPeriod=1\n", 300, 450, 9000,
         7005, 1},
        // Above the screen, right edge at the screen's.
        {"posTop=-15\nposLeft=3500\n", 0, 0, 8500, 6500, 3},
        {"posWidth=6000\nposHeight=abc\nStatPeriod=7\n", -1, -1, 8500, 6500, 3},
        // A minimised window's values, out of the 16-bit range.
        {"posTop=-48000\nposLeft=-48000\nposWidth=40000\nposHeight=99999\n", 0, 0, 8500, 6500, 3},
        // An unterminated quote swallows the rest of the file into posTop.
        {"posTop=\"\\x1\nposLeft=@Variant(\\0\\0)\nposWidth=1, 2\n\xff\xfejunk", 0, -1, 8500, 6500,
         3},
    };
    for (const auto &row : rows) {
        Fixture f;
        QDir().mkpath(QFileInfo(f.ini()).path());
        writeFile(f.ini(), QByteArray("[Settings]\n") + row.ini);
        QVERIFY(f.load());
        const QRectF window = f.window->windowTwips();
        QCOMPARE(f.window->screenTwips(), QSizeF(12000, 12000));
        QVERIFY2(near(window.top(), row.top >= 0 ? row.top : 2750), row.ini);
        QVERIFY2(near(window.left(), row.left >= 0 ? row.left : 1750), row.ini);
        QVERIFY2(window.width() >= row.width && near(window.width(), row.width), row.ini);
        QVERIFY2(window.height() >= row.height && near(window.height(), row.height), row.ini);
        QCOMPARE(f.checkedPeriod(), row.period);
        QVERIFY(f.messages().isEmpty());
        QCOMPARE(f.visibleFrames(), QStringList{QStringLiteral("fraDecrypt")});
    }
}

void TestMainWindow::unloadWritesPlacementAndPeriod()
{
    Fixture f;
    QVERIFY(f.load(true));
    // Shown, the window keeps its outer size once its frame is known.
    QVERIFY(near(f.window->windowTwips().width(), 8500));
    QVERIFY(!QFile::exists(f.ini()));
    f.window->setWindowLeftTwips(600);
    f.window->setWindowTopTwips(900);
    f.window->setWindowSizeTwips(QSizeF(9600, 7200));
    f.periods().at(2)->setChecked(true);
    const QRectF before = f.window->windowTwips();
    f.action("mnuExit")->trigger();
    QVERIFY(!f.window->isVisible());
    using WindowPlacement::storedText;
    QCOMPARE(QStringList({f.stored("posLeft"), f.stored("posTop"), f.stored("posWidth"),
                          f.stored("posHeight"), f.stored("StatPeriod")}),
             QStringList({storedText(before.left()), storedText(before.top()),
                          storedText(before.width()), storedText(before.height()),
                          QStringLiteral("2")}));
    // The next start takes them back.
    f.makeWindow();
    QVERIFY(f.load());
    QCOMPARE(f.window->windowTwips(), before);
    QCOMPARE(f.checkedPeriod(), 2);
}

void TestMainWindow::earlyExitsWriteNothing()
{
    const QString critical =
        message(Icon::Critical, QStringLiteral("Varnell Decryptor"),
                QStringLiteral("Unable to access utility settings.\r\nPlease contact Ostrand."));
    // No store, a store held by another program, one that is no database,
    // and a refused login.
    for (int c = 0; c < 4; ++c) {
        Fixture f(QStringLiteral("secret"), c == 1 || c == 3);
        f.loginAnswer = false;
        std::optional<StoreFile::ExclusiveLock> lock;
        if (c == 1)
            lock.emplace(f.env.storePath());
        if (c == 2)
            writeFile(f.env.storePath(), QByteArray(4096, 'x'));
        QVERIFY(!f.load());
        QCOMPARE(f.loginCalls, c == 3 ? 1 : 0);
        QCOMPARE(f.window->exitCode(), c == 3 ? 0 : 1);
        QCOMPARE(f.messages(), c == 3 ? QStringList() : QStringList{critical});
        f.window.reset();
        QVERIFY(!QFile::exists(f.ini()));
    }
}

void TestMainWindow::startUpOrder()
{
    Fixture f(QStringLiteral("Secret "));
    QDir().mkpath(QFileInfo(f.ini()).path());
    writeFile(f.ini(), "[Settings]\nStatPeriod=1\n");
    writeRecord(f.env.path(QStringLiteral("r.vrd")));
    f.window->setCommandLine(f.env.path(QStringLiteral("r.vrd")));
    auto *status = f.find<QLineEdit>("txtServerStatus");
    auto *tree = f.find<QTreeWidget>("tvStats");
    bool loginFirst = false;
    f.duringLogin = [&] {
        // The first tab shown and the record commands off; the record, the
        // server list, the probe and the statistics come after the login.
        loginFirst = f.window->lastTab() == 1 && f.recordCommands() == QLatin1String("off") &&
                     f.window->currentRecordFile().isEmpty() &&
                     !f.find<QComboBox>("cboServer")->count() &&
                     status->text() == QLatin1String("Connecting...") && !tree->topLevelItemCount();
    };
    QVERIFY(f.load());
    QVERIFY(loginFirst);
    QCOMPARE(f.loginPassword, QStringLiteral("Secret "));
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.find<QPlainTextEdit>("txtDecrypt")->toPlainText(), recordShown);
    QCOMPARE(f.recordCommands(), QStringLiteral("on"));
    QCOMPARE(f.find<QComboBox>("cboServer")->currentText(), QStringLiteral("Server 0"));
    QCOMPARE(status->text(), QStringLiteral("Active"));
    QVERIFY(f.find<QLineEdit>("txtConnTime")->text().endsWith(QLatin1String(" ms")));
    // The stored period's transactions, product nodes collapsed.
    QVERIFY(tree->topLevelItemCount() > 1);
    QCOMPARE(treeNodes(tree), expectedNodes(1, false));
    QVERIFY(f.messages().isEmpty());
}

void TestMainWindow::commandLine()
{
    // The file made, the command line ("%1" the environment's folder) and
    // the current record file afterwards; only the first opens.
    const char *const rows[][3] = {
        {"my records/a b.vrd", "\"%1/my records/a b.vrd\"", "%1/my records/a b.vrd"},
        {"", "%1/missing.vrd", "%1/missing.vrd"},
    };
    for (int i = 0; i < 2; ++i) {
        Fixture f;
        const auto inEnv = [&](const char *text) {
            return QString::fromUtf8(text).replace(QLatin1String("%1"), f.env.path());
        };
        const QString made = f.env.path(QString::fromUtf8(rows[i][0]));
        QDir().mkpath(QFileInfo(made).path());
        if (i == 0)
            writeRecord(made);
        f.window->setCommandLine(inEnv(rows[i][1]));
        QVERIFY(f.load());
        QCOMPARE(f.loginCalls, 0);
        QCOMPARE(f.window->currentRecordFile(), inEnv(rows[i][2]));
        QCOMPARE(f.recordCommands(), QLatin1String(i == 0 ? "on" : "off"));
        QCOMPARE(f.find<QPlainTextEdit>("txtDecrypt")->toPlainText(),
                 i == 0 ? recordShown : QString());
        QVERIFY(f.messages().isEmpty());
    }

    // The store turns unreadable between the login and the second reading.
    Fixture f(QStringLiteral("pw"));
    writeRecord(f.env.path(QStringLiteral("r.vrd")));
    f.window->setCommandLine(f.env.path(QStringLiteral("r.vrd")));
    std::optional<StoreFile::ExclusiveLock> lock;
    f.duringLogin = [&] { lock.emplace(f.env.storePath()); };
    QVERIFY(f.load());
    QCOMPARE(f.messages(), QStringList{message(Icon::Exclamation, QStringLiteral("Warning"),
                                               QStringLiteral("No decryption key found. Please "
                                                              "use 'Settings' menu to setup "
                                                              "decrypt key."))});
    QCOMPARE(f.recordCommands(), QStringLiteral("off"));
}

void TestMainWindow::tabsAndSettingsTab()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load(true));
    auto *tabs = f.find<QTabBar>("tabForm");
    auto *developer = f.find<QLineEdit>("txtDeveloperKey");
    auto *password = f.find<QLineEdit>("txtPassword");
    for (int i = 4; i >= 0; --i) {
        tabs->setCurrentIndex(i);
        QCOMPARE(w.lastTab(), i + 1);
        QCOMPARE(f.visibleFrames(), QStringList{MainLayout::frameName(i + 1)});
    }
    // The settings tab reads the store when selected, not when clicked again.
    tabs->setCurrentIndex(1);
    QCOMPARE(developer->text(), SandboxProcess::developerKey());
    developer->setText(QStringLiteral("typed"));
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(developer->text(), QStringLiteral("typed"));
    f.find<QPushButton>("cmdUndo")->click();
    QCOMPARE(developer->text(), SandboxProcess::developerKey());

    // Update writes, reports and refreshes the window's copy.
    developer->setText(QStringLiteral(" new developer "));
    password->setText(QStringLiteral("new pw"));
    f.find<QPushButton>("cmdUpdate")->click();
    QCOMPARE(w.settingsCopy().developerKey + w.settingsCopy().password,
             QStringLiteral(" new developer new pw"));
    QCOMPARE(f.messages(),
             QStringList{message(Icon::Information, QStringLiteral("Update Successful"),
                                 QStringLiteral("All keys have been updated."))});
}

void TestMainWindow::settingsDialogAndToolbar()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load(true));
    // The settings dialog has no owner; shown again it keeps its fields.
    f.action("btSetting")->trigger();
    QPointer<frmEncryptionKey> dialog = w.settingsDialog();
    QVERIFY(dialog && dialog->isVisible() && !dialog->parent() && !dialog->isModal());
    auto *developer = find<QLineEdit>(dialog, "txtDeveloperKey");
    QCOMPARE(developer->text(), SandboxProcess::developerKey());
    developer->setText(QStringLiteral("being edited"));
    f.action("mnuSetting")->trigger();
    QCOMPARE(w.settingsDialog(), dialog.data());
    QCOMPARE(developer->text(), QStringLiteral("being edited"));
    // Apply writes and stays; Cancel closes and keeps that; the dialog
    // outlives the main window.
    find<QPushButton>(dialog, "cmdApply")->click();
    QCOMPARE(stored().first(), QStringLiteral("being edited"));
    w.close();
    QVERIFY(dialog->isVisible());
    developer->setText(QStringLiteral("dropped"));
    find<QPushButton>(dialog, "cmdCancel")->click();
    QTRY_VERIFY(!dialog);
    QCOMPARE(stored().first(), QStringLiteral("being edited"));
    // Opened without a store: the reinstall message, empty fields.
    QVERIFY(QFile::remove(f.env.storePath()));
    w.mnuSetting_Click();
    QCOMPARE(find<QLineEdit>(w.settingsDialog(), "txtDeveloperKey")->text(), QString());
    QCOMPARE(f.messages(),
             QStringList{message(Icon::Exclamation, QStringLiteral("Varnell Decryptor"),
                                 QStringLiteral("You may need to reinstall this program."))});
}

void TestMainWindow::login_data()
{
    QTest::addColumn<QString>("storedPassword");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("then"); // Okay, Cancel or Close
    const auto row = [](const char *name, const char *password, const char *typed,
                        const char *then) {
        QTest::newRow(name) << QString::fromLatin1(password) << QString::fromLatin1(typed)
                            << QString::fromLatin1(then);
    };
    row("same, blanks and signs", "Pa ss!#1 ", "Pa ss!#1 ", "Okay");
    row("letter case", "Secret", "secret", "Okay");
    row("trailing blank typed", "Secret", "Secret ", "Okay");
    row("cancelled", "x", "x", "Cancel");
    row("closed", "x", "x", "Close");
}

void TestMainWindow::login()
{
    QFETCH(QString, storedPassword);
    QFETCH(QString, typed);
    QFETCH(QString, then);

    RecordingSink sink;
    frmLogin login;
    login.StoredPassword = storedPassword;
    login.show();
    QVERIFY(QTest::qWaitForWindowActive(&login));
    auto *field = find<QLineEdit>(&login, "txtPWD");
    QCOMPARE(field->echoMode(), QLineEdit::Password);
    QTRY_VERIFY(field->hasFocus());
    QTest::keyClicks(field, typed);
    modPublic::LoginAccepted = then != QLatin1String("Okay"); // refusing resets it
    if (then == QLatin1String("Okay"))
        QTest::keyClick(field, Qt::Key_Return); // Enter presses Okay
    else if (then == QLatin1String("Cancel"))
        find<QPushButton>(&login, "cmdCancel")->click();
    else
        login.close();
    const bool accepted = then == QLatin1String("Okay") && typed == storedPassword;
    QCOMPARE(modPublic::LoginAccepted, accepted);
    QCOMPARE(login.isVisible(), !accepted && then == QLatin1String("Okay"));
    if (!login.isVisible()) {
        QVERIFY(sink.messages.isEmpty());
        return;
    }
    // A wrong password: told so, the field emptied, and another try.
    QCOMPARE(messages(sink),
             QStringList{message(Icon::Information, QStringLiteral("Invalid Password"),
                                 QStringLiteral("The password entered is an invalid password."))});
    QCOMPARE(field->text(), QString());
    QVERIFY(field->hasFocus());
    QTest::keyClicks(field, storedPassword);
    find<QPushButton>(&login, "cmdOkay")->click();
    QVERIFY(modPublic::LoginAccepted && !login.isVisible());
}

void TestMainWindow::openBoxAndRecordCommands()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load());
    auto *view = f.find<QPlainTextEdit>("txtDecrypt");
    // Cancelled before anything was opened: nothing happens.
    f.dialog.cancel();
    f.action("btOpen")->trigger();
    QCOMPARE(f.box(0), QStringLiteral("0|4|Encrypted Files (*.vrd)|*.vrd|All Files (*.*)|*.*|1||"));
    QCOMPARE(f.recordCommands(), QStringLiteral("off"));

    // Opening shows the record, processing events after each field.
    const QString path = f.env.path(QStringLiteral("first.vrd"));
    writeRecord(path);
    int events = 0;
    PendingEvents::setHandler([&] { ++events; });
    f.dialog.choose(path);
    w.mnuOpen_Click();
    QCOMPARE(events, 3 + 1);
    QCOMPARE(view->toPlainText(), recordShown);
    QCOMPARE(f.recordCommands(), QStringLiteral("on"));

    // Cancelled afterwards, the current file is read again; the box proposes
    // the last name. Without a store: a warning, the view untouched.
    writeRecord(path, "Changed:\tvalue\n");
    f.dialog.cancel();
    w.mnuOpen_Click();
    QCOMPARE(f.dialog.shown.last().request.fileName, path);
    QCOMPARE(view->toPlainText(), QStringLiteral("Changed:            value"));
    QVERIFY(QFile::remove(f.env.storePath()));
    f.dialog.choose(path);
    w.mnuOpen_Click();
    QCOMPARE(view->toPlainText(), QStringLiteral("Changed:            value"));
    QCOMPARE(f.messages(), QStringList{message(Icon::Exclamation, QStringLiteral("Warning"),
                                               QStringLiteral("No decryption key found."))});
}

void TestMainWindow::layoutFollowsTheWindow()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load(true));
    auto *view = f.find<QWidget>("txtDecrypt");
    // Smaller than the minimum snaps back.
    w.resize(300, 200);
    QTRY_VERIFY(w.windowTwips().width() >= 8500);
    QVERIFY(near(w.windowTwips().width(), 8500) && near(w.windowTwips().height(), 6500));
    const double toolbar =
        WindowPlacement::toTwips(f.find<QWidget>("tbarDecypt")->sizeHint().height(), 96);
    QCOMPARE(
        view->geometry(),
        w.toPixels(
            MainLayout::layout(1, w.clientTwips(), toolbar).value(QStringLiteral("txtDecrypt"))));
}

void TestMainWindow::serverProbe()
{
    Fixture f;
    QVERIFY(f.load(true));
    auto *status = f.find<QLineEdit>("txtServerStatus");
    auto *servers = f.find<QComboBox>("cboServer");
    const QColor normal = f.colour("txtConnTime");
    // Selecting the tab probes after showing it: the server is down now,
    // Down twice, the status in red.
    useProxy(deadProxy());
    f.find<QTabBar>("tabForm")->setCurrentIndex(3);
    QCOMPARE(status->text() + f.find<QLineEdit>("txtConnTime")->text(), QStringLiteral("DownDown"));
    QCOMPARE(f.colour("txtServerStatus"), QColor(255, 0, 0));
    QCOMPARE(f.colour("txtConnTime"), normal);
    // Refresh, with the server back: Active in the normal colour again.
    useProxy(m_sandbox->proxyUrl());
    QTest::mouseClick(f.find<QPushButton>("cmdRefreshServer"), Qt::LeftButton);
    QCOMPARE(status->text(), QStringLiteral("Active"));
    QCOMPARE(f.colour("txtServerStatus"), normal);
    // Server 1 answers only on the package server's own host name (which
    // the sandbox knows); choosing it probes at once.
    useProxy(deadProxy());
    servers->setFocus();
    QTest::keyClick(servers, Qt::Key_Down);
    QCOMPARE(servers->currentText() + status->text(), QStringLiteral("Server 1Down"));
    useProxy(m_sandbox->proxyUrl());
    QTest::keyClick(servers, Qt::Key_Up);
    QTest::keyClick(servers, Qt::Key_Down);
    QCOMPARE(servers->currentText() + status->text(), QStringLiteral("Server 1Active"));
    // Clicking the shown tab again does not probe.
    useProxy(deadProxy());
    auto *tabs = f.find<QTabBar>("tabForm");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    QCOMPARE(status->text(), QStringLiteral("Active"));
    QVERIFY(f.messages().isEmpty());
}

void TestMainWindow::periodSelection()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load());
    auto *tree = f.find<QTreeWidget>("tvStats");
    auto *note = f.find<QLineEdit>("txtProgress");
    auto *period = f.find<QGroupBox>("fraStatPeriod");
    // While it runs: the note over the period frame, the frame disabled;
    // the old nodes go before the request.
    QStringList seen;
    PendingEvents::setHandler([&] {
        seen.append(QStringLiteral("%1 %2 %3")
                        .arg(note->isVisibleTo(&w))
                        .arg(period->isEnabled())
                        .arg(tree->topLevelItemCount() > 0));
    });
    f.periods().at(1)->click();
    PendingEvents::setHandler({});
    QVERIFY(seen.size() >= 3);
    QCOMPARE(seen.mid(0, 2), (QStringList{QStringLiteral("1 0 1"), QStringLiteral("1 0 0")}));
    QCOMPARE(seen.last(), QStringLiteral("1 0 1"));
    QCOMPARE(note->text(), QStringLiteral("Retrieving Transaction History..."));
    QCOMPARE(note->geometry(),
             w.toPixels(MainLayout::progressOverPeriodFrame(
                 w.toTwips(f.find<QWidget>("fraStats")->geometry()), w.toTwips(period->geometry()),
                 w.toTwips(note->geometry()).size())));
    // Afterwards every node is expanded, the frame enabled, the note gone.
    QCOMPARE(treeNodes(tree), expectedNodes(1, true));
    QVERIFY(period->isEnabled() && !note->isVisibleTo(&w));

    // The server cannot be reached: one message, an empty tree.
    useProxy(deadProxy());
    f.periods().at(0)->click();
    QCOMPARE(f.messages(),
             QStringList{message(Icon::Exclamation, QStringLiteral("Server Unavailable"),
                                 QStringLiteral("Unable to retrieve statistics.\r\nThe statistics "
                                                "server may be unavailable.\r\n\r\nPlease contact "
                                                "Ostrand if this problem persists"))});
    QCOMPARE(tree->topLevelItemCount(), 0);
    QVERIFY(period->isEnabled() && !note->isVisibleTo(&w));
}

void TestMainWindow::exportStats()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load());
    auto *exportButton = f.find<QPushButton>("cmdExportStats");
    // The box opens with the name and filter entry that the last use left.
    w.cdgOpen.FileName = f.env.path(QStringLiteral("last.vrd"));
    w.cdgOpen.FilterIndex = 2;
    const QString path = f.env.path(QStringLiteral("stats"));
    f.dialog.choose(path);
    exportButton->click();
    QCOMPARE(f.box(0), QStringLiteral("1|2|CSV Files (*.csv)|*.csv|Text Files (*.txt)|*.txt|All "
                                      "Files (*.*)|*.*||2|%1|csv")
                           .arg(f.env.path(QStringLiteral("last.vrd"))));
    QVERIFY(w.cdgOpen.CancelError);
    QFile file(path + QLatin1String(".csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray csv = file.readAll();
    QCOMPARE(csv, modStatistics::csvFromNodeTexts(
                      modStatistics::nodeTexts(modStatistics::RetrieveStatistics(3).products)));
    QCOMPARE(f.messages(),
             QStringList{message(Icon::Information, QStringLiteral("Export Successful"),
                                 QStringLiteral("The data has successfully been "
                                                "exported."))});
    // Cancelled: nothing. A file that cannot be written: a message, no file.
    f.dialog.cancel();
    exportButton->click();
    const QString unwritable = f.env.path(QStringLiteral("no such folder/stats.csv"));
    f.dialog.choose(unwritable);
    exportButton->click();
    QCOMPARE(f.messages().size(), 2);
    QVERIFY(f.messages().last().contains(QLatin1String("|Export Failed|")));
    QVERIFY(f.messages().last().contains(unwritable));
    QVERIFY(!QFile::exists(unwritable));
    // An empty tree: "No Data", no box.
    useProxy(deadProxy());
    w.RetrieveStatistics(3);
    f.sink.clear();
    exportButton->click();
    QCOMPARE(f.dialog.shown.size(), 3);
    QCOMPARE(f.messages(), QStringList{message(Icon::Information, QStringLiteral("No Data"),
                                               QStringLiteral("There is no data to export."))});
}

void TestMainWindow::requestPackage()
{
    Fixture f;
    QVERIFY(f.load());
    auto *tree = f.find<QTreeWidget>("tvStats");
    auto *request = f.find<QPushButton>("cmdReqPackage");
    auto *channel = f.find<PacketRequest>("INetReq");
    const auto select = [&](const char *answer) {
        const QString id = QLatin1String("Transaction ID: ") +
                           m_sandbox->transactionFor(QLatin1String(answer)) + QLatin1String("  ");
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            if ((*it)->text(0).contains(id))
                tree->setCurrentItem(*it);
        }
    };
    // Nothing selected, or a product node: nothing is sent.
    request->click();
    tree->setCurrentItem(tree->topLevelItem(0));
    request->click();
    const QString invalid = message(modStatistics::invalidSelection());
    QCOMPARE(f.messages(), (QStringList{invalid, invalid}));
    QVERIFY(!channel->isRunning());

    // Every answer of the package server is reported when it arrives.
    const char *const answers[][2] = {{"Request Successful", "Request Sent"},
                                      {"No Email", "No email address"},
                                      {"File does not exist", "No Available Packet"},
                                      {"No Transaction", "Invalid Request"}};
    for (const auto &[answer, title] : answers) {
        f.sink.clear();
        select(answer);
        request->click();
        QTRY_COMPARE(f.messages().size(), 1);
        QCOMPARE(f.sink.messages.first().title, QLatin1String(title));
        QCOMPARE(f.messages().first(),
                 message(modStatistics::classifyRequestAnswer(QLatin1String(answer))));
    }
    const QString sent = m_sandbox->transactionFor(QStringLiteral("Request Successful"));
    QVERIFY(QFile::exists(QDir(m_sandbox->outboxDir()).filePath(sent + QLatin1String(".vrd"))));

    // A second press while one runs is refused; the first answer still comes.
    SandboxProcess slow({QStringLiteral("--delay-ms"), QStringLiteral("1000")});
    useProxy(slow.proxyUrl());
    f.sink.clear();
    select("Request Successful");
    request->click();
    request->click();
    QCOMPARE(f.messages(), QStringList{message(modStatistics::previousRequestInProgress())});
    QTRY_COMPARE(f.messages().size(), 2);
    QCOMPARE(f.sink.messages.last().title, QStringLiteral("Request Sent"));
    // No answer at all: the request ends silently.
    useProxy(deadProxy());
    request->click();
    QTRY_VERIFY(!channel->isRunning());
    QCOMPARE(f.messages().size(), 2);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
