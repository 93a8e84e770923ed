#pragma once

#include <QString>
#include <QStringList>

// Every message the program shows goes through one sink: the desktop program
// shows message boxes, the command line prints, tests record.
namespace Messages {

enum class Icon
{
    None,
    Information,
    Exclamation,
    Critical
};

class Sink
{
public:
    virtual ~Sink() = default;
    // A box with an OK button only. details, when not empty, is kept out of
    // the box's text and shown on request (the cause of a failure, a path).
    virtual void inform(Icon icon, const QString &title, const QString &text,
                        const QString &details) = 0;
    // A Yes/No question; true for Yes.
    virtual bool ask(const QString &title, const QString &text) = 0;
};

// The caption of the main window and the title of every message that names
// none of its own.
inline QString appTitle()
{
    return QStringLiteral("Varnell Decryptor");
}

// Installs a sink; nullptr goes back to the default, which writes to stderr
// and answers No. The caller keeps ownership.
void setSink(Sink *sink);

void inform(Icon icon, const QString &title, const QString &text,
            const QString &details = QString());
bool ask(const QString &title, const QString &text);

// Message lines are joined by CR LF.
QString lines(const QStringList &parts);

} // namespace Messages
