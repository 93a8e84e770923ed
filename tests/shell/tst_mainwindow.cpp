// The main window with its tabs, its requests going to the sandbox gateway on
// loopback.
#include "common/PendingEvents.h"
#include "common/SafeFile.h"
#include "records/RecordFile.h"
#include "records/RecordText.h"
#include "shell/MainLayout.h"
#include "shell/NameOnlyIconProvider.h"
#include "shell/frmEncryptionKey.h"
#include "shell/frmLogin.h"
#include "shell/frmMain.h"
#include "statistics/Redelivery.h"
#include "statistics/StatsExport.h"
#include "statistics/modStatistics.h"
#include "store/StoreFile.h"
#include "store/WindowPlacement.h"
#include "store/modPublic.h"
#include "support/PdfText.h"
#include "support/RecordingSink.h"
#include "support/SandboxProcess.h"
#include "support/ScriptedDialog.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <optional>

namespace {

using Icon = Messages::Icon;

const QString recordShown = QStringLiteral("Customer Name:      ACME LTD\n"
                                           "Card Number:        4111 2222 3333 4444\n"
                                           "Heading             \n"
                                           "Total:              $49.95");

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
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

// Within a pixel at the offscreen screen's 96 dpi.
bool near(double actual, double expected)
{
    return qAbs(actual - expected) < 15;
}

// Message boxes as "icon|title|text".
QString message(Icon icon, const QString &title, const QString &text)
{
    return RecordingSink::line(icon, title, text);
}

QString message(const modStatistics::Outcome &o)
{
    return message(o.icon, o.title, o.text);
}

QStringList said(Icon icon, const char *title, const char *text)
{
    return {message(icon, QLatin1String(title), QLatin1String(text))};
}

template<typename T> T *find(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

// Each node of the tree in order as "key|text", "+" marking an expanded
// product node; and the nodes that the core's own retrieval gives, laid out
// here as the tab has always shown them.
QStringList treeNodes(QTreeView *tree)
{
    QStringList nodes;
    const QAbstractItemModel *model = tree->model();
    for (int p = 0; p < model->rowCount(); ++p) {
        const QModelIndex product = model->index(p, 0);
        nodes.append(
            product.data(Qt::UserRole).toString() + QLatin1Char('|') + product.data().toString() +
            QLatin1String(model->rowCount(product) && tree->isExpanded(product) ? "+" : ""));
        for (int t = 0; t < model->rowCount(product); ++t) {
            const QModelIndex transaction = model->index(t, 0, product);
            nodes.append(transaction.data(Qt::UserRole).toString() + QLatin1Char('|') +
                         transaction.data().toString());
        }
    }
    return nodes;
}

QStringList expectedNodes(int period, bool expanded)
{
    QStringList nodes;
    const QString blanks = QStringLiteral("     ");
    for (const modStatistics::Product &p :
         modStatistics::RetrieveStatistics(period).statistics.products()) {
        const QString id = QString::number(p.id);
        nodes.append(id + QLatin1String("k|Product ID: ") + id + QLatin1String(" - ") + p.caption +
                     QLatin1String(expanded ? "+" : ""));
        for (qsizetype n = 0; n < p.transactions.size(); ++n) {
            const modStatistics::Transaction &t = p.transactions.at(n);
            nodes.append(id + QLatin1Char('X') + QString::number(n) + QLatin1String("|Date: ") +
                         t.date + blanks + QLatin1String("Result: ") + t.result + blanks +
                         QLatin1String("Transaction ID: ") + t.transactionId + blanks +
                         QLatin1String("End UserName: ") + t.endUser);
        }
    }
    return nodes;
}

// The node of the tree whose text holds the text, or an invalid index.
QModelIndex nodeHolding(QTreeView *tree, const QString &text)
{
    const QAbstractItemModel *model = tree->model();
    for (int p = 0; p < model->rowCount(); ++p) {
        const QModelIndex product = model->index(p, 0);
        for (int t = 0; t < model->rowCount(product); ++t) {
            const QModelIndex transaction = model->index(t, 0, product);
            if (transaction.data().toString().contains(text))
                return transaction;
        }
    }
    return {};
}

QString selectedText(QTreeView *tree)
{
    const QModelIndexList selected = tree->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : selected.first().data().toString();
}

// A store with the sandbox account, a message recorder, a scripted file
// dialog and a main window that has not yet loaded; its login prompt counts
// the calls and answers with loginAnswer.
struct Fixture
{
    TestEnvironment env;
    RecordingSink sink;
    ScriptedDialog dialog;
    std::unique_ptr<frmMain> window;
    int loginCalls = 0;
    bool loginAnswer = true;
    std::function<void(const QString &)> duringLogin;

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
            if (duringLogin)
                duringLogin(stored);
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
    QStringList messages() const { return sink.lines(); }
    // A file box as "kind|flags|filter|filter index|name|default extension".
    QString box(qsizetype i) const
    {
        const CommonDialog::FileRequest r = dialog.shown.value(i);
        return QStringLiteral("%1|%2|%3|%4|%5|%6")
            .arg(QString::number(r.kind), QString::number(r.flags), r.filter,
                 QString::number(r.filterIndex), r.fileName, r.defaultExt);
    }
    QString ini() const { return env.path(QStringLiteral("config/VR_Decrypt/VR_Decrypt.ini")); }
    template<typename T> T *find(const char *name) { return ::find<T>(window.get(), name); }
    QAction *action(const char *name) { return find<QAction>(name); }
    QString text(const char *box) { return find<QLineEdit>(box)->text(); }
    QString record() { return find<QPlainTextEdit>("txtDecrypt")->toPlainText(); }
    QList<QRadioButton *> periods() { return window->findChildren<QRadioButton *>(); }
    // How many record commands, menu entries and toolbar buttons, are on.
    int recordCommandsOn()
    {
        int on = 0;
        for (const char *name : {"mnuSaveEncrypt", "mnuSaveDecrypt", "mnuPrint", "mnuPrintPreview",
                                 "mnuExportPdf", "btSaveEncrypt", "btSaveDecrypt", "btPrint"})
            on += action(name)->isEnabled();
        return on;
    }
    QColor colour(const char *box) { return find<QLineEdit>(box)->palette().color(QPalette::Text); }
};

// Drags the files over the widget and drops them there, as the window
// system does: on the nearest widget that takes drops. True when the drop
// was taken.
bool dropFiles(QWidget *over, const QStringList &paths)
{
    QWidget *target = over;
    while (target && !target->acceptDrops())
        target = target->parentWidget();
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void placementFromTheRegistry();
    void earlyExitsWriteNothing();
    void startUpOrder();
    void commandLine();
    void shownWindowAndTabs();
    void settingsTabAndDialog();
    void login();
    void openBoxAndRecordCommands();
    void savingRecords();
    void printingRecords();
    void droppedAndRecentFiles();
    void serverProbe();
    void statisticsTab();

private:
    std::unique_ptr<SandboxProcess> m_sandbox;
};

void TestMainWindow::initTestCase()
{
    m_sandbox = std::make_unique<SandboxProcess>();
    QVERIFY2(m_sandbox->isListening(), qPrintable(m_sandbox->errorOutput()));
    qputenv("VARNELL_HTTP_TIMEOUT_MS", "5000");
    // No printer, whatever this machine has: the print system is asked
    // where nothing answers.
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock");
}

void TestMainWindow::init()
{
    useProxy(m_sandbox->proxyUrl());
    PendingEvents::setHandler({});
}

void TestMainWindow::placementFromTheRegistry()
{
    // The stored values; the window's top, left, width and height (-1:
    // centred on the offscreen screen, 12000 twips square) and period.
    const std::pair<const char *, std::array<double, 5>> rows[] = {
        {"", {-1, -1, 8500, 6500, 3}},
        {"posTop=300\nposLeft=450\nposWidth=9000\nposHeight=7005\nStatPeriod=1\n",
         {300, 450, 9000, 7005, 1}},
        // Above the screen, right edge at the screen's.
        {"posTop=-15\nposLeft=3500\n", {0, 0, 8500, 6500, 3}},
        // An unterminated quote swallows the rest of the file into posTop.
        {"posTop=\"\\x1\nposLeft=@Variant(\\0\\0)\nposWidth=1, 2\n\xff\xfejunk",
         {0, -1, 8500, 6500, 3}},
    };
    for (const auto &[ini, want] : rows) {
        Fixture f;
        writeFile(f.ini(), QByteArray("[Settings]\n") + ini);
        QVERIFY(f.load());
        const QRectF w = f.window->windowTwips();
        QVERIFY2(near(w.top(), want[0] < 0 ? 2750 : want[0]) &&
                     near(w.left(), want[1] < 0 ? 1750 : want[1]) && w.width() >= want[2] &&
                     near(w.width(), want[2]) && w.height() >= want[3] && near(w.height(), want[3]),
                 ini);
        QVERIFY(f.periods().at(int(want[4]))->isChecked() && f.messages().isEmpty());
    }
}

void TestMainWindow::earlyExitsWriteNothing()
{
    // No store: told so, exit status 1. A refused login: silent, status 0.
    for (const bool withStore : {false, true}) {
        Fixture f(QStringLiteral("secret"), withStore);
        f.loginAnswer = false;
        QVERIFY(!f.load());
        QCOMPARE(f.loginCalls, int(withStore));
        QCOMPARE(f.window->exitCode(), withStore ? 0 : 1);
        QCOMPARE(f.messages(), withStore ? QStringList()
                                         : said(Icon::Critical, "Varnell Decryptor",
                                                "Unable to access utility settings.\r\nPlease "
                                                "contact Ostrand."));
        // The store and the cause go into the box's details.
        if (!withStore)
            QCOMPARE(f.sink.messages.at(0).details,
                     f.env.storePath() + QStringLiteral(": No such file or directory"));
        f.window.reset();
        QVERIFY(!QFile::exists(f.ini()));
    }
}

void TestMainWindow::startUpOrder()
{
    Fixture f(QStringLiteral("Secret "));
    writeFile(f.ini(), "[Settings]\nStatPeriod=1\n");
    // A quoted command line whose path holds blanks.
    const QString record = f.env.path(QStringLiteral("my records/a b.vrd"));
    writeRecord(record);
    f.window->setCommandLine(QLatin1Char('"') + record + QLatin1Char('"'));
    auto *tree = f.find<QTreeView>("tvStats");
    QString loginSaw;
    f.duringLogin = [&](const QString &password) {
        // The first tab shown and the record commands off; the record, the
        // server list, the probe and the statistics come after the login.
        if (f.window->lastTab() == 1 && !f.recordCommandsOn() && f.record().isEmpty() &&
            !f.find<QComboBox>("cboServer")->count() &&
            f.text("txtServerStatus") == QLatin1String("Connecting...") &&
            !tree->model()->rowCount())
            loginSaw = password;
    };
    QVERIFY(f.load());
    QCOMPARE(loginSaw, QStringLiteral("Secret "));
    QCOMPARE(f.record(), recordShown);
    QCOMPARE(f.recordCommandsOn(), 8);
    QCOMPARE(f.find<QComboBox>("cboServer")->currentText() + f.text("txtServerStatus"),
             QStringLiteral("Server 0Active"));
    // The stored period's transactions, product nodes collapsed.
    QVERIFY(tree->model()->rowCount() > 1);
    QCOMPARE(treeNodes(tree), expectedNodes(1, false));
    QVERIFY(f.messages().isEmpty());
}

void TestMainWindow::commandLine()
{
    {
        // A missing file becomes the current record file, unopened; without
        // a stored password there is no login.
        Fixture f;
        const QString missing = f.env.path(QStringLiteral("missing.vrd"));
        f.window->setCommandLine(missing);
        QVERIFY(f.load());
        QCOMPARE(f.window->currentRecordFile(), missing);
        QCOMPARE(f.loginCalls + f.recordCommandsOn() + f.messages().size(), 0);
        QVERIFY(f.record().isEmpty());
    }
    // The store turns unreadable between the login and the second reading.
    Fixture f(QStringLiteral("pw"));
    writeRecord(f.env.path(QStringLiteral("r.vrd")));
    f.window->setCommandLine(f.env.path(QStringLiteral("r.vrd")));
    std::optional<StoreFile::ExclusiveLock> lock;
    f.duringLogin = [&](const QString &) { lock.emplace(f.env.storePath()); };
    QVERIFY(f.load());
    QCOMPARE(f.messages(), said(Icon::Exclamation, "Warning",
                                "No decryption key found. Please use 'Settings' menu to setup "
                                "decrypt key."));
    QCOMPARE(f.recordCommandsOn(), 0);
}

void TestMainWindow::shownWindowAndTabs()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load(true));
    // Shown, the window keeps its outer size; smaller than the minimum, it
    // snaps back.
    QVERIFY(near(w.windowTwips().width(), 8500));
    w.resize(300, 200);
    QTRY_VERIFY(w.windowTwips().width() >= 8500);
    QVERIFY(near(w.windowTwips().width(), 8500) && near(w.windowTwips().height(), 6500));
    // Grown on the first tab: each tab selected afterwards shows its frame
    // alone, laid out for the size now.
    w.setWindowSizeTwips(QSizeF(9600, 7200));
    QTRY_VERIFY(near(w.windowTwips().width(), 9600));
    const auto laidOut = [&](int tab, const QString &name) {
        const double toolbar =
            WindowPlacement::toTwips(f.find<QWidget>("tbarDecypt")->sizeHint().height(), 96);
        return w.toPixels(MainLayout::layout(tab, w.clientTwips(), toolbar).value(name));
    };
    for (int tab = MainLayout::tabCount; tab >= 1; --tab) {
        f.find<QTabBar>("tabForm")->setCurrentIndex(tab - 1);
        for (int other = 1; other <= MainLayout::tabCount; ++other) {
            auto *frame = f.find<QWidget>(qPrintable(MainLayout::frameName(other)));
            QCOMPARE(frame->isVisibleTo(&w), other == tab);
            if (other == tab)
                QCOMPARE(frame->geometry(), laidOut(tab, frame->objectName()));
        }
    }
    QCOMPARE(f.find<QWidget>("txtDecrypt")->geometry(),
             laidOut(MainLayout::DecryptTab, QStringLiteral("txtDecrypt")));

