// A set of bytes as a 256-entry table: one load per membership test, which is
// what the scanning loops of the matcher want.
#pragma once

#include <array>
#include <cstdint>

namespace regex::detail {

struct byte_table {
    std::array<std::uint8_t, 256> in{};

    bool test(unsigned char c) const { return in[c] != 0; }
    void set(unsigned char c) { in[c] = 1; }
    void set_all() { in.fill(1); }
    void add(const byte_table& other) {
        for (unsigned c = 0; c < 256; ++c)
            in[c] |= other.in[c];
    }
    void invert() {
        for (auto& v : in)
            v ^= 1;
    }
    int count() const {
        int n = 0;
        for (auto v : in)
            n += v;
        return n;
    }
    // The lowest member (meaningful when count() > 0).
    unsigned char first_member() const {
        for (unsigned c = 0; c < 256; ++c)
            if (in[c])
                return static_cast<unsigned char>(c);
        return 0;
    }
};

} // namespace regex::detail
