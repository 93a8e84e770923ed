#include "shell/MessageBoxSink.h"

#include "common/TerminationSignals.h"

#include <QApplication>
#include <QFile>

MessageBoxSink::MessageBoxSink() : m_logPath(qEnvironmentVariable("VARNELL_MESSAGE_LOG")) {}

QMessageBox::Icon MessageBoxSink::boxIcon(Messages::Icon icon)
{
    switch (icon) {
    case Messages::Icon::Information:
        return QMessageBox::Information;
    case Messages::Icon::Exclamation:
        return QMessageBox::Warning;
    case Messages::Icon::Critical:
        return QMessageBox::Critical;
    case Messages::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QString MessageBoxSink::logLine(Messages::Icon icon, const QString &title, const QString &text,
                                const QString &details)
{
    static const char *const names[] = {"None", "Information", "Exclamation", "Critical"};
    QString line = QLatin1String(names[int(icon)]) + QLatin1Char('|') + title + QLatin1Char('|') +
                   text + (details.isEmpty() ? QString() : QLatin1Char('|') + details);
    line.replace(QLatin1String("\r\n"), QLatin1String("\\r\\n"));
    return line;
}

void MessageBoxSink::appendToLog(const QString &line) const
{
    QFile log(m_logPath);
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write(line.toUtf8() + '\n');
}

void MessageBoxSink::inform(Messages::Icon icon, const QString &title, const QString &text,
                            const QString &details)
{
    // A program asked to end says nothing more on its way out.
    if (TerminationSignals::requested())
        return;
    if (!m_logPath.isEmpty()) {
        appendToLog(logLine(icon, title, text, details));
        return;
    }
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, QApplication::activeWindow());
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.exec();
}

bool MessageBoxSink::ask(const QString &title, const QString &text)
{
    if (TerminationSignals::requested())
        return false;
    if (!m_logPath.isEmpty()) {
        QString line = logLine(Messages::Icon::None, title, text);
        line.replace(0, 4, QStringLiteral("Question"));
        appendToLog(line);
        return false;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    return box.exec() == QMessageBox::Yes;
}
