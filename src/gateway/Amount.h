#pragma once

#include <QString>
#include <QStringView>

#include <compare>
#include <optional>

// An amount of money with four decimal places, the precision in which the
// gateway keeps prices.
class Amount
{
public:
    constexpr Amount() = default;
    static constexpr Amount fromTenThousandths(qint64 value)
    {
        Amount amount;
        amount.m_value = value;
        return amount;
    }

    // Reads an amount as people and the server write it: "1234.5", "12",
    // ".5", "$1,234.50", "-$5.00", with blanks around it allowed. Commas must
    // group the whole part in threes. Decimals beyond the fourth are rounded
    // half to even. No value when the text is not an amount, or when the
    // amount rounded to cents has more than fourteen whole digits, so that
    // shown() and plain() of every amount read back.
    static std::optional<Amount> parse(QStringView text);

    qint64 tenThousandths() const { return m_value; }

    // "$1,234.50": a dollar sign, comma thousands separators and two
    // decimals, rounded half away from zero.
    QString shown() const;
    // "1234.5": a period and no separators, trailing decimal zeros dropped,
    // and the period too when no decimal is left.
    QString plain() const;

    friend constexpr auto operator<=>(const Amount &, const Amount &) = default;

private:
    qint64 m_value = 0;
};
