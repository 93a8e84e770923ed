#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The transaction tree as a CSV file: a header line, then one line of three
// quoted fields (product ID, date, result) per transaction node, every line
// ending in CR LF, in Windows-1252. The export works from the node texts
// alone and takes them apart by their labels.
namespace modStatistics {

// "\"Product ID\",\"Transaction Date\",\"Result\""
QString csvHeader();

// The file's bytes for the node texts in tree order (product texts begin
// with "Product ID:"; every other text is a transaction node). A double
// quote inside a value is doubled so that every CSV reader keeps the fields
// apart; a value that a spreadsheet would run as a formula (it begins with
// "=", "+", "-", "@", a TAB or a CR and is no plain number) begins with an
// apostrophe.
QByteArray csvFromNodeTexts(const QStringList &nodeTexts);

// Writes the export file whole or not at all (an existing file is replaced
// only once everything is written). On failure gives false with a reason.
bool writeCsv(const QString &path, const QStringList &nodeTexts, QString *error = nullptr);

} // namespace modStatistics