    // Exit writes the placement and the period, which the next start takes
    // back exactly; a window closed maximised comes back in its normal place
    // and size, not filling the screen.
    w.setWindowLeftTwips(600);
    w.setWindowTopTwips(900);
    f.periods().at(2)->setChecked(true);
    QTRY_COMPARE(w.windowTwips().topLeft(), QPointF(600, 900));
    const QRectF before = w.windowTwips();
    w.showMaximized();
    QTRY_VERIFY(w.windowTwips().width() > 10000);
    QVERIFY(!QFile::exists(f.ini()));
    f.action("mnuExit")->trigger();
    QVERIFY(!w.isVisible());
    f.makeWindow();
    QVERIFY(f.load());
    QCOMPARE(f.window->windowTwips(), before);
    QVERIFY(f.periods().at(2)->isChecked());
}

void TestMainWindow::settingsTabAndDialog()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load(true));
    // The settings tab reads the store when selected, not when its click
    // handler runs again for the shown tab.
    auto *developer = f.find<QLineEdit>("txtDeveloperKey");
    f.find<QTabBar>("tabForm")->setCurrentIndex(1);
    QCOMPARE(developer->text(), SandboxProcess::developerKey());
    // The whole key shows in the field's tip, the field being narrower.
    QCOMPARE(developer->toolTip(), SandboxProcess::developerKey());
    developer->setText(QStringLiteral("typed"));
    w.tabForm_Click();
    QCOMPARE(developer->text(), QStringLiteral("typed"));
    f.find<QPushButton>("cmdUndo")->click();
    QCOMPARE(developer->text(), SandboxProcess::developerKey());
    // Update writes, reports and refreshes the window's copy.
    developer->setText(QStringLiteral(" new developer "));
    f.find<QLineEdit>("txtPassword")->setText(QStringLiteral("new pw"));
    f.find<QPushButton>("cmdUpdate")->click();
    QCOMPARE(w.settingsCopy().developerKey + w.settingsCopy().password,
             QStringLiteral(" new developer new pw"));
    QCOMPARE(f.messages(),
             said(Icon::Information, "Update Successful", "All keys have been updated."));

    // The toolbar button opens the settings dialog, which has no owner;
    // shown again from the menu it keeps its fields.
    f.action("btSetting")->trigger();
    QPointer<frmEncryptionKey> dialog = w.settingsDialog();
    QVERIFY(dialog && dialog->isVisible() && !dialog->parent() && !dialog->isModal());
    auto *field = find<QLineEdit>(dialog, "txtDeveloperKey");
    QCOMPARE(field->text(), QStringLiteral(" new developer "));
    field->setText(QStringLiteral("being edited"));
    f.action("mnuSetting")->trigger();
    QCOMPARE(w.settingsDialog(), dialog.data());
    QCOMPARE(field->text(), QStringLiteral("being edited"));
    // Apply writes and stays; Cancel closes and keeps that (Undo reads the
    // store); the dialog outlives the main window.
    find<QPushButton>(dialog, "cmdApply")->click();
    w.close();
    QVERIFY(dialog->isVisible());
    field->setText(QStringLiteral("dropped"));
    find<QPushButton>(dialog, "cmdCancel")->click();
    QTRY_VERIFY(!dialog);
    w.cmdUndo_Click();
    QCOMPARE(developer->text(), QStringLiteral("being edited"));
}

