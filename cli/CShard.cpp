#include "cli/CShard.h"

namespace {

constexpr unsigned kMaxCount = 1000000;
constexpr std::uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

// Reads a whole number from 1 to kMaxCount written in digits only.
bool ReadCount(std::string_view strText, unsigned& nValue) {
    if (strText.empty()) {
        return false;
    }
    unsigned long long nRead = 0;
    for (const char c : strText) {
        if (c < '0' || c > '9') {
            return false;
        }
        nRead = nRead * 10 + static_cast<unsigned>(c - '0');
        if (nRead > kMaxCount) {
            return false;
        }
    }
    nValue = static_cast<unsigned>(nRead);
    return nValue >= 1;
}

} // namespace

bool CShard::Takes(std::string_view strName) const {
    return Hash(strName) % nCount == nIndex - 1;
}

std::uint64_t CShard::Hash(std::string_view strName) {
    std::uint64_t nHash = kFnvOffsetBasis;
    for (const char c : strName) {
        nHash ^= static_cast<unsigned char>(c);
        nHash *= kFnvPrime;
    }
    return nHash;
}

bool CShard::Parse(const std::string& strText, CShard& shard, std::string& strError) {
    const std::size_t nSlash = strText.find('/');
    unsigned nIndex = 0;
    unsigned nCount = 0;
    if (nSlash == std::string::npos ||
        !ReadCount(std::string_view(strText).substr(0, nSlash), nIndex) ||
        !ReadCount(std::string_view(strText).substr(nSlash + 1), nCount) || nIndex > nCount) {
        strError = "the shard must be K/N, whole numbers with 1 <= K <= N <= " +
                   std::to_string(kMaxCount) + ", not '" + strText + "'";
        return false;
    }
    shard = CShard{nIndex, nCount};
    return true;
}
