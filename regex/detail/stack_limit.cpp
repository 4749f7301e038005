#include "regex/detail/stack_limit.h"

#include <pthread.h>

#include <algorithm>
#include <cstddef>

namespace regex::detail {

namespace {

std::uintptr_t compute_limit() {
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    pthread_attr_t attr;
    void* base = nullptr;
    std::size_t size = 0;
    bool known = false;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        known = pthread_attr_getstack(&attr, &base, &size) == 0 && size > 0;
        pthread_attr_destroy(&attr);
    }
    if (!known) // assume a modest stack below the current frame
        return here > (512u << 10) ? here - (512u << 10) : 0;
    const auto low = reinterpret_cast<std::uintptr_t>(base);
    if (here <= low)
        return here;
    // Keep a quarter of what is left below us, at most 128 KiB, for what is
    // not recursion (unwinding, the calls the matcher makes). What is left is
    // measured from here: some runtimes (the thread sanitizer's) report a
    // region larger than the stack the thread really has.
    const std::uintptr_t reserve = std::min<std::uintptr_t>((here - low) / 4, 128u << 10);
    return low + reserve;
}

} // namespace

std::uintptr_t stack_limit() {
    thread_local const std::uintptr_t limit = compute_limit();
    return limit;
}

} // namespace regex::detail
