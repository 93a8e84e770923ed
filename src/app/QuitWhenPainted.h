#pragma once

// For start-up measurements: ends the event loop once the window has been
// painted for the first time. The loop is left with exit(), which keeps the
// window open; quit() would close it first, so that the program would save
// its placement and a plain window would never paint at all.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

class QuitWhenPainted : public QObject
{
public:
    explicit QuitWhenPainted(QWidget *window) : QObject(window), m_window(window)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_painted && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window() == m_window) {
            m_painted = true;
            // Runs once every widget of this paint has painted and the
            // window's image has been handed on.
            QTimer::singleShot(0, this, [] { QCoreApplication::exit(0); });
        }
        return false;
    }

private:
    QWidget *m_window;
    bool m_painted = false;
};