void TestMainWindow::login()
{
    // The stored password, what is typed, and how the dialog ends: Enter
    // (which presses Okay), Cancel or closing the window.
    const char *const rows[][3] = {{"Pa ss!#1 ", "Pa ss!#1 ", "Enter"},
                                   {"Secret", "secret", "Enter"},
                                   {"Secret", "Secret ", "Enter"},
                                   {"x", "x", "Cancel"},
                                   {"x", "x", "Close"}};
    for (const auto &[stored, typed, end] : rows) {
        RecordingSink sink;
        frmLogin login;
        login.StoredPassword = QLatin1String(stored);
        login.show();
        QVERIFY(QTest::qWaitForWindowActive(&login));
        auto *field = find<QLineEdit>(&login, "txtPWD");
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClicks(field, QLatin1String(typed));
        const bool enter = !qstrcmp(end, "Enter");
        modPublic::LoginAccepted = !enter; // refusing resets it
        if (enter)
            QTest::keyClick(field, Qt::Key_Return);
        else if (!qstrcmp(end, "Cancel"))
            find<QPushButton>(&login, "cmdCancel")->click();
        else
            login.close();
        const bool wrong = enter && qstrcmp(stored, typed);
        QCOMPARE(modPublic::LoginAccepted, enter && !wrong);
        QCOMPARE(login.isVisible(), wrong);
        // A wrong password: told so, the field emptied for another try.
        QCOMPARE(sink.lines(), wrong ? said(Icon::Information, "Invalid Password",
                                            "The password entered is an invalid password.")
                                     : QStringList());
        QVERIFY(field->text().isEmpty() == wrong);
    }
}

