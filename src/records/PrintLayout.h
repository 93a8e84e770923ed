#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// The printed form of a record, laid out without a printer: each page a list
// of items placed in inches, which one painter draws on a printer, a preview
// or a PDF.
//
// Coordinates have their origin 1 inch right of and 1 inch below the
// top-left corner of the drawing area; x grows to the right, y downwards. A
// page holds a border, the heading, the record text's rows (the label in one
// column, the value in the next, values longer than 50 characters wrapped
// onto further rows) and a footer of three lines naming the record file and
// the time of printing. A record with more rows than fit inside the border
// goes on over further pages, each with its border, heading and footer.
namespace PrintLayout {

struct Item
{
    enum class Kind
    {
        Text,
        Border
    };
    Kind kind = Kind::Text;
    // Text: the top-left corner of the text. Border: the rectangle.
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    QString text;
    // Text only; the face is the device's default one.
    double pointSize = 0;
    bool bold = false;
    bool underline = false;
};

using Page = QList<Item>;

// Where the origin lies from the drawing area's corner, in inches.
inline constexpr double originOffset = 1.0;
inline constexpr double borderWidth = 6.5;
inline constexpr double borderHeight = 9.0;
inline constexpr double rowHeight = 0.2;
// The running position before the first row: rows start at 0.6.
inline constexpr double rowsStart = 0.4;
inline constexpr double labelX = 0;
inline constexpr double valueX = 1.1;
inline constexpr qsizetype labelLength = 20;
inline constexpr qsizetype valueLength = 50;
// Rows per page: the last at 8.0, whose footer then ends inside the border.
inline constexpr int rowsPerPage = 38;

// The pages of a record text (lines joined by CR LF, as the record view
// holds it), with the record file's path and the time of printing for the
// footer. An empty text gives one page without rows.
QList<Page> pages(const QString &recordText, const QString &recordFile, const QString &printedAt);

// The time of printing as the footer shows it: the system's short date and
// the time with seconds.
QString printedAtText(const QDateTime &when);

} // namespace PrintLayout
