// The Decryption Utility tab of the main window: opening a record file and
// showing its record text, saving it, printing it, and the recent and
// dropped record files.
#include "shell/frmMain.h"

#include "common/Ansi.h"
#include "common/Messages.h"
#include "common/PendingEvents.h"
#include "records/PagePainter.h"
#include "records/RecordFile.h"
#include "records/RecordText.h"
#include "shell/WidgetDialogBackend.h"
#include "store/RecentFiles.h"
#include "store/RegistrySettings.h"
#include "store/modPublic.h"

#include <QAction>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>
#include <QToolBar>

#include <cstdio>

namespace {

const QString &printerMessage()
{
    static const QString text =
        QStringLiteral("Please make sure that your default printer is installed correctly.");
    return text;
}

// The record files among a drag's local files, in the drag's order.
QStringList draggedRecordFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (path.endsWith(QLatin1String(".vrd"), Qt::CaseInsensitive) && QFileInfo(path).isFile())
            files.append(path);
    }
    return files;
}

// A failed save or export: what could not be written, and why.
void reportWriteFailure(const QString &title, const QString &what, const QString &path,
                        const QString &reason)
{
    Messages::inform(Messages::Icon::Exclamation, title,
                     Messages::lines({what + path + QLatin1Char('.'), reason}));
}

} // namespace

// ---------------------------------------------------------------------------
// Opening

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
    if (!DecryptRecordFile())
        return;
    EnableRecordCommands(true);
    // A name typed in the Open box for a file that does not exist is not
    // worth offering again.
    if (QFileInfo(m_currentRecordFile).isFile())
        rememberRecentFile(m_currentRecordFile);
}

void frmMain::openRecordFile(const QString &path)
{
    m_currentRecordFile = path;
    // The Open box proposes it next, as if it had been chosen there.
    cdgOpen.FileName = path;
    showCurrentRecord(QStringLiteral("No decryption key found."));
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
    // Toolbar buttons 2, 3 and 4 follow their menu entries.
    for (QAction *entry :
         {m_mnuSaveEncrypt, m_mnuSaveDecrypt, m_mnuPrint, m_mnuPrintPreview, m_mnuExportPdf})
        entry->setEnabled(enabled);
}

// ---------------------------------------------------------------------------
// Saving

void frmMain::mnuSaveDecrypt_Click()
{
    SaveDecryptedRecord();
}

void frmMain::mnuSaveEncrypt_Click()
{
    SaveEncryptedRecord();
}

void frmMain::ShowSaveDialog(QString &path, CommonDialog &dialog, const QString &filter,
                             const QString &defaultName)
{
    dialog.CancelError = true;
    dialog.Flags = CommonDialog::OverwritePrompt;
    dialog.Filter = filter;
    dialog.FilterIndex = 1;
    dialog.FileName = defaultName;
    if (dialog.ShowSave() == CommonDialog::Result::Cancelled)
        return;
    path = dialog.FileName;
}

void frmMain::SaveDecryptedRecord()
{
    QString path;
    ShowSaveDialog(path, cdgOpen,
                   QStringLiteral("Decrypted Files (*.txt)|*.txt|All Files (*.*)|*.*"),
                   RecordFile::StripExtension(m_currentRecordFile));
    if (path.isEmpty())
        return;
    // The current record file stays the encrypted one: the encrypted save
    // copies it, a cancelled Open box reads it again and the printout names
    // it, none of which a text file would do for.
    WriteRecordText(path);
}

bool frmMain::WriteRecordText(const QString &path)
{
    const QString text = recordViewText();
    if (!Ansi::canEncode(text) &&
        !Messages::ask(
            Messages::appTitle(),
            Messages::lines({QStringLiteral("The record holds characters that a text "
                                            "file in the Windows-1252 code page "
                                            "cannot hold; they would be saved as \"?\"."),
                             QStringLiteral("Save it all the same?")})))
        return false;
    const SafeFile::Result written = SafeFile::write(path, RecordFile::savedTextForm(text));
    if (!written) {
        reportWriteFailure(QStringLiteral("Save Failed"),
                           QStringLiteral("The record could not be saved to "), path,
                           written.error);
        return false;
    }
    return true;
}

void frmMain::SaveEncryptedRecord()
{
    QString path;
    ShowSaveDialog(path, cdgOpen,
                   QStringLiteral("Encrypted Files (*.vrd)|*.vrd|All Files (*.*)|*.*"),
                   m_currentRecordFile);
    if (path.isEmpty())
        return;
    // Only a copy that exists becomes the current record file.
    const SafeFile::Result copied = RecordFile::copy(m_currentRecordFile, path);
    if (!copied) {
        reportWriteFailure(QStringLiteral("Save Failed"),
                           QStringLiteral("The record file could not be saved to "), path,
                           copied.error);
        return;
    }
    m_currentRecordFile = path;
    rememberRecentFile(path);
}

QString frmMain::recordViewText() const
{
    // The raw text: the plain text would turn no-break spaces into blanks.
    QString text = m_txtDecrypt->document()->toRawText();
    for (const QChar separator : {QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator)})
        text.replace(separator, QLatin1String("\r\n"));
    return text;
}

// ---------------------------------------------------------------------------
// Printing

QList<PrintLayout::Page> frmMain::printedPages() const
{
    const QString file = m_currentRecordFile.isEmpty()
                             ? QString()
                             : QFileInfo(m_currentRecordFile).absoluteFilePath();
    return PrintLayout::pages(recordViewText(), file,
                              PrintLayout::printedAtText(QDateTime::currentDateTime()));
}

void frmMain::mnuPrint_Click()
{
    PrintRecord();
}

