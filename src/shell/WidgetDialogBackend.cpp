#include "shell/WidgetDialogBackend.h"

#include "shell/NameOnlyIconProvider.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

WidgetDialogBackend::WidgetDialogBackend(QWidget *owner) : m_owner(owner) {}

WidgetDialogBackend::~WidgetDialogBackend() = default;

QPrinter &WidgetDialogBackend::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    // Made while no printer was installed, it writes PDF files; a printer
    // installed since becomes its printer.
    if (m_printer->outputFormat() != QPrinter::NativeFormat) {
        const QPrinterInfo installed = QPrinterInfo::defaultPrinter();
        if (!installed.isNull())
            m_printer->setPrinterName(installed.printerName());
    }
    return *m_printer;
}

CommonDialog::FileAnswer WidgetDialogBackend::showFile(const CommonDialog::FileRequest &request)
{
    QFileDialog dialog(m_owner);
    // Made at the first dialog rather than at start-up, which it would
    // slow down (its icons and the type database), on the window's thread.
    if (!m_iconProvider)
        m_iconProvider = std::make_unique<NameOnlyIconProvider>();
    dialog.setIconProvider(m_iconProvider.get());
    const bool save = request.kind == CommonDialog::FileRequest::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The Open box accepts a name that does not exist yet.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowTitle(save ? QStringLiteral("Save As") : QStringLiteral("Open"));
    if (save && !(request.flags & CommonDialog::OverwritePrompt))
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = CommonDialog::nameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
            dialog.selectNameFilter(filters.at(request.filterIndex - 1));
    }
    dialog.setDefaultSuffix(request.defaultExt);
    if (!request.fileName.isEmpty()) {
        const QFileInfo proposed(request.fileName);
        if (proposed.isAbsolute())
            dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(request.fileName);
    }

    CommonDialog::FileAnswer answer;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return answer;
    answer.accepted = true;
    answer.fileName = dialog.selectedFiles().constFirst();
    answer.filterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    return answer;
}

bool WidgetDialogBackend::showPrinter(int flags)
{
    // The set-up box only chooses: its page settings stay with the printer
    // for every later printout, and nothing is printed from it.
    if (flags & CommonDialog::PrintSetup) {
        QPageSetupDialog dialog(&printer(), m_owner);
        dialog.setWindowTitle(QStringLiteral("Printer Setup"));
        return dialog.exec() == QDialog::Accepted;
    }
    QPrintDialog dialog(&printer(), m_owner);
    return dialog.exec() == QDialog::Accepted;
}
