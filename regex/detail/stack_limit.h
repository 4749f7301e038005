// How deep the recursive matcher may go on the calling thread's stack.
#pragma once

#include <cstdint>

namespace regex::detail {

// The lowest stack address the recursive matcher may reach on this thread:
// the thread's stack base (pthread_getattr_np) plus a reserve kept for the
// unwinding and for the functions the matcher calls. Computed once per thread.
std::uintptr_t stack_limit();

// True when the calling frame is below the limit: the compiler and the
// analysis, which recurse once per nesting level of the pattern, then give up
// rather than overflow.
[[gnu::always_inline]] inline bool stack_low() {
    return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) < stack_limit();
}

// Thrown by the recursive matcher when it reaches the limit; the match call
// catches it and ends the attempt without a match.
struct stack_exhausted {};

} // namespace regex::detail
