#include "ui/CMessageBox.h"

#include "ui/VendorInfo.h"

int CMessageBox::s_nUnanswered = 0;

TAnswerQueue<QMessageBox::StandardButton>& CMessageBox::Answers() {
    static TAnswerQueue<QMessageBox::StandardButton> answers;
    return answers;
}

QStringList& CMessageBox::Texts() {
    static QStringList texts;
    return texts;
}

QMessageBox::StandardButton CMessageBox::Show(QWidget* pParent, const QString& strText,
                                              QMessageBox::StandardButtons buttons) {
    std::optional<QMessageBox::StandardButton> answer;
    if (Answers().Take(&answer)) {
        if (!answer) {
            ++s_nUnanswered;
        }
        Texts().append(strText);
        return answer.value_or(QMessageBox::NoButton);
    }
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(VendorInfo::kProgramName), strText,
                    buttons, pParent);
    box.setWindowModality(Qt::WindowModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void CMessageBox::QueueAnswer(QMessageBox::StandardButton answer) {
    Answers().Queue(answer);
}

void CMessageBox::RequireQueuedAnswers(bool bRequire) {
    Answers().Require(bRequire);
}

bool CMessageBox::HasQueuedAnswers() {
    return Answers().Has();
}

void CMessageBox::ClearQueuedAnswers() {
    Answers().Clear();
}

QStringList CMessageBox::AnsweredTexts() {
    return Texts();
}

void CMessageBox::ClearAnsweredTexts() {
    Texts().clear();
    s_nUnanswered = 0;
}
