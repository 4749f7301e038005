#include "ui/CFileDialog.h"

#include <QFileDialog>

TAnswerQueue<std::optional<QString>>& CFileDialog::Answers() {
    static TAnswerQueue<std::optional<QString>> answers;
    return answers;
}

std::optional<QString> CFileDialog::GetOpenFileName(QWidget* pParent, const QString& strFilter) {
    return Ask(pParent, strFilter, false);
}

std::optional<QString> CFileDialog::GetSaveFileName(QWidget* pParent, const QString& strFilter) {
    return Ask(pParent, strFilter, true);
}

std::optional<QString> CFileDialog::Ask(QWidget* pParent, const QString& strFilter, bool bSave) {
    // Unanswered counts as cancelled.
    std::optional<std::optional<QString>> answer;
    if (Answers().Take(&answer)) {
        return answer.value_or(std::nullopt);
    }
    // The save chooser asks before an existing file is overwritten.
    const QString strPath =
        bSave ? QFileDialog::getSaveFileName(pParent, QString(), QString(), strFilter)
              : QFileDialog::getOpenFileName(pParent, QString(), QString(), strFilter);
    if (strPath.isEmpty()) {
        return std::nullopt;
    }
    return strPath;
}

void CFileDialog::QueueAnswer(std::optional<QString> answer) {
    Answers().Queue(std::move(answer));
}

void CFileDialog::RequireQueuedAnswers(bool bRequire) {
    Answers().Require(bRequire);
}

bool CFileDialog::HasQueuedAnswers() {
    return Answers().Has();
}

void CFileDialog::ClearQueuedAnswers() {
    Answers().Clear();
}