void TestMainWindow::openBoxAndRecordCommands()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load());
    // Cancelled before anything was opened: nothing happens.
    f.dialog.cancel();
    f.action("btOpen")->trigger();
    QCOMPARE(f.box(0), QStringLiteral("0|4|Encrypted Files (*.vrd)|*.vrd|All Files (*.*)|*.*|1||"));
    QCOMPARE(f.recordCommandsOn(), 0);
    // Opening shows the record, processing events after each field.
    const QString path = f.env.path(QStringLiteral("first.vrd"));
    writeRecord(path);
    int events = 0;
    PendingEvents::setHandler([&] { ++events; });
    f.dialog.choose(path);
    w.mnuOpen_Click();
    QCOMPARE(events, 3 + 1);
    QCOMPARE(f.record(), recordShown);
    QCOMPARE(f.recordCommandsOn(), 8);
    // Cancelled afterwards, the current file is read again; the box proposes
    // the last name. Without a store: a warning, the view untouched.
    writeRecord(path, "Changed:\tvalue\n");
    f.dialog.cancel();
    w.mnuOpen_Click();
    QCOMPARE(f.dialog.shown.last().fileName, path);
    QCOMPARE(f.record(), QStringLiteral("Changed:            value"));
    // A file beyond the size limit is refused with a warning that names it;
    // the view keeps the record shown.
    const QString big = f.env.path(QStringLiteral("big.vrd"));
    QVERIFY(QFile::copy(path, big) && QFile::resize(big, RecordText::maxFileSize + 1));
    f.dialog.choose(big);
    w.mnuOpen_Click();
    QCOMPARE(f.record(), QStringLiteral("Changed:            value"));
    QCOMPARE(f.messages(),
             said(Icon::Exclamation, "Warning", "The file is too large to be a record file."));
    QCOMPARE(f.sink.messages.at(0).details,
             big + QStringLiteral(": the file is larger than 64 MiB"));
    f.sink.clear();
    QVERIFY(QFile::remove(f.env.storePath()));
    f.dialog.choose(path);
    w.mnuOpen_Click();
    QCOMPARE(f.record(), QStringLiteral("Changed:            value"));
    QCOMPARE(f.messages(), said(Icon::Exclamation, "Warning", "No decryption key found."));
    QCOMPARE(f.sink.messages.at(0).details,
             f.env.storePath() + QStringLiteral(": No such file or directory"));

    // The real file dialog names types from the file name alone: a file
    // without an extension whose bytes are an image's is not read, so its
    // type stays unknown (a read in /proc may never return).
    const QString picture = f.env.path(QStringLiteral("picture"));
    writeFile(picture, "\x89PNG\r\n\x1a\n");
    QCOMPARE(NameOnlyIconProvider().type(QFileInfo(picture)),
             QMimeDatabase().mimeTypeForName(QStringLiteral("application/octet-stream")).comment());
}

