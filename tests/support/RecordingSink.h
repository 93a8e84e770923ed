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
    void clear() { messages.clear(); }
};
