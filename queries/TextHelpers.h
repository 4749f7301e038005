#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

// Helpers that build query requests and clean replies. None keeps state
// between calls and none reports a failure.

// The MD5 digest of nLength bytes as 32 lowercase hexadecimal digits.
std::string Md5Hex(const void* pData, std::size_t nLength);
inline std::string Md5Hex(std::string_view strBytes) {
    return Md5Hex(strBytes.data(), strBytes.size());
}

// The local time of tp as "year-MM-DD hh:mm:ss.millis", the year and the
// milliseconds without leading zeros (7 ms reads ".7", 70 ms ".70").
std::string FormatTimestamp(std::chrono::system_clock::time_point tp);

// The value of the "&timestamp=" key of a request: the MD5 hex of the
// formatted local time, so tokens of different milliseconds differ.
std::string MakeTimestampToken(std::chrono::system_clock::time_point tp);
std::string MakeTimestampToken();

// Percent-encodes everything but ASCII letters and digits ("%2E" for '.'),
// up to the first NUL byte of the text.
std::string UrlEncode(std::string_view strText);

// strText with every occurrence of strFind replaced; text inserted by a
// replacement is not searched again. An empty strFind changes nothing.
std::string ReplaceAll(std::string_view strText, std::string_view strFind,
                       std::string_view strReplace);

// The text with every control character (C0, DEL, and C1 written in UTF-8)
// as \xHH, so that a label or a file name printed to a terminal cannot move
// the cursor, change colours or break a tab-separated line.
std::string EscapeControls(std::string_view strText);