QPagedPaintDevice *frmMain::defaultPrinter(QString &why)
{
    QPrinter &printer = m_dialogBackend->printer();
    // Without a printer the printer object falls back to writing a PDF file
    // that has no name; that is no printout.
    if (printer.outputFormat() != QPrinter::NativeFormat || printer.printerName().isEmpty()) {
        why = QStringLiteral("No printer is installed.");
        return nullptr;
    }
    return &printer;
}

void frmMain::PrintRecord()
{
    const QList<PrintLayout::Page> pages = printedPages();
    QString why;
    QPagedPaintDevice *device = m_printerSource ? m_printerSource(why) : defaultPrinter(why);
    if (device && !PagePainter::paint(*device, pages))
        why = QStringLiteral("The printer did not take the pages.");
    else if (auto *printer = dynamic_cast<QPrinter *>(device);
             printer && (printer->printerState() == QPrinter::Error ||
                         printer->printerState() == QPrinter::Aborted))
        why = QStringLiteral("The printer ended the job with an error.");
    if (why.isEmpty())
        return;
    Messages::inform(Messages::Icon::None, Messages::appTitle(), printerMessage(), why);
}

void frmMain::mnuPrintPreview_Click()
{
    // The pages as they stand now; the preview's own Print button prints
    // these.
    const QList<PrintLayout::Page> pages = printedPages();
    QPrintPreviewDialog preview(&m_dialogBackend->printer(), this);
    preview.setObjectName(QStringLiteral("dlgPrintPreview"));
    preview.setWindowTitle(QStringLiteral("Print Preview"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
            [&pages](QPrinter *printer) { PagePainter::paint(*printer, pages); });
    preview.exec();
}

void frmMain::mnuExportPdf_Click()
{
    // A name typed without an extension gets ".pdf" here, whatever default
    // extension the dialog carries from its other uses; that one is kept
    // for them.
    const QString otherExt = cdgOpen.DefaultExt;
    cdgOpen.DefaultExt = QStringLiteral("pdf");
    QString path;
    ShowSaveDialog(path, cdgOpen, QStringLiteral("PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*"),
                   RecordFile::StripExtension(m_currentRecordFile) + QStringLiteral(".pdf"));
    cdgOpen.DefaultExt = otherExt;
    if (path.isEmpty())
        return;
    // The page set-up chosen for the printer holds for the PDF too, so that
    // it shows what the preview does.
    const QByteArray pdf =
        PagePainter::pdf(printedPages(), QFileInfo(m_currentRecordFile).fileName(),
                         m_dialogBackend->printer().pageLayout());
    const SafeFile::Result written =
        pdf.isEmpty() ? SafeFile::Result{false, 0, QStringLiteral("The pages could not be drawn.")}
                      : SafeFile::write(path, pdf);
    if (!written)
        reportWriteFailure(QStringLiteral("Export Failed"),
                           QStringLiteral("The record could not be exported to "), path,
                           written.error);
}

// ---------------------------------------------------------------------------
// Recent and dropped record files

void frmMain::rememberRecentFile(const QString &path)
{
    // Read afresh: another window of the program may have added its own.
    RegistrySettings settings;
    m_recentFiles =
        RecentFiles::added(RecentFiles::read(settings), QFileInfo(path).absoluteFilePath());
    storeRecentFiles(settings);
}

void frmMain::storeRecentFiles(RegistrySettings &settings)
{
    RecentFiles::write(settings, m_recentFiles);
    // Not worth a message box at each opening: the list still serves this
    // run.
    if (QString why; !settings.sync(&why))
        std::fprintf(stderr, "%s: the recent files were not saved. %s\n",
                     qUtf8Printable(Messages::appTitle()), qUtf8Printable(why));
    fillRecentMenu();
}

void frmMain::fillRecentMenu()
{
    m_mnuOpenRecent->clear();
    for (qsizetype i = 0; i < m_recentFiles.size(); ++i) {
        const QString path = m_recentFiles.at(i);
        QString caption = path;
        caption.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction *entry =
            m_mnuOpenRecent->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(caption));
        entry->setObjectName(QStringLiteral("mnuRecentFile"));
        entry->setProperty("Index", int(i));
        connect(entry, &QAction::triggered, this, [this, path] { openRecentFile(path); });
    }
    m_mnuOpenRecent->menuAction()->setEnabled(!m_recentFiles.isEmpty());
}

void frmMain::openRecentFile(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        Messages::inform(Messages::Icon::Exclamation, QStringLiteral("Warning"),
                         QStringLiteral("The record file %1 no longer exists.").arg(path));
        RegistrySettings settings;
        m_recentFiles = RecentFiles::read(settings);
        m_recentFiles.removeAll(path);
        storeRecentFiles(settings);
        return;
    }
    openRecordFile(path);
}

bool frmMain::takeRecordDrop(QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (draggedRecordFiles(drag->mimeData()).isEmpty())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList files = draggedRecordFiles(drop->mimeData());
        if (files.isEmpty())
            return false;
        drop->acceptProposedAction();
        // Opened once the drop has ended, so that the program it came from
        // is not held up while the record is read. Of several files the
        // first opens, without a question.
        QMetaObject::invokeMethod(
            this, [this, path = files.first()] { openRecordFile(path); }, Qt::QueuedConnection);
        return true;
    }
    default:
        return false;
    }
}

void frmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (!takeRecordDrop(event))
        QMainWindow::dragEnterEvent(event);
}

void frmMain::dragMoveEvent(QDragMoveEvent *event)
{
    if (!takeRecordDrop(event))
        QMainWindow::dragMoveEvent(event);
}

void frmMain::dropEvent(QDropEvent *event)
{
    if (!takeRecordDrop(event))
        QMainWindow::dropEvent(event);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (takeRecordDrop(event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}
