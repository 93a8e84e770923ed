#include "support/PdfText.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>

namespace {

QByteArray pdftotext(const QString &path, const QStringList &options)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), options + QStringList{path, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        qFatal("pdftotext failed on %s (poppler-utils installed?): %s", qPrintable(path),
               process.readAllStandardError().constData());
    return process.readAllStandardOutput();
}

QString temporaryCopy(const QByteArray &pdf, QTemporaryFile &file)
{
    if (!file.open() || file.write(pdf) != pdf.size() || !file.flush())
        qFatal("cannot write a temporary PDF");
    return file.fileName();
}

} // namespace

QStringList pdfPages(const QString &path)
{
    // Pages end in a form feed.
    QStringList pages = QString::fromUtf8(pdftotext(path, {})).split(QLatin1Char('\f'));
    pages.removeLast();
    return pages;
}

QStringList pdfPages(const QByteArray &pdf)
{
    QTemporaryFile file;
    return pdfPages(temporaryCopy(pdf, file));
}

QStringList pdfWordBoxes(const QByteArray &pdf)
{
    QTemporaryFile file;
    const QString html = QString::fromUtf8(
        pdftotext(temporaryCopy(pdf, file),
                  {QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("1")}));
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
    QStringList boxes;
    for (const QRegularExpressionMatch &m : word.globalMatch(html))
        boxes.append(QStringLiteral("%1 %2 %3")
                         .arg(m.captured(3))
                         .arg(qRound(m.captured(1).toDouble()))
                         .arg(qRound(m.captured(2).toDouble())));
    return boxes;
}
