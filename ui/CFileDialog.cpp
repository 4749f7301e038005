#include "ui/CFileDialog.h"

#include <QFileDialog>

bool CFileDialog::s_bRequireQueued = false;

std::deque<std::optional<QString>>& CFileDialog::Answers() {
    static std::deque<std::optional<QString>> answers;
    return answers;
}

bool CFileDialog::TakeQueued(std::optional<QString>& answer) {
    if (Answers().empty()) {
        answer.reset();
        return s_bRequireQueued;
    }
    answer = Answers().front();
    Answers().pop_front();
    return true;
}

std::optional<QString> CFileDialog::GetOpenFileName(QWidget* pParent, const QString& strFilter) {
    return Ask(pParent, strFilter, false);
}

std::optional<QString> CFileDialog::GetSaveFileName(QWidget* pParent, const QString& strFilter) {
    return Ask(pParent, strFilter, true);
}

std::optional<QString> CFileDialog::Ask(QWidget* pParent, const QString& strFilter, bool bSave) {
    std::optional<QString> answer;
    if (TakeQueued(answer)) {
        return answer;
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
    Answers().push_back(std::move(answer));
}

void CFileDialog::RequireQueuedAnswers(bool bRequire) {
    s_bRequireQueued = bRequire;
}

bool CFileDialog::HasQueuedAnswers() {
    return !Answers().empty();
}

void CFileDialog::ClearQueuedAnswers() {
    Answers().clear();
}
