#include "shell/DesktopLinks.h"
#include "shell/HelpLinks.h"
#include "shell/MessageBoxSink.h"
#include "shell/StoreFile.h"
#include "shell/frmAbout.h"
#include "shell/frmEncryptionKey.h"
#include "shell/frmLogin.h"
#include "shell/modPublic.h"
#include "support/RecordingSink.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QUrl>

// Takes the URLs handed to the desktop instead of opening them.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

namespace {

template<typename T> T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

QStringList stored()
{
    QString d, e, p;
    if (!modPublic::ReadSettings(d, e, p))
        return {QStringLiteral("<unreadable>")};
    return {d, e, p};
}

// The widgets that Tab visits, starting from the first.
QStringList tabChain(QWidget *first, int steps)
{
    QStringList names;
    QWidget *w = first;
    for (int i = 0; i < steps; ++i) {
        names.append(w->objectName());
        w = w->nextInFocusChain();
        while (w && !(w->focusPolicy() & Qt::TabFocus))
            w = w->nextInFocusChain();
        if (!w)
            break;
    }
    return names;
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { modPublic::LoginAccepted = false; }

    void loginLooksAsDesigned();
    void loginPasswords_data();
    void loginPasswords();
    void loginCancelEscAndCloseBox();
    void settingsDialogLooksAsDesigned();
    void settingsDialogApplyOkCancel();
    void settingsDialogWithoutStore();
    void aboutBox();
    void helpLinks();
    void messageBoxSink();
};

void TestDialogs::loginLooksAsDesigned()
{
    frmLogin login;
    QCOMPARE(login.windowTitle(), QStringLiteral("Varnell Decryption Utility"));
    QCOMPARE(child<QLabel>(&login, "lblHeader")->text(),
             QStringLiteral("Please enter your password to log in to the decryption utility."));
    auto *okay = child<QPushButton>(&login, "cmdOkay");
    auto *cancel = child<QPushButton>(&login, "cmdCancel");
    QCOMPARE(okay->text(), QStringLiteral("&Okay"));
    QCOMPARE(cancel->text(), QStringLiteral("&Cancel"));
    QVERIFY(okay->isDefault());
    QVERIFY(!cancel->isDefault());
    auto *field = child<QLineEdit>(&login, "txtPWD");
    QCOMPARE(field->echoMode(), QLineEdit::Password);
    QCOMPARE(field->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, field),
             int('*'));
    QCOMPARE(tabChain(field, 3), (QStringList{QStringLiteral("txtPWD"), QStringLiteral("cmdOkay"),
                                              QStringLiteral("cmdCancel")}));
}

void TestDialogs::loginPasswords_data()
{
    QTest::addColumn<QString>("storedPassword");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("same") << "Secret"
                          << "Secret" << true;
    QTest::newRow("letter case") << "Secret"
                                 << "secret" << false;
    QTest::newRow("trailing blank typed") << "Secret"
                                          << "Secret " << false;
    QTest::newRow("trailing blank stored and typed") << "Secret "
                                                     << "Secret " << true;
    QTest::newRow("trailing blank stored only") << "Secret "
                                                << "Secret" << false;
    QTest::newRow("nothing typed") << "Secret"
                                   << "" << false;
    QTest::newRow("inner blank and signs") << "Pa ss!#1"
                                           << "Pa ss!#1" << true;
}

