#pragma once

#include <string>
#include <string_view>

// An address as it may be shown or written: the userinfo becomes "...@",
// every query parameter's value "..." (a parameter without a name, "..."),
// and the fragment goes, so that no key a URL carries reaches a message, a
// file or a log. Scheme, host, port and path stay.
std::string ShownAddress(std::string_view strUrl);
