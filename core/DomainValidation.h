#pragma once

#include <string>

// The check every domain passes before it enters the score list, whether typed
// or imported: one or more ASCII letters, digits, dots and hyphens, and
// nothing else. The text is not changed or normalised.
//
// Safe to call from any thread; the entry pattern is compiled on first use.
bool IsValidDomain(const std::string& strText);
