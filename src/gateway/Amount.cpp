#include "gateway/Amount.h"

#include <QList>

namespace {

constexpr int maxWholeDigits = 14;
// The largest amount in ten-thousandths whose cents still have fourteen
// whole digits: 99,999,999,999,999.99 and anything that rounds to it.
constexpr qint64 maxTenThousandths = 999'999'999'999'999'949;

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool allDigits(QStringView text)
{
    for (QChar c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

// The whole part: plain digits, or digits grouped in threes by commas.
std::optional<QString> wholeDigits(QStringView text)
{
    if (!text.contains(QLatin1Char(',')))
        return allDigits(text) ? std::optional<QString>(text.toString()) : std::nullopt;
    const QList<QStringView> groups = text.split(QLatin1Char(','));
    QString digits;
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const QStringView group = groups.at(i);
        const bool sizeOk = i == 0 ? group.size() >= 1 && group.size() <= 3 : group.size() == 3;
        if (!sizeOk || !allDigits(group))
            return std::nullopt;
        digits += group;
    }
    return digits;
}

QString grouped(qint64 whole)
{
    const QString digits = QString::number(whole);
    QString text;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += QLatin1Char(',');
        text += digits.at(i);
    }
    return text;
}

} // namespace

std::optional<Amount> Amount::parse(QStringView text)
{
    text = text.trimmed();
    bool negative = false;
    if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) {
        negative = text.front() == QLatin1Char('-');
        text = text.mid(1);
    }
    if (text.startsWith(QLatin1Char('$')))
        text = text.mid(1);

    const qsizetype point = text.indexOf(QLatin1Char('.'));
    const QStringView wholeText = point < 0 ? text : text.left(point);
    const QStringView decimals = point < 0 ? QStringView() : text.mid(point + 1);
    if (!allDigits(decimals) || (wholeText.isEmpty() && decimals.isEmpty()))
        return std::nullopt;
    std::optional<QString> whole = wholeText.isEmpty() ? QString() : wholeDigits(wholeText);
    if (!whole)
        return std::nullopt;
    while (whole->size() > 1 && whole->startsWith(QLatin1Char('0')))
        whole->remove(0, 1);
    if (whole->size() > maxWholeDigits)
        return std::nullopt;

    qint64 value = whole->isEmpty() ? 0 : whole->toLongLong();
    const QString four = QString(decimals.left(4).toString() + QStringLiteral("0000")).left(4);
    value = value * 10000 + four.toLongLong();
    // Rounding the decimals past the fourth, half to even.
    const QStringView rest = decimals.mid(4);
    if (!rest.isEmpty()) {
        const QChar first = rest.front();
        const bool beyondHalf =
            first > QLatin1Char('5') ||
            (first == QLatin1Char('5') && rest.mid(1).count(QLatin1Char('0')) != rest.size() - 1);
        const bool half = first == QLatin1Char('5') && !beyondHalf;
        if (beyondHalf || (half && value % 2 == 1))
            ++value;
    }
    // Decimals that round up can carry into a fifteenth whole digit, which
    // the amount's own written forms could then not be read back with.
    if (value > maxTenThousandths)
        return std::nullopt;
    return fromTenThousandths(negative ? -value : value);
}

QString Amount::shown() const
{
    const qint64 magnitude = m_value < 0 ? -m_value : m_value;
    qint64 cents = magnitude / 100;
    if (magnitude % 100 >= 50)
        ++cents;
    const QString sign = m_value < 0 && cents != 0 ? QStringLiteral("-") : QString();
    return sign + QLatin1Char('$') + grouped(cents / 100) + QLatin1Char('.') +
           QStringLiteral("%1").arg(cents % 100, 2, 10, QLatin1Char('0'));
}

QString Amount::plain() const
{
    const qint64 magnitude = m_value < 0 ? -m_value : m_value;
    QString text = QString::number(magnitude / 10000);
    QString decimals = QStringLiteral("%1").arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
    while (decimals.endsWith(QLatin1Char('0')))
        decimals.chop(1);
    if (!decimals.isEmpty())
        text += QLatin1Char('.') + decimals;
    return m_value < 0 ? QLatin1Char('-') + text : text;
}