void TestMainWindow::savingRecords()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load());
    auto *view = f.find<QPlainTextEdit>("txtDecrypt");
    // A record in a folder whose name has a dot: the text file's proposed
    // name is the record's without its own extension.
    const QString record = f.env.path(QStringLiteral("orders.2026/r.vrd"));
    writeRecord(record, "Name:\tcaf\xc3\xa9\xc2\xa0"
                        "ACME\nCard Number:\t4111222233334444\n");
    f.dialog.choose(record);
    w.mnuOpen_Click();
    const QString text = f.env.path(QStringLiteral("orders.2026/r.txt"));
    f.dialog.choose(text);
    f.action("btSaveDecrypt")->trigger();
    QCOMPARE(f.box(1), QStringLiteral("1|2|Decrypted Files (*.txt)|*.txt|All Files (*.*)|*.*|1|") +
                           f.env.path(QStringLiteral("orders.2026/r|")));
    // Windows-1252 with CR LF after each line, the no-break space kept; the
    // record stays the current record file.
    const QByteArray saved = "Name:               caf\xe9\xa0"
                             "ACME\r\nCard Number:        4111 2222 3333 4444\r\n";
    QCOMPARE(contents(text), saved);
    QCOMPARE(w.currentRecordFile(), record);
    view->clear();
    f.dialog.choose(f.env.path(QStringLiteral("empty.txt")));
    w.mnuSaveDecrypt_Click();
    QCOMPARE(contents(f.env.path(QStringLiteral("empty.txt"))), QByteArray("\r\n"));

    // Failed and refused text saves leave the earlier file as it was: a
    // full disk, a missing folder (both reported with the path and the
    // reason), a character the code page lacks (asked about, refused).
    view->setPlainText(QStringLiteral("Name: \u4e2d"));
    SafeFile::setFault(SafeFile::Fault{SafeFile::Fault::Step::Write, 3, ENOSPC});
    f.sink.answers = {true, true};
    f.dialog.choose(text);
    w.mnuSaveDecrypt_Click();
    SafeFile::setFault(std::nullopt);
    const QString noFolder = f.env.path(QStringLiteral("no folder/r.txt"));
    f.dialog.choose(noFolder);
    w.mnuSaveDecrypt_Click();
    f.dialog.choose(text);
    w.mnuSaveDecrypt_Click();
    QCOMPARE(contents(text), saved);
    QVERIFY(!QFile::exists(noFolder));
    const auto failed = [&](const QString &what, const QString &path, const QString &reason) {
        return message(Icon::Exclamation, QStringLiteral("Save Failed"),
                       what + path + QStringLiteral(".\r\nCannot ") + reason);
    };
    const QString asked = RecordingSink::line(
        Icon::None, QStringLiteral("Varnell Decryptor"),
        QStringLiteral("The record holds characters that a text file in the Windows-1252 code page "
                       "cannot hold; they would be saved as \"?\".\r\nSave it all the same?"),
        true);
    const QString textFailure = QStringLiteral("The record could not be saved to ");
    QCOMPARE(
        f.messages(),
        QStringList({asked,
                     failed(textFailure, text,
                            QStringLiteral("write %1: No space left on device").arg(text)),
                     asked,
                     failed(textFailure, noFolder,
                            QStringLiteral("write %1: No such file or directory").arg(noFolder)),
                     asked}));
    f.dialog.choose(text);
    f.sink.answers = {true};
    w.mnuSaveDecrypt_Click();
    QCOMPARE(contents(text), QByteArray("Name: ?\r\n"));

    // Save Encrypt copies the record byte for byte; the copy becomes the
    // current record file, and the next copy is made from it.
    f.sink.clear();
    const QString copy = f.env.path(QStringLiteral("copy.vrd"));
    f.dialog.choose(copy);
    f.action("btSaveEncrypt")->trigger();
    QCOMPARE(f.dialog.shown.last().filter,
             QStringLiteral("Encrypted Files (*.vrd)|*.vrd|All Files (*.*)|*.*"));
    QCOMPARE(f.dialog.shown.last().fileName, record);
    QCOMPARE(contents(copy), contents(record));
    QCOMPARE(w.currentRecordFile(), copy);
    // A copy that fails is reported and changes nothing: the target's
    // folder missing, the source gone.
    const QString lost = f.env.path(QStringLiteral("no folder/copy.vrd"));
    f.dialog.choose(lost);
    w.mnuSaveEncrypt_Click();
    QVERIFY(QFile::remove(copy));
    f.dialog.choose(record);
    w.mnuSaveEncrypt_Click();
    const QString copyFailure = QStringLiteral("The record file could not be saved to ");
    QCOMPARE(f.messages(),
             QStringList({failed(copyFailure, lost,
                                 QStringLiteral("write %1: No such file or directory").arg(lost)),
                          failed(copyFailure, record,
                                 QStringLiteral("read %1: No such file or directory").arg(copy))}));
    QCOMPARE(w.currentRecordFile(), copy);
    QCOMPARE(contents(record), contents(f.env.path(QStringLiteral("orders.2026/r.vrd"))));
    QVERIFY(!QFile::exists(lost));
}

