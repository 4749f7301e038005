// The exception a pattern that does not compile raises.
#pragma once

#include <stdexcept>

namespace regex {

// what() is one of the engine's fixed compile-error messages.
class bad_regexpr : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

} // namespace regex
