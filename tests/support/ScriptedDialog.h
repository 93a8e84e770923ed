#pragma once

#include "shell/CommonDialog.h"

#include <QList>
#include <QString>

// The shared dialog's boxes answered from a script: each box takes the next
// answer (a path, or cancel when the script has run out) and is recorded
// with the properties it was shown with.
class ScriptedDialog final : public CommonDialog::Backend
{
public:
    struct Answer
    {
        bool accepted = false;
        QString fileName;
        int filterIndex = 0;
    };
    struct Shown
    {
        bool printer = false;
        CommonDialog::FileRequest request;
        int printerFlags = 0;
    };

    // Queues a chosen path (and filter), or a cancel.
    void choose(const QString &path, int filterIndex = 0)
    {
        answers.append(Answer{true, path, filterIndex});
    }
    void cancel() { answers.append(Answer{}); }
    void confirmPrinter(bool confirmed) { printerAnswers.append(confirmed); }

    CommonDialog::FileAnswer showFile(const CommonDialog::FileRequest &request) override;
    bool showPrinter(int flags) override;

    QList<Answer> answers;
    QList<bool> printerAnswers;
    QList<Shown> shown;
};
