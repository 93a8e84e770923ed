#include "gateway/ProductValues.h"

#include <QRegularExpression>
#include <QTime>

namespace ProductValues {

namespace {

int number(const QRegularExpressionMatch &match, int group)
{
    return match.capturedView(group).toInt();
}

bool validTime(int hour, int minute, int second)
{
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

} // namespace

QStringList currencyItems()
{
    return {QStringLiteral("USD___United_State_Dollar"), QStringLiteral("CAD___Canadian_Dollar"),
            QStringLiteral("EUR___Euro"), QStringLiteral("AUD___Australian_Dollar")};
}

QStringList serviceModelItems()
{
    return {QStringLiteral("Basic Service"), QStringLiteral("Standard Service"),
            QStringLiteral("Reseller Service")};
}

std::optional<bool> toBoolean(QStringView text)
{
    text = text.trimmed();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    static const QRegularExpression numeric(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)\\z"));
    if (!numeric.match(text).hasMatch())
        return std::nullopt;
    for (QChar c : text) {
        if (c >= QLatin1Char('1') && c <= QLatin1Char('9'))
            return true;
    }
    return false;
}

std::optional<int> toCode(QStringView text, int last)
{
    text = text.trimmed();
    static const QRegularExpression whole(QStringLiteral("^[+-]?[0-9]{1,9}\\z"));
    if (!whole.match(text).hasMatch())
        return std::nullopt;
    const int code = text.toInt();
    if (code < -1 || code > last)
        return std::nullopt;
    return code;
}

std::optional<QDate> toDate(QStringView text)
{
    text = text.trimmed();
    static const QRegularExpression iso(
        QStringLiteral("^([0-9]{4})-([0-9]{2})-([0-9]{2})"
                       "(?:[T ]([0-9]{2}):([0-9]{2})(?::([0-9]{2})(?:\\.[0-9]+)?)?"
                       "(?:Z|[+-][0-9]{2}:?[0-9]{2})?)?\\z"));
    static const QRegularExpression us(
        QStringLiteral("^([0-9]{1,2})/([0-9]{1,2})/([0-9]{4})"
                       "(?: +([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?(?: *([AaPp][Mm]))?)?\\z"));
    QDate date;
    if (const QRegularExpressionMatch m = iso.match(text); m.hasMatch()) {
        date = QDate(number(m, 1), number(m, 2), number(m, 3));
        if (m.hasCaptured(4) && !validTime(number(m, 4), number(m, 5), number(m, 6)))
            return std::nullopt;
    } else if (const QRegularExpressionMatch m = us.match(text); m.hasMatch()) {
        date = QDate(number(m, 3), number(m, 1), number(m, 2));
        if (m.hasCaptured(4)) {
            int hour = number(m, 4);
            if (m.hasCaptured(7)) {
                if (hour < 1 || hour > 12)
                    return std::nullopt;
                hour =
                    hour % 12 + (m.capturedView(7).front().toLower() == QLatin1Char('p') ? 12 : 0);
            }
            if (!validTime(hour, number(m, 5), number(m, 6)))
                return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QString shownDate(const QDate &date)
{
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return QStringLiteral("%1/%2/%3")
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(months[date.month() - 1]))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

qint16 toCount(const QByteArray &line)
{
    qsizetype start = 0;
    qsizetype end = line.size();
    while (start < end && line.at(start) == ' ')
        ++start;
    while (end > start && line.at(end - 1) == ' ')
        --end;
    const QByteArray text = line.mid(start, end - start);
    static const QRegularExpression whole(QStringLiteral("^\\+?[0-9]{1,9}\\z"));
    const QString value = QString::fromLatin1(text);
    if (!whole.match(value).hasMatch())
        return -1;
    const int count = value.toInt();
    return count <= 32767 ? qint16(count) : qint16(-1);
}

} // namespace ProductValues