void TestMainWindow::printingRecords()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load());
    const QString record = f.env.path(QStringLiteral("r.vrd"));
    writeRecord(record);
    f.dialog.choose(record);
    w.mnuOpen_Click();
    // Rows typed into the view are printed too: two pages.
    auto *view = f.find<QPlainTextEdit>("txtDecrypt");
    for (int n = 1; n <= 40; ++n)
        view->appendPlainText(QStringLiteral("Typed %1").arg(n));

    // Without a printer: the message, at once.
    f.action("btPrint")->trigger();
    QCOMPARE(f.messages(), said(Icon::None, "Varnell Decryptor",
                                "Please make sure that your default printer is installed "
                                "correctly."));
    QCOMPARE(f.sink.messages.at(0).details, QStringLiteral("No printer is installed."));
    // A printer that refuses the job: the same message.
    std::optional<QPdfWriter> printer;
    const QString refused = f.env.path(QStringLiteral("no folder/printed.pdf"));
    const QString printed = f.env.path(QStringLiteral("printed.pdf"));
    w.setPrinterSource([&](QString &) -> QPagedPaintDevice * {
        printer.emplace(f.messages().size() == 1 ? refused : printed);
        return &*printer;
    });
    w.mnuPrint_Click();
    QCOMPARE(f.messages().size(), 2);
    QCOMPARE(f.sink.messages.at(1).details, QStringLiteral("The printer did not take the pages."));
    // A printer that works gets the view's pages; the footer names the
    // current record file.
    f.action("mnuPrint")->trigger();
    w.setPrinterSource({});
    printer.reset();
    QStringList pages = pdfPages(printed);
    QCOMPARE(pages.size(), 2);
    QVERIFY(pages.at(0).contains(QLatin1String("Card Number:")) &&
            pages.at(0).contains(QLatin1String("File Name: ") + record));
    QVERIFY(pages.at(1).contains(QLatin1String("Typed 40\n")));
    QCOMPARE(f.messages().size(), 2);

    // The preview shows the same pages.
    int previewPages = 0;
    QTimer::singleShot(0, &w, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *preview = qobject_cast<QPrintPreviewDialog *>(modal))
            previewPages = preview->findChild<QPrintPreviewWidget *>()->pageCount();
        if (modal)
            modal->close();
    });
    f.action("mnuPrintPreview")->trigger();
    QCOMPARE(previewPages, 2);

    // Export as PDF: proposed beside the record, ".pdf" added to a name
    // typed without one whatever the dialog's other uses left; the file is
    // the owner's alone. One that cannot be written is reported.
    w.cdgOpen.DefaultExt = QStringLiteral("csv");
    f.dialog.choose(f.env.path(QStringLiteral("exported")));
    f.action("mnuExportPdf")->trigger();
    QCOMPARE(f.dialog.shown.last().fileName, f.env.path(QStringLiteral("r.pdf")));
    QCOMPARE(w.cdgOpen.DefaultExt, QStringLiteral("csv"));
    const QString exported = f.env.path(QStringLiteral("exported.pdf"));
    QCOMPARE(unixMode(exported), 0600);
    pages = pdfPages(exported);
    QCOMPARE(pages.size(), 2);
    QVERIFY(pages.at(1).contains(QLatin1String("Typed 40\n")));
    f.dialog.choose(refused);
    w.mnuExportPdf_Click();
    QCOMPARE(f.messages().last(),
             message(Icon::Exclamation, QStringLiteral("Export Failed"),
                     QStringLiteral("The record could not be exported to %1.\r\nCannot write %1: "
                                    "No such file or directory")
                         .arg(refused)));
}

void TestMainWindow::droppedAndRecentFiles()
{
    Fixture f;
    QVERIFY(f.load(true));
    QVERIFY(f.window->recentFiles().isEmpty());
    // An ampersand, a comma and an accent in the folder's name.
    const QString folder = f.env.path(QStringLiteral("R&D, caf\u00e9/"));
    for (const char *name : {"a.vrd", "b.VRD", "c.vrd"})
        writeRecord(folder + QLatin1String(name), "Name:\tvalue\n");
    writeFile(folder + QStringLiteral("notes.txt"), "text");
    // Dropped, one or more record files open the first, asking nothing;
    // other files are not taken.
    QVERIFY(!dropFiles(f.window.get(), {folder + QStringLiteral("notes.txt")}));
    QVERIFY(dropFiles(f.find<QPlainTextEdit>("txtDecrypt")->viewport(),
                      {folder + QStringLiteral("notes.txt"), folder + QStringLiteral("b.VRD"),
                       folder + QStringLiteral("a.vrd")}));
    QTRY_COMPARE(f.record(), QStringLiteral("Name:               value"));
    QCOMPARE(f.window->currentRecordFile(), folder + QStringLiteral("b.VRD"));
    QCOMPARE(f.recordCommandsOn(), 8);
    QVERIFY(dropFiles(f.find<QWidget>("tabForm"), {folder + QStringLiteral("a.vrd")}));
    QTRY_COMPARE(f.window->currentRecordFile(), folder + QStringLiteral("a.vrd"));
    QVERIFY(f.messages().isEmpty());

    // Open Recent lists them newest first, kept in the user's settings file
    // for the next start, at most six.
    for (int n = 1; n <= 6; ++n) {
        const QString path = f.env.path(QStringLiteral("more/%1.vrd").arg(n));
        writeRecord(path, "Name:\tvalue\n");
        f.window->openRecordFile(path);
    }
    f.window->openRecordFile(folder + QStringLiteral("a.vrd"));
    const QStringList recent = {
        folder + QStringLiteral("a.vrd"),         f.env.path(QStringLiteral("more/6.vrd")),
        f.env.path(QStringLiteral("more/5.vrd")), f.env.path(QStringLiteral("more/4.vrd")),
        f.env.path(QStringLiteral("more/3.vrd")), f.env.path(QStringLiteral("more/2.vrd"))};
    QCOMPARE(f.window->recentFiles(), recent);
    f.window->close();
    f.makeWindow();
    QVERIFY(f.load());
    QCOMPARE(f.window->recentFiles(), recent);
    const QList<QAction *> entries = f.find<QMenu>("mnuOpenRecent")->actions();
    QCOMPARE(entries.size(), 6);
    QCOMPARE(entries.at(0)->text(),
             QStringLiteral("&1 ") +
                 QString(recent.at(0)).replace(QLatin1Char('&'), QLatin1String("&&")));
    // Chosen, an entry opens its file and moves to the front; one whose file
    // is gone is reported and dropped from the list.
    writeRecord(recent.at(2), "Name:\tfifth\n");
    entries.at(2)->trigger();
    QCOMPARE(f.record(), QStringLiteral("Name:               fifth"));
    QCOMPARE(f.window->recentFiles().mid(0, 2), (QStringList{recent.at(2), recent.at(0)}));
    QVERIFY(QFile::remove(recent.at(1)));
    f.find<QMenu>("mnuOpenRecent")->actions().at(2)->trigger();
    QCOMPARE(f.messages(),
             QStringList{message(
                 Icon::Exclamation, QStringLiteral("Warning"),
                 QStringLiteral("The record file %1 no longer exists.").arg(recent.at(1)))});
    QCOMPARE(f.record(), QStringLiteral("Name:               fifth"));
    f.makeWindow();
    QVERIFY(f.load());
    QCOMPARE(f.window->recentFiles(),
             (QStringList{recent.at(2), recent.at(0), recent.at(3), recent.at(4), recent.at(5)}));
}

