#pragma once

#include <QAbstractFileIconProvider>
#include <QIcon>
#include <QMimeDatabase>

// Icons and type names for the file dialog, told from a file's name alone.
// Qt's own provider reads the start of every listed file to name its type,
// on the window's thread: in a folder such as /proc one of those reads never
// returns, and the whole program would freeze with the dialog open.
class NameOnlyIconProvider final : public QAbstractFileIconProvider
{
public:
    NameOnlyIconProvider();

    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;

private:
    // Made once on the window's thread: the dialog asks from a thread of its own too.
    QIcon m_file;
    QIcon m_folder;
    QIcon m_drive;
    QIcon m_computer;
    QMimeDatabase m_types;
};
