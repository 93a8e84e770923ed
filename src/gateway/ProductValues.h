#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// Reading the values of the gateway's product answers and showing them as
// the product editor does.
namespace ProductValues {

// The highest currency code ("AUD___Australian_Dollar") and service-model
// code ("Reseller Service"); -1 means no selection.
inline constexpr int lastCurrencyCode = 3;
inline constexpr int lastServiceModelCode = 2;

// The items of the currency and service-model lists; an item's position is
// its code.
QStringList currencyItems();
QStringList serviceModelItems();

// True and False in any letter case, or a decimal number (true when not
// zero); blanks around the value are allowed.
std::optional<bool> toBoolean(QStringView text);

// A list position: a whole number from -1 (no selection) to last.
std::optional<int> toCode(QStringView text, int last);

// A date written yyyy-mm-dd or m/d/yyyy, each optionally followed by a time
// of day (ISO 8601 "T12:30:05" with an optional zone, or " 2:30 PM"); the
// time is checked and then dropped.
std::optional<QDate> toDate(QStringView text);

// "05/Nov/2002": two-digit day, English month abbreviation, four-digit year.
QString shownDate(const QDate &date);

// The product count of a count answer's first line: spaces around it are
// allowed; -1 when it is not a whole number from 0 to 32767.
qint16 toCount(const QByteArray &line);

} // namespace ProductValues