void TestDialogs::loginPasswords()
{
    QFETCH(QString, storedPassword);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);

    RecordingSink sink;
    frmLogin login;
    login.StoredPassword = storedPassword;
    login.show();
    QVERIFY(QTest::qWaitForWindowActive(&login));
    QSignalSpy done(&login, &QDialog::finished);
    auto *field = child<QLineEdit>(&login, "txtPWD");
    QTRY_VERIFY(field->hasFocus());
    QTest::keyClicks(field, typed);
    QCOMPARE(field->text(), typed);
    // Enter presses Okay.
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(modPublic::LoginAccepted, accepted);
    if (accepted) {
        QCOMPARE(done.size(), 1);
        QCOMPARE(login.result(), int(QDialog::Accepted));
        QVERIFY(sink.messages.isEmpty());
        return;
    }
    QCOMPARE(done.size(), 0);
    QVERIFY(login.isVisible());
    QCOMPARE(sink.messages.size(), 1);
    QCOMPARE(sink.messages.first().icon, Messages::Icon::Information);
    QCOMPARE(sink.messages.first().title, QStringLiteral("Invalid Password"));
    QCOMPARE(sink.messages.first().text,
             QStringLiteral("The password entered is an invalid password."));
    QCOMPARE(field->text(), QString());
    QVERIFY(field->hasFocus());

    // Any number of tries: the right one still gets in.
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(child<QPushButton>(&login, "cmdOkay"), Qt::LeftButton);
    QCOMPARE(sink.messages.size(), 4);
    QTest::keyClicks(field, storedPassword);
    QTest::mouseClick(child<QPushButton>(&login, "cmdOkay"), Qt::LeftButton);
    QVERIFY(modPublic::LoginAccepted);
    QCOMPARE(done.size(), 1);
}

void TestDialogs::loginCancelEscAndCloseBox()
{
    RecordingSink sink;
    {
        frmLogin login;
        login.StoredPassword = QStringLiteral("x");
        login.show();
        modPublic::LoginAccepted = true;
        QTest::mouseClick(child<QPushButton>(&login, "cmdCancel"), Qt::LeftButton);
        QVERIFY(!modPublic::LoginAccepted);
        QVERIFY(!login.isVisible());
    }
    {
        frmLogin login;
        login.StoredPassword = QStringLiteral("x");
        login.show();
        QVERIFY(QTest::qWaitForWindowActive(&login));
        modPublic::LoginAccepted = true;
        QTest::keyClicks(child<QLineEdit>(&login, "txtPWD"), QStringLiteral("x"));
        QTest::keyClick(&login, Qt::Key_Escape);
        QVERIFY(!modPublic::LoginAccepted);
        QVERIFY(!login.isVisible());
    }
    {
        frmLogin login;
        login.show();
        modPublic::LoginAccepted = true;
        login.close();
        QVERIFY(!modPublic::LoginAccepted);
    }
    {
        // Shown modally, as start-up shows it: Okay with the right password.
        frmLogin login;
        login.StoredPassword = QStringLiteral("right");
        QTimer::singleShot(0, &login, [&login] {
            QTest::keyClicks(child<QLineEdit>(&login, "txtPWD"), QStringLiteral("right"));
            child<QPushButton>(&login, "cmdOkay")->click();
        });
        QTimer::singleShot(5000, &login, [&login] { login.reject(); });
        QCOMPARE(login.exec(), int(QDialog::Accepted));
        QVERIFY(modPublic::LoginAccepted);
    }
    QVERIFY(sink.messages.isEmpty());
}

