#include "sandbox/RequestTarget.h"

#include "gateway/HttpMessage.h"

#include <cctype>

namespace {

// "Host:port", "[v6]:port" or "host." as the bare host name in lower case.
QString bareHost(QByteArrayView authority)
{
    QByteArray host = authority.toByteArray().trimmed();
    const qsizetype at = host.lastIndexOf('@');
    if (at >= 0)
        host = host.mid(at + 1);
    if (host.startsWith('[')) {
        const qsizetype close = host.indexOf(']');
        host = close < 0 ? host : host.left(close + 1);
    } else {
        const qsizetype colon = host.indexOf(':');
        if (colon >= 0)
            host.truncate(colon);
    }
    while (host.endsWith('.'))
        host.chop(1);
    return QString::fromLatin1(host).toLower();
}

// The length of a scheme followed by "://" at the start of target, or 0.
qsizetype schemeLength(QByteArrayView target)
{
    const qsizetype end = QByteArrayView(target).indexOf("://");
    for (qsizetype i = 0; i < end; ++i) {
        if (!std::isalpha(static_cast<unsigned char>(target[i])))
            return 0;
    }
    return end > 0 ? end : 0;
}

QByteArray collapseSlashes(const QByteArray &path)
{
    QByteArray out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/' && out.endsWith('/'))
            continue;
        out.append(c);
    }
    return out;
}

} // namespace

QByteArray percentDecode(QByteArrayView text)
{
    QByteArray out(""); // empty, never null: a value that was sent empty is still there
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = Http::hexDigit(text[i + 1]);
            const int low = Http::hexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.append(char(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.append(text[i]);
    }
    return out;
}

QList<QPair<QByteArray, QByteArray>> formItems(QByteArrayView text)
{
    QList<QPair<QByteArray, QByteArray>> items;
    for (const QByteArray &pair : text.toByteArray().split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype equals = pair.indexOf('=');
        if (equals < 0)
            items.append({percentDecode(pair), QByteArray("")});
        else
            items.append({percentDecode(pair.left(equals)), percentDecode(pair.mid(equals + 1))});
    }
    return items;
}

RequestTarget RequestTarget::parse(QByteArrayView target, QByteArrayView hostHeader)
{
    RequestTarget result;
    QByteArray rest = target.toByteArray();
    const qsizetype hash = rest.indexOf('#');
    if (hash >= 0)
        rest.truncate(hash);

    const qsizetype schemeEnd = schemeLength(rest);
    if (schemeEnd > 0) {
        rest = rest.mid(schemeEnd + 3);
        qsizetype end = rest.size();
        for (qsizetype i = 0; i < rest.size(); ++i) {
            if (rest[i] == '/' || rest[i] == '?') {
                end = i;
                break;
            }
        }
        result.host = bareHost(QByteArrayView(rest).first(end));
        rest = rest.mid(end);
        if (!rest.startsWith('/'))
            rest.prepend('/');
    } else {
        result.host = bareHost(hostHeader);
    }

    const qsizetype question = rest.indexOf('?');
    if (question >= 0) {
        result.query = rest.mid(question + 1);
        rest.truncate(question);
    }
    result.path = collapseSlashes(percentDecode(rest));
    return result;
}

QString RequestTarget::refusal(QByteArrayView target, const QList<QByteArray> &hostHeaders,
                               bool hostOptional)
{
    if (hostHeaders.size() > 1)
        return QStringLiteral("more than one Host header");
    if (target.startsWith('/')) {
        if (hostHeaders.isEmpty() && !hostOptional)
            return QStringLiteral("no Host header");
        return QString();
    }
    const qsizetype scheme = schemeLength(target);
    if (scheme == 0)
        return QStringLiteral("the target is neither a path nor an http:// URL");
    if (target.first(scheme).toByteArray().toLower() != "http")
        return QStringLiteral("only http:// URLs are served, not %1://")
            .arg(QString::fromLatin1(target.first(scheme)));
    if (parse(target, {}).host.isEmpty())
        return QStringLiteral("the URL names no host");
    return QString();
}

QList<QPair<QByteArray, QByteArray>> RequestTarget::queryItems() const
{
    return formItems(query);
}

QByteArray RequestTarget::queryValue(QByteArrayView name) const
{
    for (const auto &item : queryItems()) {
        if (item.first == name)
            return item.second;
    }
    return QByteArray();
}
