// What the program shows while it waits on a server that does not answer:
// the wait cursor, the start-up window with its Skip, input held until the
// wait ends, and a window closed during a wait ending it at once.
#include "gateway/HttpClient.h"
#include "shell/WaitFeedback.h"
#include "shell/frmMain.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace {

Http::Request hangingRequest(const FakeHttpServer &server)
{
    Http::Request request;
    request.url = QUrl(server.origin() + QStringLiteral("/ConnTest.txt"));
    request.deadline = std::chrono::seconds(60);
    return request;
}

Qt::CursorShape cursorNow()
{
    const QCursor *cursor = QApplication::overrideCursor();
    return cursor ? cursor->shape() : Qt::BlankCursor;
}

} // namespace

class TestWaiting : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startUpWindowAndSkip();
    void inputHeldUntilTheWaitEnds();
    void closingTheWindowEndsTheWait();

private:
    std::unique_ptr<FakeHttpServer> m_server;
};

void TestWaiting::init()
{
    // Straight to the fake server, whatever the test's proxy says.
    qunsetenv("http_proxy");
    m_server = std::make_unique<FakeHttpServer>();
    m_server->fallback = FakeHttpServer::behave(FakeHttpServer::Behaviour::Hang);
}

void TestWaiting::cleanup()
{
    Http::setWaitObserver(nullptr);
    m_server.reset();
}

void TestWaiting::startUpWindowAndSkip()
{
    // The main window is not shown yet: after half a second a window says
    // what start-up waits for; Skip ends the wait as a failed request.
    QWidget mainWindow;
    WaitFeedback feedback(&mainWindow);
    Http::setWaitObserver(&feedback);
    QString shown;
    Qt::CursorShape cursor = Qt::BlankCursor;
    QTimer::singleShot(1500, &mainWindow, [&] {
        cursor = cursorNow();
        if (QWidget *splash = feedback.splash()) {
            shown = splash->findChild<QLabel *>(QStringLiteral("lblWaitingFor"))->text();
            QTest::keyClick(splash, Qt::Key_Return); // Enter presses Skip
        }
    });
    const Http::Answer answer = Http::fetch(hangingRequest(*m_server));
    QCOMPARE(cursor, Qt::WaitCursor);
    QVERIFY2(shown.contains(QLatin1String("waiting for an answer from 127.0.0.1")),
             qPrintable(shown));
    QVERIFY(answer.abandoned && !answer.complete);
    QCOMPARE(answer.error, QStringLiteral("the wait was skipped"));
    // Afterwards: no window, no wait cursor.
    QVERIFY(!feedback.splash());
    QCOMPARE(QApplication::overrideCursor(), nullptr);

    // A request that answers within half a second shows no window.
    m_server->fallback = FakeHttpServer::answer("ok");
    QVERIFY(Http::fetch(hangingRequest(*m_server)).isSuccess());
    QTest::qWait(700);
    QVERIFY(!feedback.splash());
}

void TestWaiting::inputHeldUntilTheWaitEnds()
{
    // The window is up: no start-up window, the wait cursor, and a click
    // during the wait runs only once the wait is over.
    QPushButton button(QStringLiteral("Press"));
    button.resize(200, 80);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    WaitFeedback feedback(&button);
    Http::setWaitObserver(&feedback);
    int clicks = 0;
    connect(&button, &QPushButton::clicked, this, [&] { ++clicks; });
    int clicksDuringWait = -1;
    bool splashSeen = true;
    QTimer::singleShot(900, &button, [&] {
        const QPointF at(100, 40);
        QMouseEvent press(QEvent::MouseButtonPress, at, at, button.mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, at, button.mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(button.windowHandle(), &press);
        QCoreApplication::sendEvent(button.windowHandle(), &release);
        QCoreApplication::processEvents();
        clicksDuringWait = clicks;
        splashSeen = feedback.splash() != nullptr;
        Http::abandonAll(QStringLiteral("done"));
    });
    const Http::Answer answer = Http::fetch(hangingRequest(*m_server));
    QVERIFY(answer.abandoned);
    QCOMPARE(clicksDuringWait, 0);
    QVERIFY(!splashSeen);
    QTRY_COMPARE(clicks, 1);
}

void TestWaiting::closingTheWindowEndsTheWait()
{
    // The main window closed while it waits gives the request up at once.
    TestEnvironment env;
    frmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    WaitFeedback feedback(&window);
    Http::setWaitObserver(&feedback);
    QTimer::singleShot(500, &window, [&] {
        QCloseEvent close;
        QCoreApplication::sendEvent(window.windowHandle(), &close);
    });
    const Http::Answer answer = Http::fetch(hangingRequest(*m_server));
    QVERIFY(answer.abandoned);
    QCOMPARE(answer.error, QStringLiteral("the window was closed"));
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TestWaiting)
#include "tst_waiting.moc"
