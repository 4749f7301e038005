// Escapes that give one byte, shared by the bracket reader and the compiler.
#pragma once

#include <cstddef>
#include <cstdint>

namespace regex::detail {

// Up to `maxDigits` octal digits at `cur` (at least one is there); the value
// is kept to 8 bits.
unsigned char read_octal(const char*& cur, const char* end, std::size_t maxDigits);

// Up to `maxDigits` hexadecimal digits at `cur`; none gives 0.
unsigned char read_hex(const char*& cur, const char* end, std::size_t maxDigits);

// The byte of "\c" followed by `c`: upper-cased if a lower-case letter, XOR 0x40.
unsigned char control_byte(char c);

// The byte an escaped `c` stands for when it is none of the special escapes:
// \e is ESC; under normalize \a \f \n \r \t \\ (and, in brackets, \v) are
// control bytes; anything else stands for itself.
unsigned char plain_escape_byte(char c, std::uint32_t flags, bool inBrackets);

} // namespace regex::detail
