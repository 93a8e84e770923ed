#pragma once

#include "gateway/HttpClient.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class QLabel;

// Shows that the program waits on a server: the wait cursor during every
// blocking request, and while start-up waits before the main window shows,
// a small window (after half a second) that says what for. Its Skip button
// ends the wait as a failed request would; closing it ends the program.
//
// During a wait the user's clicks and keys wait too: they are held back and
// handed on when the wait ends, in their order, as if they had been queued
// meanwhile. Only the start-up window takes input at once, and a window's
// close request goes through, so that closing the main window ends the wait
// at once instead of when the server answers.
class WaitFeedback final : public QObject, public Http::WaitObserver
{
public:
    // mainWindow: the window whose showing ends the start-up waits.
    explicit WaitFeedback(QWidget *mainWindow);
    ~WaitFeedback() override;

    void waitStarted(const QString &what) override;
    void waitEnded() override;
    bool takesInput() const override;

    // The start-up window, or nullptr while none is shown.
    QWidget *splash() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showSplash();
    void handOnHeldInput();

    struct Held
    {
        QPointer<QObject> target;
        std::unique_ptr<QEvent> event;
    };
    std::vector<Held> m_held;

    QPointer<QWidget> m_mainWindow;
    std::unique_ptr<QWidget> m_splash;
    QLabel *m_what = nullptr;
    QString m_waitingFor;
    QTimer m_delay;
    int m_depth = 0;
};
