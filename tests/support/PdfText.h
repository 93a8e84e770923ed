#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a PDF document shows, read back with poppler's pdftotext: the text of
// each page in reading order, one entry per page.
QStringList pdfPages(const QString &path);
QStringList pdfPages(const QByteArray &pdf);

// Where each word stands on the first page, in points from the page's
// top-left corner: "word xMin yMin", one entry per word, rounded to whole
// points.
QStringList pdfWordBoxes(const QByteArray &pdf);
