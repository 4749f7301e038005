#include "queries/TextHelpers.h"

#include "queries/CMd5Context.h"

#include <cstdio>
#include <ctime>

std::string Md5Hex(const void* pData, std::size_t nLength) {
    CMd5Context context;
    context.Update(static_cast<const std::uint8_t*>(pData), nLength);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string strHex;
    strHex.reserve(2 * CMd5Context::kDigestSize);
    for (std::uint8_t nByte : context.Final()) {
        strHex += kDigits[nByte >> 4];
        strHex += kDigits[nByte & 0x0F];
    }
    return strHex;
}

std::string FormatTimestamp(std::chrono::system_clock::time_point tp) {
    using namespace std::chrono;
    const auto nSinceEpoch = duration_cast<milliseconds>(tp.time_since_epoch()).count();
    // Floor division, so a moment before the epoch still has 0..999 ms.
    auto nSeconds = nSinceEpoch / 1000;
    auto nMillis = nSinceEpoch % 1000;
    if (nMillis < 0) {
        nMillis += 1000;
        --nSeconds;
    }
    const std::time_t tSeconds = static_cast<std::time_t>(nSeconds);
    std::tm local{};
    localtime_r(&tSeconds, &local);

    char szText[64];
    std::snprintf(szText, sizeof szText, "%d-%02d-%02d %02d:%02d:%02d.%d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(nMillis));
    return szText;
}

std::string MakeTimestampToken(std::chrono::system_clock::time_point tp) {
    return Md5Hex(FormatTimestamp(tp));
}

std::string MakeTimestampToken() {
    return MakeTimestampToken(std::chrono::system_clock::now());
}

std::string UrlEncode(std::string_view strText) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string strEncoded;
    for (char ch : strText) {
        const auto nByte = static_cast<unsigned char>(ch);
        if (nByte == 0) {
            break;
        }
        const bool bPlain = (nByte >= 'A' && nByte <= 'Z') || (nByte >= 'a' && nByte <= 'z') ||
                            (nByte >= '0' && nByte <= '9');
        if (bPlain) {
            strEncoded += ch;
        } else {
            strEncoded += '%';
            strEncoded += kDigits[nByte >> 4];
            strEncoded += kDigits[nByte & 0x0F];
        }
    }
    return strEncoded;
}

std::string ReplaceAll(std::string_view strText, std::string_view strFind,
                       std::string_view strReplace) {
    std::string strResult(strText);
    if (strFind.empty()) {
        return strResult; // every position would match and the search would never end
    }
    std::size_t nPos = 0;
    while ((nPos = strResult.find(strFind, nPos)) != std::string::npos) {
        strResult.replace(nPos, strFind.size(), strReplace);
        nPos += strReplace.size();
    }
    return strResult;
}

std::string EscapeControls(std::string_view strText) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string strOut;
    const auto escape = [&](unsigned char c) {
        strOut += "\\x";
        strOut += kHex[c >> 4];
        strOut += kHex[c & 0x0F];
    };
    for (std::size_t n = 0; n < strText.size(); ++n) {
        const auto c = static_cast<unsigned char>(strText[n]);
        const bool bC1 = c == 0xC2 && n + 1 < strText.size() &&
                         static_cast<unsigned char>(strText[n + 1]) >= 0x80 &&
                         static_cast<unsigned char>(strText[n + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F) {
            escape(c);
        } else if (bC1) {
            escape(c);
            escape(static_cast<unsigned char>(strText[++n]));
        } else {
            strOut += static_cast<char>(c);
        }
    }
    return strOut;
}
