#pragma once

#include <QString>

#include "ui/TAnswerQueue.h"

#include <optional>

class QWidget;

// The open and save file choosers: single selection, the save chooser asks
// before overwriting. Each returns the chosen full path, or nothing when the
// user cancels.
//
// Tests queue the answers in advance (a path, or nothing for a cancel); a
// queued answer is taken instead of showing the chooser. With
// RequireQueuedAnswers set, a chooser nobody answered counts as cancelled.
class CFileDialog {
public:
    static std::optional<QString> GetOpenFileName(QWidget* pParent, const QString& strFilter);
    static std::optional<QString> GetSaveFileName(QWidget* pParent, const QString& strFilter);

    static void QueueAnswer(std::optional<QString> answer);
    static void RequireQueuedAnswers(bool bRequire);
    static bool HasQueuedAnswers();
    static void ClearQueuedAnswers();

private:
    // A queued answer is a path, or nothing for a cancel.
    static TAnswerQueue<std::optional<QString>>& Answers();
    static std::optional<QString> Ask(QWidget* pParent, const QString& strFilter, bool bSave);
};
