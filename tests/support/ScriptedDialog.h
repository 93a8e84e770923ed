#pragma once

#include "shell/CommonDialog.h"

#include <QList>

// The shared dialog's boxes answered from a script: each file box takes the
// next answer (a cancel when the script has run out) and is recorded with
// what it was shown with; printer boxes are cancelled, their flags recorded.
class ScriptedDialog final : public CommonDialog::Backend
{
public:
    // Queues a chosen path (and filter entry), or a cancel.
    void choose(const QString &path, int filterIndex = 0)
    {
        answers.append(CommonDialog::FileAnswer{true, path, filterIndex});
    }
    void cancel() { answers.append(CommonDialog::FileAnswer{}); }

    CommonDialog::FileAnswer showFile(const CommonDialog::FileRequest &request) override
    {
        shown.append(request);
        return answers.isEmpty() ? CommonDialog::FileAnswer{} : answers.takeFirst();
    }
    bool showPrinter(int flags) override
    {
        printerFlags.append(flags);
        return false;
    }

    QList<CommonDialog::FileAnswer> answers;
    QList<CommonDialog::FileRequest> shown;
    QList<int> printerFlags;
};
