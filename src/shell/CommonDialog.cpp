#include "shell/CommonDialog.h"

CommonDialog::Result CommonDialog::ShowOpen()
{
    return showFile(FileRequest::Open);
}

CommonDialog::Result CommonDialog::ShowSave()
{
    return showFile(FileRequest::Save);
}

CommonDialog::Result CommonDialog::ShowPrinter()
{
    if (!m_backend || !m_backend->showPrinter(Flags))
        return Result::Cancelled;
    return Result::Accepted;
}

CommonDialog::Result CommonDialog::showFile(FileRequest::Kind kind)
{
    if (!m_backend)
        return Result::Cancelled;
    FileRequest request;
    request.kind = kind;
    request.flags = Flags;
    request.filter = Filter;
    request.filterIndex = FilterIndex;
    request.fileName = FileName;
    request.defaultExt = DefaultExt;
    const FileAnswer answer = m_backend->showFile(request);
    if (!answer.accepted || answer.fileName.isEmpty())
        return Result::Cancelled;
    FileName = withDefaultExt(answer.fileName, DefaultExt);
    if (answer.filterIndex > 0)
        FilterIndex = answer.filterIndex;
    return Result::Accepted;
}

QStringList CommonDialog::nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &pattern : patterns) {
            pattern = pattern.trimmed();
            // "*.*" means every file, names without a dot included.
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        if (patterns.isEmpty())
            patterns.append(QStringLiteral("*"));
        const QString joined = patterns.join(QLatin1Char(' '));
        // Descriptions usually name their patterns already: "Text (*.txt)".
        QString shown = description;
        const qsizetype open = shown.lastIndexOf(QLatin1Char('('));
        if (open >= 0 && shown.endsWith(QLatin1Char(')')))
            shown = shown.left(open).trimmed();
        const QString patternList = QLatin1Char('(') + joined + QLatin1Char(')');
        filters.append(shown.isEmpty() ? patternList : shown + QLatin1Char(' ') + patternList);
    }
    return filters;
}

QString CommonDialog::withDefaultExt(const QString &fileName, const QString &defaultExt)
{
    if (defaultExt.isEmpty() || fileName.isEmpty())
        return fileName;
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const QString base = fileName.mid(slash + 1);
    if (base.isEmpty() || base.contains(QLatin1Char('.')))
        return fileName;
    return fileName + QLatin1Char('.') + defaultExt;
}
