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
