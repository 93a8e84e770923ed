#pragma once

#include "common/Messages.h"

#include <QList>
#include <QString>

// Keeps every message instead of showing it, and answers questions from a
// script (No when the script has run out). Installed for its lifetime.
class RecordingSink final : public Messages::Sink
{
public:
    struct Message
    {
        Messages::Icon icon;
        QString title;
        QString text;
        bool question = false;
        QString details;
    };

    RecordingSink();
    ~RecordingSink() override;

    void inform(Messages::Icon icon, const QString &title, const QString &text,
                const QString &details) override;
    bool ask(const QString &title, const QString &text) override;

    QList<Message> messages;
    QList<bool> answers;

    QStringList texts() const;
    // Each message as line() gives it.
    QStringList lines() const;
    // "icon|title|text", the icon as its number, "?" after a question.
    static QString line(Messages::Icon icon, const QString &title, const QString &text,
                        bool question = false);
    void clear() { messages.clear(); }
};