void TestDialogs::settingsDialogLooksAsDesigned()
{
    TestEnvironment env;
    env.createStore(QStringLiteral("dev"), QStringLiteral("enc"), QStringLiteral("pwd"));
    frmEncryptionKey dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Varnell Decryptor Light - Settings"));
    QVERIFY(dialog.isWindow());
    QCOMPARE(dialog.parent(), nullptr);
    QVERIFY(dialog.testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(child<QLabel>(&dialog, "lblDeveloperKey")->text(), QStringLiteral("Developer Key:"));
    QCOMPARE(child<QLabel>(&dialog, "lblEncryptionKey")->text(), QStringLiteral("Encryption Key:"));
    QCOMPARE(child<QLabel>(&dialog, "lblPassword")->text(), QStringLiteral("Password:"));
    const QStringList captions = {QStringLiteral("&OK"), QStringLiteral("&Apply"),
                                  QStringLiteral("Cancel")};
    const char *const buttons[] = {"cmdOK", "cmdApply", "cmdCancel"};
    for (int i = 0; i < 3; ++i) {
        auto *b = child<QPushButton>(&dialog, buttons[i]);
        QCOMPARE(b->text(), captions.at(i));
        QVERIFY(!b->isDefault());
        QVERIFY(!b->autoDefault());
    }
    for (const char *field : {"txtDeveloperKey", "txtEncryptionKey", "txtPassword"})
        QCOMPARE(child<QLineEdit>(&dialog, field)->echoMode(), QLineEdit::Normal);
    QCOMPARE(tabChain(child<QWidget>(&dialog, "txtDeveloperKey"), 6),
             (QStringList{QStringLiteral("txtDeveloperKey"), QStringLiteral("txtEncryptionKey"),
                          QStringLiteral("txtPassword"), QStringLiteral("cmdOK"),
                          QStringLiteral("cmdApply"), QStringLiteral("cmdCancel")}));

    // Esc is no Cancel here.
    dialog.setAttribute(Qt::WA_DeleteOnClose, false);
    dialog.Form_Load();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    QTest::keyClick(child<QLineEdit>(&dialog, "txtPassword"), Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QCOMPARE(stored(),
             (QStringList{QStringLiteral("dev"), QStringLiteral("enc"), QStringLiteral("pwd")}));
}

void TestDialogs::settingsDialogApplyOkCancel()
{
    TestEnvironment env;
    RecordingSink sink;
    env.createStore(QStringLiteral(" dev "), QStringLiteral("enc"), QStringLiteral("pwd"));

    QPointer<frmEncryptionKey> dialog = new frmEncryptionKey;
    dialog->Form_Load();
    dialog->show();
    auto *developer = child<QLineEdit>(dialog, "txtDeveloperKey");
    auto *encryption = child<QLineEdit>(dialog, "txtEncryptionKey");
    auto *password = child<QLineEdit>(dialog, "txtPassword");
    QCOMPARE(developer->text(), QStringLiteral(" dev "));
    QCOMPARE(encryption->text(), QStringLiteral("enc"));
    QCOMPARE(password->text(), QStringLiteral("pwd"));

    // Apply writes and stays open; Cancel then keeps what Apply wrote.
    encryption->setText(QStringLiteral("applied"));
    QTest::mouseClick(child<QPushButton>(dialog, "cmdApply"), Qt::LeftButton);
    QVERIFY(dialog->isVisible());
    QCOMPARE(stored(), (QStringList{QStringLiteral(" dev "), QStringLiteral("applied"),
                                    QStringLiteral("pwd")}));
    encryption->setText(QStringLiteral("dropped"));
    QTest::mouseClick(child<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
    QTRY_VERIFY(!dialog);
    QCOMPARE(stored(), (QStringList{QStringLiteral(" dev "), QStringLiteral("applied"),
                                    QStringLiteral("pwd")}));

    // OK writes (an empty password too) and closes.
    dialog = new frmEncryptionKey;
    dialog->Form_Load();
    dialog->show();
    child<QLineEdit>(dialog, "txtPassword")->clear();
    child<QLineEdit>(dialog, "txtDeveloperKey")->setText(QStringLiteral("new dev"));
    QTest::mouseClick(child<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
    QTRY_VERIFY(!dialog);
    QCOMPARE(stored(),
             (QStringList{QStringLiteral("new dev"), QStringLiteral("applied"), QString()}));

    // A store that cannot be written: OK closes all the same, silently.
    dialog = new frmEncryptionKey;
    dialog->Form_Load();
    dialog->show();
    {
        StoreFile::ExclusiveLock lock(env.storePath());
        child<QLineEdit>(dialog, "txtDeveloperKey")->setText(QStringLiteral("not written"));
        QTest::mouseClick(child<QPushButton>(dialog, "cmdApply"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
    }
    QTRY_VERIFY(!dialog);
    QCOMPARE(stored().first(), QStringLiteral("new dev"));
    QVERIFY(sink.messages.isEmpty());
}

void TestDialogs::settingsDialogWithoutStore()
{
    TestEnvironment env;
    RecordingSink sink;
    frmEncryptionKey dialog;
    dialog.setAttribute(Qt::WA_DeleteOnClose, false);
    dialog.Form_Load();
    QCOMPARE(sink.messages.size(), 1);
    QCOMPARE(sink.messages.first().icon, Messages::Icon::Exclamation);
    QCOMPARE(sink.messages.first().title, QStringLiteral("Varnell Decryptor"));
    QCOMPARE(sink.messages.first().text, QStringLiteral("You may need to reinstall this program."));
    for (const char *field : {"txtDeveloperKey", "txtEncryptionKey", "txtPassword"})
        QCOMPARE(child<QLineEdit>(&dialog, field)->text(), QString());
    // Apply says nothing either.
    QTest::mouseClick(child<QPushButton>(&dialog, "cmdApply"), Qt::LeftButton);
    QCOMPARE(sink.messages.size(), 1);
    QVERIFY(!QFile::exists(env.storePath()));
}

void TestDialogs::aboutBox()
{
    QWidget owner;
    frmAbout about(&owner);
    QCOMPARE(about.windowTitle(), QStringLiteral("Ostrand - Varnell Decryptor Light"));
    QVERIFY(about.isModal());
    QCOMPARE(child<QLabel>(&about, "Label1")->text(),
             QStringLiteral("Varnell Decryptor, version 2.0.0"));
    QCOMPARE(child<QLabel>(&about, "Label2")->text(), HelpLinks::noticeLine());
    QVERIFY(HelpLinks::noticeLine().contains(QLatin1String("Ostrand")));
    QCOMPARE(child<QLabel>(&about, "Label3")->text(), QStringLiteral("www.ostrand.com"));
    QCOMPARE(child<QLabel>(&about, "Label3")->textFormat(), Qt::PlainText);
    const QPixmap logo = child<QLabel>(&about, "Picture1")->pixmap();
    QVERIFY(!logo.isNull());
    const QImage image = logo.toImage();
    QVERIFY(image.pixelColor(image.width() / 2, image.height() / 2).alpha() > 0);
    QCOMPARE(child<QPushButton>(&about, "cmdOK")->text(), QStringLiteral("OK"));
    about.show();
    QTest::mouseClick(child<QPushButton>(&about, "cmdOK"), Qt::LeftButton);
    QVERIFY(!about.isVisible());

    QCOMPARE(HelpLinks::versionLine(2, 0, 0), QStringLiteral("Varnell Decryptor, version 2.0.0"));
    QCOMPARE(HelpLinks::versionLine(1, 12, 105),
             QStringLiteral("Varnell Decryptor, version 1.12.105"));
}

void TestDialogs::helpLinks()
{
    UrlCatcher catcher;
    for (const char *scheme : {"http", "https", "mailto"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &catcher, "open");
    modPublic::OpenProductWebPage();
    modPublic::OpenSupportMail();
    for (const char *scheme : {"http", "https", "mailto"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));

    QCOMPARE(catcher.urls.size(), 2);
    QCOMPARE(catcher.urls.at(0).toString(), HelpLinks::productWebPage());
    const QString mail = catcher.urls.at(1).toString();
    QVERIFY2(mail.startsWith(QLatin1String("mailto:")), qPrintable(mail));
    QVERIFY2(mail.endsWith(QLatin1String("?subject=Varnell Support")), qPrintable(mail));
    QCOMPARE(HelpLinks::supportMail(QStringLiteral("help@example.org")),
             QStringLiteral("mailto:help@example.org?subject=Varnell Support"));
}

void TestDialogs::messageBoxSink()
{
    QCOMPARE(MessageBoxSink::boxIcon(Messages::Icon::None), QMessageBox::NoIcon);
    QCOMPARE(MessageBoxSink::boxIcon(Messages::Icon::Information), QMessageBox::Information);
    QCOMPARE(MessageBoxSink::boxIcon(Messages::Icon::Exclamation), QMessageBox::Warning);
    QCOMPARE(MessageBoxSink::boxIcon(Messages::Icon::Critical), QMessageBox::Critical);

    // With a message log, messages go to the file and questions get No.
    TestEnvironment env;
    const QString log = env.path(QStringLiteral("messages.log"));
    qputenv("VARNELL_MESSAGE_LOG", QFile::encodeName(log));
    MessageBoxSink sink;
    qunsetenv("VARNELL_MESSAGE_LOG");
    sink.inform(Messages::Icon::Critical, QStringLiteral("T"), QStringLiteral("a\r\nb"));
    QVERIFY(!sink.ask(QStringLiteral("Q"), QStringLiteral("sure?")));
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("Critical|T|a\\r\\nb\nQuestion|Q|sure?\n"));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
