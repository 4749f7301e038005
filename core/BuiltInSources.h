#pragma once

#include <span>
#include <string_view>

// A definition file compiled into the program.
struct SEmbeddedFile {
    const char* pszName;
    std::string_view strText;
};

// The built-in source definitions (res/sources), in the order of their names.
std::span<const SEmbeddedFile> BuiltInSources();
