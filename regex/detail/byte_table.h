// A set of bytes as 256 bits: cheap to build, copy and combine while a
// pattern compiles, one shift and mask per membership test while it matches.
#pragma once

#include <bit>
#include <cstdint>

namespace regex::detail {

struct byte_table {
    std::uint64_t bits[4] = {0, 0, 0, 0};

    bool test(unsigned char c) const { return (bits[c >> 6] >> (c & 63)) & 1; }
    void set(unsigned char c) { bits[c >> 6] |= std::uint64_t{1} << (c & 63); }
    void reset(unsigned char c) { bits[c >> 6] &= ~(std::uint64_t{1} << (c & 63)); }
    void set_all() {
        for (auto& w : bits)
            w = ~std::uint64_t{0};
    }
    void add(const byte_table& other) {
        for (int i = 0; i < 4; ++i)
            bits[i] |= other.bits[i];
    }
    void invert() {
        for (auto& w : bits)
            w = ~w;
    }
    int count() const {
        int n = 0;
        for (auto w : bits)
            n += std::popcount(w);
        return n;
    }
    bool all() const { return (bits[0] & bits[1] & bits[2] & bits[3]) == ~std::uint64_t{0}; }
    bool none() const { return (bits[0] | bits[1] | bits[2] | bits[3]) == 0; }
    // The only member, or -1 when there are none or several.
    int single() const {
        int found = -1;
        for (int i = 0; i < 4; ++i) {
            const std::uint64_t w = bits[i];
            if (w == 0)
                continue;
            if (found >= 0 || (w & (w - 1)) != 0)
                return -1;
            found = i * 64 + std::countr_zero(w);
        }
        return found;
    }
    // The lowest member (meaningful when count() > 0).
    unsigned char first_member() const {
        for (int i = 0; i < 4; ++i)
            if (bits[i] != 0)
                return static_cast<unsigned char>(i * 64 + std::countr_zero(bits[i]));
        return 0;
    }
};

} // namespace regex::detail
