#pragma once

#include "common/Messages.h"

#include <QMessageBox>
#include <QString>

// The desktop program's messages: a modal message box with the icon, title
// and text asked for, over the active window; details go into the box's
// detailed text. When VARNELL_MESSAGE_LOG names a file, every message is
// appended to it instead (questions are answered No), for scripted and
// unattended runs.
class MessageBoxSink final : public Messages::Sink
{
public:
    MessageBoxSink();

    void inform(Messages::Icon icon, const QString &title, const QString &text,
                const QString &details) override;
    bool ask(const QString &title, const QString &text) override;

    static QMessageBox::Icon boxIcon(Messages::Icon icon);
    // One log entry: icon name, title and text (CR LF kept as "\r\n"), and
    // the details after another "|" when there are any.
    static QString logLine(Messages::Icon icon, const QString &title, const QString &text,
                           const QString &details = QString());

private:
    void appendToLog(const QString &line) const;

    QString m_logPath;
};