void TestMainWindow::serverProbe()
{
    Fixture f;
    QVERIFY(f.load(true));
    auto *servers = f.find<QComboBox>("cboServer");
    const QColor normal = f.colour("txtConnTime");
    // Selecting the tab probes after showing it: the server is down now,
    // Down twice, the status in red.
    useProxy(deadProxy());
    f.find<QTabBar>("tabForm")->setCurrentIndex(3);
    QCOMPARE(f.text("txtServerStatus") + f.text("txtConnTime"), QStringLiteral("DownDown"));
    QCOMPARE(f.colour("txtServerStatus"), QColor(255, 0, 0));
    QCOMPARE(f.colour("txtConnTime"), normal);
    // Choosing Server 1, which answers only on the package server's own
    // host name (the sandbox knows it), probes at once: Active in the
    // normal colour again.
    useProxy(m_sandbox->proxyUrl());
    servers->setFocus();
    QTest::keyClick(servers, Qt::Key_Down);
    QCOMPARE(servers->currentText() + f.text("txtServerStatus"), QStringLiteral("Server 1Active"));
    QCOMPARE(f.colour("txtServerStatus"), normal);
    // Refresh probes again; the tab's click handler run again does not.
    useProxy(deadProxy());
    QTest::mouseClick(f.find<QPushButton>("cmdRefreshServer"), Qt::LeftButton);
    QCOMPARE(f.text("txtServerStatus"), QStringLiteral("Down"));
    useProxy(m_sandbox->proxyUrl());
    f.window->tabForm_Click();
    QCOMPARE(f.text("txtServerStatus"), QStringLiteral("Down"));
    QVERIFY(f.messages().isEmpty());
}

