#include "regex/detail/escapes.h"

#include "regex/detail/char_class.h"
#include "regex/pattern_flags.h"

namespace regex::detail {

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

unsigned char read_octal(const char*& cur, const char* end, std::size_t maxDigits) {
    unsigned value = 0;
    for (std::size_t n = 0; n < maxDigits && cur < end && *cur >= '0' && *cur <= '7'; ++n)
        value = ((value << 3) | static_cast<unsigned>(*cur++ - '0')) & 0xFFu;
    return static_cast<unsigned char>(value);
}

unsigned char read_hex(const char*& cur, const char* end, std::size_t maxDigits) {
    unsigned value = 0;
    for (std::size_t n = 0; n < maxDigits && cur < end && hex_value(*cur) >= 0; ++n)
        value = ((value << 4) | static_cast<unsigned>(hex_value(*cur++))) & 0xFFu;
    return static_cast<unsigned char>(value);
}

unsigned char control_byte(char c) {
    return static_cast<unsigned char>(to_upper(static_cast<unsigned char>(c)) ^ 0x40);
}

unsigned char plain_escape_byte(char c, std::uint32_t flags, bool inBrackets) {
    if (c == 'e')
        return 0x1B;
    if (flags & normalize) {
        switch (c) {
        case 'a':
            return 0x07;
        case 'f':
            return 0x0C;
        case 'n':
            return 0x0A;
        case 'r':
            return 0x0D;
        case 't':
            return 0x09;
        case 'v':
            if (inBrackets)
                return 0x0B;
            break;
        default:
            break;
        }
    }
    return static_cast<unsigned char>(c);
}

} // namespace regex::detail
