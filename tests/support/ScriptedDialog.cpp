#include "support/ScriptedDialog.h"

CommonDialog::FileAnswer ScriptedDialog::showFile(const CommonDialog::FileRequest &request)
{
    shown.append(Shown{false, request, 0});
    CommonDialog::FileAnswer answer;
    if (answers.isEmpty())
        return answer;
    const Answer next = answers.takeFirst();
    answer.accepted = next.accepted;
    answer.fileName = next.fileName;
    answer.filterIndex = next.filterIndex;
    return answer;
}

bool ScriptedDialog::showPrinter(int flags)
{
    shown.append(Shown{true, {}, flags});
    return printerAnswers.isEmpty() ? false : printerAnswers.takeFirst();
}
