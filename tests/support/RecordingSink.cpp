#include "support/RecordingSink.h"

RecordingSink::RecordingSink()
{
    Messages::setSink(this);
}

RecordingSink::~RecordingSink()
{
    Messages::setSink(nullptr);
}

void RecordingSink::inform(Messages::Icon icon, const QString &title, const QString &text,
                           const QString &details)
{
    messages.append({icon, title, text, false, details});
}

bool RecordingSink::ask(const QString &title, const QString &text)
{
    messages.append({Messages::Icon::None, title, text, true, QString()});
    return answers.isEmpty() ? false : answers.takeFirst();
}

QStringList RecordingSink::texts() const
{
    QStringList all;
    for (const Message &m : messages)
        all.append(m.text);
    return all;
}

QStringList RecordingSink::lines() const
{
    QStringList all;
    for (const Message &m : messages)
        all.append(line(m.icon, m.title, m.text, m.question));
    return all;
}

QString RecordingSink::line(Messages::Icon icon, const QString &title, const QString &text,
                            bool question)
{
    return QString::number(int(icon)) + QLatin1Char('|') + title + QLatin1Char('|') + text +
           (question ? QStringLiteral("?") : QString());
}
