#pragma once

#include "core/SMetric.h"

#include <set>
#include <string>
#include <string_view>

// One source definition file: a TOML table that defines one metric (see
// docs/sources.md for every field). Reading checks every rule: the syntax,
// the required fields and their types, the id's form and that it is free,
// the patterns, the placeholders of the URL and the headers, and that no
// field is unknown.
class CSourceFile {
public:
    // Reads strText (named strName in messages) into metric. False when the
    // file breaks a rule; strError then says "name:line: what is wrong".
    // takenIds holds the ids in use, upper-cased.
    static bool Read(std::string_view strText, const std::string& strName,
                     const std::set<std::string>& takenIds, SMetric& metric, std::string& strError);
};
