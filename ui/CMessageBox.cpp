#include "ui/CMessageBox.h"

#include "ui/VendorInfo.h"

bool CMessageBox::s_bRequireQueued = false;
int CMessageBox::s_nUnanswered = 0;

std::deque<QMessageBox::StandardButton>& CMessageBox::Answers() {
    static std::deque<QMessageBox::StandardButton> answers;
    return answers;
}

QStringList& CMessageBox::Texts() {
    static QStringList texts;
    return texts;
}

QMessageBox::StandardButton CMessageBox::Show(QWidget* pParent, const QString& strText,
                                              QMessageBox::StandardButtons buttons) {
    if (!Answers().empty() || s_bRequireQueued) {
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
        if (!Answers().empty()) {
            answer = Answers().front();
            Answers().pop_front();
        } else {
            ++s_nUnanswered;
        }
        Texts().append(strText);
        return answer;
    }
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(VendorInfo::kProgramName), strText,
                    buttons, pParent);
    box.setWindowModality(Qt::WindowModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void CMessageBox::QueueAnswer(QMessageBox::StandardButton answer) {
    Answers().push_back(answer);
}

void CMessageBox::RequireQueuedAnswers(bool bRequire) {
    s_bRequireQueued = bRequire;
}

bool CMessageBox::HasQueuedAnswers() {
    return !Answers().empty();
}

void CMessageBox::ClearQueuedAnswers() {
    Answers().clear();
}

QStringList CMessageBox::AnsweredTexts() {
    return Texts();
}

void CMessageBox::ClearAnsweredTexts() {
    Texts().clear();
    s_nUnanswered = 0;
}
