#include "net/RetryAfter.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

long RetryAfterSeconds(std::string_view strValue, std::time_t tNow) {
    if (strValue.empty()) {
        return 0;
    }
    if (std::isdigit(static_cast<unsigned char>(strValue.front())) != 0) {
        long long nSeconds = 0;
        const char* pEnd = strValue.data() + strValue.size();
        const auto [pStop, error] = std::from_chars(strValue.data(), pEnd, nSeconds);
        if (pStop != pEnd) {
            return 0;
        }
        // Digits too many for any integer ask for longer than the longest.
        if (error == std::errc::result_out_of_range) {
            return kLongestRetryAfter;
        }
        return static_cast<long>(std::min<long long>(nSeconds, kLongestRetryAfter));
    }
    // An HTTP date (IMF-fixdate, or the obsolete RFC 850 and asctime forms).
    const std::time_t tAt = curl_getdate(std::string(strValue).c_str(), nullptr);
    if (tAt == -1 || tAt <= tNow) {
        return 0;
    }
    const std::time_t nDelay = tAt - tNow;
    return nDelay >= kLongestRetryAfter ? kLongestRetryAfter : static_cast<long>(nDelay);
}
