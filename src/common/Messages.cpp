#include "common/Messages.h"

#include <cstdio>

namespace Messages {
namespace {

class StderrSink final : public Sink
{
public:
    void inform(Icon, const QString &title, const QString &text, const QString &details) override
    {
        QString flat = text;
        flat.replace(QLatin1String("\r\n"), QLatin1String(" "));
        if (!details.isEmpty())
            flat += QLatin1String(" (") + details + QLatin1Char(')');
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(flat));
    }
    bool ask(const QString &title, const QString &text) override
    {
        inform(Icon::None, title, text, QString());
        return false;
    }
};

StderrSink defaultSink;
Sink *current = &defaultSink;

} // namespace

void setSink(Sink *s)
{
    current = s ? s : &defaultSink;
}

void inform(Icon icon, const QString &title, const QString &text, const QString &details)
{
    current->inform(icon, title, text, details);
}

bool ask(const QString &title, const QString &text)
{
    return current->ask(title, text);
}

QString lines(const QStringList &parts)
{
    return parts.join(QLatin1String("\r\n"));
}

} // namespace Messages
