#pragma once

#include "shell/CommonDialog.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class NameOnlyIconProvider;
class QPrinter;

// The shared dialog's boxes as the desktop shows them: a file dialog for
// Open and Save, a printer dialog for the printer set-up. The printer chosen
// there is kept for every later printout.
class WidgetDialogBackend final : public CommonDialog::Backend
{
public:
    explicit WidgetDialogBackend(QWidget *owner);
    ~WidgetDialogBackend() override;

    CommonDialog::FileAnswer showFile(const CommonDialog::FileRequest &request) override;
    bool showPrinter(int flags) override;

    QPrinter &printer();

private:
    QPointer<QWidget> m_owner;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<NameOnlyIconProvider> m_iconProvider;
};
