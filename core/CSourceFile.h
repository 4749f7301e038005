#pragma once

#include "core/SMetric.h"

#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

// One source definition file: a TOML table that defines one metric (see
// docs/sources.md for every field). Reading checks every rule: the syntax,
// the required fields and their types, the id's form and that it is free,
// the patterns, the placeholders of the URL and the headers, and that no
// field is unknown. A user's file may not set the fields that only the
// built-in definitions set (kBuiltInOnlyFields), read variables outside the
// program's own prefix, or ask anything but http and https.
class CSourceFile {
public:
    enum class EOrigin { BuiltIn, User };

    // Fields that tie a metric into the program's own resources and places:
    // the always-asked metric, the fixed export columns, the form's boxes and
    // the string table.
    static constexpr std::string_view kBuiltInOnlyFields[] = {"always_asked", "export_place",
                                                              "control_id", "header_string"};
    // A larger file is no definition.
    static constexpr std::size_t kMostBytes = 1u << 20;

    // Reads strText (named strName in messages) into metric. False when the
    // file breaks a rule; strError then says "name:line: what is wrong".
    // takenIds holds the ids in use, upper-cased.
    static bool Read(std::string_view strText, const std::string& strName,
                     const std::set<std::string>& takenIds, SMetric& metric, std::string& strError,
                     EOrigin origin = EOrigin::User);
    // Reads a user's file as Read does; a path that is no regular file (a
    // folder, a link that leads nowhere or in a loop), cannot be read, or is
    // larger than kMostBytes is refused, "path:1: what is wrong".
    static bool ReadFile(const std::filesystem::path& path, const std::set<std::string>& takenIds,
                         SMetric& metric, std::string& strError);
};
