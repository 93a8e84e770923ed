#pragma once

#include "shell/CommonDialog.h"

#include <QList>

// The shared dialog's boxes answered from a script: each file box takes the
// next answer (cancel when the script has run out), the printer box is
// cancelled, and every box is recorded with what it was shown with.
class ScriptedDialog final : public CommonDialog::Backend
{
public:
    struct Shown
    {
        bool printer = false;
        CommonDialog::FileRequest request;
        int printerFlags = 0;
    };

    // Queues a chosen path (and filter entry), or a cancel.
    void choose(const QString &path, int filterIndex = 0)
    {
        answers.append(CommonDialog::FileAnswer{true, path, filterIndex});
    }
    void cancel() { answers.append(CommonDialog::FileAnswer{}); }

    CommonDialog::FileAnswer showFile(const CommonDialog::FileRequest &request) override
    {
        shown.append(Shown{false, request, 0});
        return answers.isEmpty() ? CommonDialog::FileAnswer{} : answers.takeFirst();
    }
    bool showPrinter(int flags) override
    {
        shown.append(Shown{true, {}, flags});
        return false;
    }

    QList<CommonDialog::FileAnswer> answers;
    QList<Shown> shown;
};
