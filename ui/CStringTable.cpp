#include "ui/CStringTable.h"

#include <QCoreApplication>

#include <iterator>

namespace {

struct SStringEntry {
    int nId;
    const char* pszText;
};

#define TALLYVINE_STRING(id, text) {id, text},
const SStringEntry s_table[] = {
#include "res/strings.h"
};
#undef TALLYVINE_STRING

constexpr const char* kContext = "CStringTable";

} // namespace

const char* CStringTable::SourceText(int nId) {
    for (const SStringEntry& entry : s_table) {
        if (entry.nId == nId) {
            return entry.pszText;
        }
    }
    return nullptr;
}

QString CStringTable::Load(int nId) {
    const char* pszText = SourceText(nId);
    return pszText ? QCoreApplication::translate(kContext, pszText) : QString();
}

QString CStringTable::LoadText(const std::string& strEnglish) {
    for (const SStringEntry& entry : s_table) {
        if (strEnglish == entry.pszText) {
            return QCoreApplication::translate(kContext, entry.pszText);
        }
    }
    return QString::fromStdString(strEnglish);
}

QString CStringTable::Format(int nId, const QString& strArgument) {
    // Only the one text argument is substituted, so a translated text with
    // stray percent signs cannot read past its arguments.
    QString strText = Load(nId);
    const qsizetype nAt = strText.indexOf(QLatin1String("%s"));
    if (nAt >= 0) {
        strText.replace(nAt, 2, strArgument);
    }
    return strText;
}
