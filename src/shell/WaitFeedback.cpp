#include "shell/WaitFeedback.h"

#include "common/Messages.h"
#include "common/TerminationSignals.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr int splashDelayMs = 500;

// Input that the user gives on purpose; it waits while the program does.
bool isHeldInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

// Input that makes no sense later (the pointer passing over) or that other
// input produces again (shortcut checks, context menus) is dropped.
bool isDroppedInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseMove:
    case QEvent::HoverMove:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
        return true;
    default:
        return false;
    }
}

// Closing the start-up window is a request to end the program.
class Splash final : public QWidget
{
public:
    Splash() : QWidget(nullptr, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint) {}

protected:
    void closeEvent(QCloseEvent *event) override
    {
        event->accept();
        TerminationSignals::request();
    }
    // Enter presses the one button, as in a dialog.
    void keyPressEvent(QKeyEvent *event) override
    {
        auto *skip = findChild<QPushButton *>(QStringLiteral("cmdSkip"));
        if (skip && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter))
            skip->click();
        else
            QWidget::keyPressEvent(event);
    }
};

} // namespace

WaitFeedback::WaitFeedback(QWidget *mainWindow) : m_mainWindow(mainWindow)
{
    m_delay.setSingleShot(true);
    m_delay.setInterval(splashDelayMs);
    QObject::connect(&m_delay, &QTimer::timeout, &m_delay, [this] { showSplash(); });
}

WaitFeedback::~WaitFeedback()
{
    if (m_depth > 0)
        qApp->removeEventFilter(this);
    while (m_depth > 0) {
        --m_depth;
        QApplication::restoreOverrideCursor();
    }
}

void WaitFeedback::waitStarted(const QString &what)
{
    if (++m_depth == 1)
        qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_waitingFor = what;
    if (m_mainWindow && !m_mainWindow->isVisible()) {
        if (m_splash && m_splash->isVisible())
            showSplash();
        else
            m_delay.start();
    }
}

void WaitFeedback::waitEnded()
{
    if (m_depth == 0)
        return;
    --m_depth;
    QApplication::restoreOverrideCursor();
    if (m_depth == 0) {
        qApp->removeEventFilter(this);
        m_delay.stop();
        if (m_splash)
            m_splash->hide();
        handOnHeldInput();
    }
}

bool WaitFeedback::takesInput() const
{
    // Every event is taken during the wait; the filter holds back what must
    // wait.
    return true;
}

bool WaitFeedback::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool held = isHeldInput(type);
    if (!held && !isDroppedInput(type))
        return false;
    // The start-up window takes its input at once.
    if (m_splash) {
        const QObject *owner = watched;
        if (watched->isWindowType())
            owner = static_cast<QObject *>(m_splash->windowHandle()) == watched ? m_splash.get()
                                                                                : nullptr;
        for (const QObject *o = owner; o; o = o->parent()) {
            if (o == m_splash.get())
                return false;
        }
    }
    if (type == QEvent::ShortcutOverride) {
        // Accepted here, so that no shortcut runs its command during the wait.
        event->accept();
        return true;
    }
    // Input reaches a window first, which hands it to its widgets: the
    // window's copy is the one kept.
    if (held && watched->isWindowType())
        m_held.push_back({QPointer<QObject>(watched), std::unique_ptr<QEvent>(event->clone())});
    return true;
}

void WaitFeedback::handOnHeldInput()
{
    std::vector<Held> held = std::move(m_held);
    m_held.clear();
    for (Held &h : held) {
        if (h.target)
            QCoreApplication::postEvent(h.target, h.event.release());
    }
}

QWidget *WaitFeedback::splash() const
{
    return m_splash && m_splash->isVisible() ? m_splash.get() : nullptr;
}

void WaitFeedback::showSplash()
{
    if (m_depth == 0 || (m_mainWindow && m_mainWindow->isVisible()))
        return;
    if (!m_splash) {
        m_splash = std::make_unique<Splash>();
        m_splash->setObjectName(QStringLiteral("frmWait"));
        m_splash->setWindowTitle(Messages::appTitle());
        if (m_mainWindow)
            m_splash->setWindowIcon(m_mainWindow->windowIcon());
        auto *name = new QLabel(Messages::appTitle(), m_splash.get());
        QFont bold = name->font();
        bold.setBold(true);
        bold.setPointSizeF(bold.pointSizeF() * 1.3);
        name->setFont(bold);
        m_what = new QLabel(m_splash.get());
        m_what->setObjectName(QStringLiteral("lblWaitingFor"));
        auto *skip = new QPushButton(QStringLiteral("&Skip"), m_splash.get());
        skip->setObjectName(QStringLiteral("cmdSkip"));
        skip->setToolTip(QStringLiteral("Stop waiting; the program goes on as if the server "
                                        "had not answered"));
        QObject::connect(skip, &QPushButton::clicked, m_splash.get(),
                         [] { Http::abandonAll(QStringLiteral("the wait was skipped")); });
        auto *buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(skip);
        auto *layout = new QVBoxLayout(m_splash.get());
        layout->setContentsMargins(18, 14, 18, 14);
        layout->addWidget(name);
        layout->addWidget(m_what);
        layout->addLayout(buttons);
        // The wait cursor belongs to the wait, not to the one window that can
        // end it.
        m_splash->setCursor(Qt::ArrowCursor);
    }
    m_what->setText(
        QStringLiteral("Starting up: waiting for an answer from %1 ...").arg(m_waitingFor));
    m_splash->adjustSize();
    m_splash->setMinimumWidth(m_splash->sizeHint().width());
    m_splash->show();
    m_splash->raise();
}
