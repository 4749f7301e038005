#include "lists/SListDefinition.h"

std::string SListDefinition::FormatKey() const {
    std::string strKey = strUrl;
    for (const std::string& strPart :
         {strMember, std::string(bHeader ? "h" : "-"), std::string(1, chSeparator),
          std::string(bComments ? "#" : "-"), nameColumn.Text(),
          std::to_string(static_cast<int>(names))}) {
        strKey += '\n';
        strKey += strPart;
    }
    return strKey;
}
