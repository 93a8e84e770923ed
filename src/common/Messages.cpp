#include "common/Messages.h"

#include <cstdio>

namespace Messages {
namespace {

class StderrSink final : public Sink
{
public:
    void inform(Icon, const QString &title, const QString &text) override
    {
        QString flat = text;
        flat.replace(QLatin1String("\r\n"), QLatin1String(" "));
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(flat));
    }
    bool ask(const QString &title, const QString &text) override
    {
        inform(Icon::None, title, text);
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

Sink &sink()
{
    return *current;
}

void inform(Icon icon, const QString &title, const QString &text)
{
    current->inform(icon, title, text);
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
