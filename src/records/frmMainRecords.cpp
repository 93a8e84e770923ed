// The Decryption Utility tab of the main window: opening a record file and
// showing its record text.
#include "shell/frmMain.h"

#include "common/Messages.h"
#include "common/PendingEvents.h"
#include "records/RecordText.h"
#include "store/modPublic.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QToolBar>

void frmMain::mnuOpen_Click()
{
    ShowOpenDialog(m_currentRecordFile, cdgOpen, QStringLiteral("vrd"));
    // Nothing was ever opened and the box was cancelled. A box cancelled
    // after an opening reads the current record file again.
    if (m_currentRecordFile.isEmpty())
        return;
    showCurrentRecord(QStringLiteral("No decryption key found."));
}

void frmMain::showCurrentRecord(const QString &noKeyText)
{
    QString why;
    if (!modPublic::ReadSettings(m_settings, &why)) {
        Messages::inform(Messages::Icon::Exclamation, QStringLiteral("Warning"), noKeyText, why);
        return;
    }
    if (DecryptRecordFile())
        EnableRecordCommands(true);
}

void frmMain::ShowOpenDialog(QString &path, CommonDialog &dialog, const QString &extension)
{
    dialog.CancelError = true;
    dialog.Flags = CommonDialog::HideReadOnly;
    dialog.Filter = QStringLiteral("Encrypted Files (*.") + extension + QStringLiteral(")|*.") +
                    extension + QStringLiteral("|All Files (*.*)|*.*");
    dialog.FilterIndex = 1;
    // The box proposes whatever name the dialog last held.
    if (dialog.ShowOpen() == CommonDialog::Result::Cancelled)
        return;
    path = dialog.FileName;
}

bool frmMain::DecryptRecordFile()
{
    if (m_currentRecordFile.isEmpty())
        return true;
    // Pending window events run after each field, so the window stays
    // responsive while a record is read.
    const RecordText::FileText read = RecordText::fromFile(
        m_currentRecordFile, m_settings.encryptionKey, &PendingEvents::process);
    // A file too large to be a record is refused whole. Other read failures
    // show what was read before them.
    if (read.tooLarge) {
        Messages::inform(Messages::Icon::Exclamation, QStringLiteral("Warning"),
                         QStringLiteral("The file is too large to be a record file."),
                         m_currentRecordFile + QLatin1String(": ") + read.error);
        return false;
    }
    m_txtDecrypt->setPlainText(read.text);
    return true;
}

void frmMain::EnableRecordCommands(bool enabled)
{
    for (QAction *entry : {m_mnuSaveEncrypt, m_mnuSaveDecrypt, m_mnuPrint})
        entry->setEnabled(enabled);
    // Toolbar buttons 2, 3 and 4, by position.
    const QList<QAction *> buttons = m_tbarDecypt->actions();
    for (int position = 2; position <= 4; ++position) {
        if (position <= buttons.size())
            buttons.at(position - 1)->setEnabled(enabled);
    }
}