void TestMainWindow::statisticsTab()
{
    Fixture f;
    frmMain &w = *f.window;
    QVERIFY(f.load());
    auto *tree = f.find<QTreeView>("tvStats");
    auto *request = f.find<QPushButton>("cmdReqPackage");
    auto *exportButton = f.find<QPushButton>("cmdExportStats");
    // Request Package with a product node selected: nothing is sent. With a
    // transaction, each answer of the package server is reported when it
    // arrives; a second press meanwhile is refused.
    tree->setCurrentIndex(tree->model()->index(0, 0));
    request->click();
    QCOMPARE(f.messages(), QStringList{message(modStatistics::invalidSelection())});
    for (const char *answer :
         {"Request Successful", "No Email", "File does not exist", "No Transaction"}) {
        tree->setCurrentIndex(nodeHolding(
            tree, QLatin1String("Transaction ID: ") +
                      m_sandbox->transactionFor(QLatin1String(answer)) + QLatin1String("  ")));
        f.sink.clear();
        request->click();
        request->click();
        QCOMPARE(f.messages(), QStringList{message(modStatistics::previousRequestInProgress())});
        QTRY_COMPARE(f.messages().size(), 2);
        QCOMPARE(f.messages().last(),
                 message(modStatistics::classifyRequestAnswer(QLatin1String(answer))));
    }
    // A package server that cannot be reached is reported too.
    useProxy(deadProxy());
    f.sink.clear();
    request->click();
    QTRY_COMPARE(f.messages(), QStringList{message(modStatistics::requestFailed(QString()))});
    useProxy(m_sandbox->proxyUrl());

    // Choosing a period: while it runs, the note shows, the period frame is
    // disabled and the old nodes go before the request; afterwards every
    // node is expanded, the frame enabled, the note gone.
    f.sink.clear();
    auto *note = f.find<QLineEdit>("txtProgress");
    auto *period = f.find<QWidget>("fraStatPeriod");
    QStringList seen;
    PendingEvents::setHandler([&] {
        seen.append(QStringLiteral("%1 %2 %3")
                        .arg(note->isVisibleTo(&w))
                        .arg(period->isEnabled())
                        .arg(tree->model()->rowCount() > 0));
    });
    f.periods().at(1)->click();
    PendingEvents::setHandler({});
    QVERIFY(seen.size() >= 3);
    QCOMPARE(seen.mid(0, 2), (QStringList{QStringLiteral("1 0 1"), QStringLiteral("1 0 0")}));
    QCOMPARE(seen.last(), QStringLiteral("1 0 1"));
    QCOMPARE(note->text(), QStringLiteral("Retrieving Transaction History..."));
    const QStringList week = expectedNodes(1, true);
    QCOMPARE(treeNodes(tree), week);
    QVERIFY(period->isEnabled() && !note->isVisibleTo(&w));

    // Export: the box opens with the name and filter entry that the last use
    // left, and the file holds the tree.
    w.cdgOpen.FileName = f.env.path(QStringLiteral("last.vrd"));
    w.cdgOpen.FilterIndex = 2;
    f.dialog.choose(f.env.path(QStringLiteral("stats")));
    exportButton->click();
    QCOMPARE(f.box(0), QStringLiteral("1|2|CSV Files (*.csv)|*.csv|Text Files (*.txt)|*.txt|All "
                                      "Files (*.*)|*.*||2|%1|csv")
                           .arg(f.env.path(QStringLiteral("last.vrd"))));
    QCOMPARE(contents(f.env.path(QStringLiteral("stats.csv"))),
             modStatistics::csvFromNodeTexts(
                 modStatistics::RetrieveStatistics(1).statistics.nodeTexts()));
    // Cancelled: nothing. A file that cannot be written: a message, no file.
    f.dialog.cancel();
    exportButton->click();
    const QString unwritable = f.env.path(QStringLiteral("no such folder/stats.csv"));
    f.dialog.choose(unwritable);
    exportButton->click();
    QCOMPARE(f.messages().size(), 2);
    QCOMPARE(f.messages().mid(0, 1), said(Icon::Information, "Export Successful",
                                          "The data has successfully been exported."));
    QVERIFY(f.messages().last().contains(QLatin1String("|Export Failed|The data could not be "
                                                       "exported to ") +
                                         unwritable));
    QVERIFY(!QFile::exists(unwritable));

    // The filter: a transaction selected stays selected while its ID, typed
    // in either letter case, shows it alone under its product, expanded;
    // Request Package asks for it.
    auto *filter = f.find<QLineEdit>("txtStatsFilter");
    QVERIFY(filter->isClearButtonEnabled() && !filter->placeholderText().isEmpty());
    const QString successful = m_sandbox->transactionFor(QStringLiteral("Request Successful"));
    tree->collapse(tree->model()->index(1, 0));
    tree->setCurrentIndex(nodeHolding(tree, successful));
    const QString chosen = selectedText(tree);
    QVERIFY(chosen.contains(successful));
    f.sink.clear();
    QTest::keyClicks(filter, successful.toLower());
    const QStringList alone = treeNodes(tree);
    QCOMPARE(alone.size(), 2);
    QVERIFY(alone.first().endsWith(QLatin1Char('+')) && week.contains(alone.first()));
    QVERIFY(alone.last().endsWith(chosen));
    QCOMPARE(selectedText(tree), chosen);
    request->click();
    QTRY_COMPARE(f.messages(), QStringList{message(modStatistics::classifyRequestAnswer(
                                   QStringLiteral("Request Successful")))});
    // A word more hides it: nothing is selected, sent or exported.
    QTest::keyClicks(filter, QStringLiteral(" nobody"));
    QCOMPARE(tree->model()->rowCount(), 0);
    f.sink.clear();
    request->click();
    exportButton->click();
    QCOMPARE(f.messages(), QStringList{message(modStatistics::invalidSelection())} +
                               said(Icon::Information, "No Data", "There is no data to export."));
    // Cleared, the tree is whole again, expanded as it was, the transaction
    // selected again.
    filter->clear();
    QStringList partlyExpanded = week;
    int products = 0;
    for (QString &node : partlyExpanded) {
        if (node.endsWith(QLatin1Char('+')) && ++products == 2)
            node.chop(1); // the second product, collapsed before the filter
    }
    QCOMPARE(treeNodes(tree), partlyExpanded);
    QCOMPARE(selectedText(tree), chosen);

    // The export takes what the filter shows: one end user's transactions.
    filter->setText(QStringLiteral("acme"));
    f.dialog.choose(f.env.path(QStringLiteral("acme.csv")));
    exportButton->click();
    const QList<QByteArray> lines = contents(f.env.path(QStringLiteral("acme.csv"))).split('\n');
    qsizetype acme = 0;
    for (const QString &node : week)
        acme += node.endsWith(QLatin1String("End UserName: ACME LTD"));
    QVERIFY(acme > 0);
    QCOMPARE(lines.size(), acme + 2); // the header, and an empty piece after the last CR LF
    for (qsizetype i = 1; i <= acme; ++i)
        QVERIFY(lines.at(i).endsWith("End UserName: ACME LTD\"\r"));
    filter->clear();

    // The server cannot be reached: one message and an empty tree, with
    // nothing to export (no box) and nothing to request.
    f.sink.clear();
    useProxy(deadProxy());
    f.periods().at(0)->click();
    exportButton->click();
    request->click();
    QCOMPARE(f.messages(),
             said(Icon::Exclamation, "Server Unavailable",
                  "Unable to retrieve statistics.\r\nThe statistics server may be "
                  "unavailable.\r\n\r\nPlease contact Ostrand if this problem persists") +
                 said(Icon::Information, "No Data", "There is no data to export.") +
                 QStringList{message(modStatistics::invalidSelection())});
    QCOMPARE(tree->model()->rowCount() + f.dialog.shown.size(), 4);
    QVERIFY(period->isEnabled() && !note->isVisibleTo(&w));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
