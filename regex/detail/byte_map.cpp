#include "regex/detail/byte_map.h"

#include <array>
#include <cstring>

namespace regex::detail {

const std::uint8_t* byte_map(arena_allocator& arena, const byte_table& table) {
    // Eight bits of the set at a time become eight bytes of the map.
    static constexpr auto spread = [] {
        std::array<std::array<std::uint8_t, 8>, 256> t{};
        for (unsigned v = 0; v < 256; ++v)
            for (unsigned b = 0; b < 8; ++b)
                t[v][b] = (v >> b) & 1;
        return t;
    }();
    auto* map = static_cast<std::uint8_t*>(arena.allocate(256));
    for (unsigned i = 0; i < 32; ++i) {
        const auto eight = static_cast<unsigned>((table.bits[i / 8] >> (8 * (i % 8))) & 0xFF);
        std::memcpy(map + 8 * i, spread[eight].data(), 8);
    }
    return map;
}

} // namespace regex::detail
