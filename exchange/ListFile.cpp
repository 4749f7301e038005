#include "exchange/ListFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kReadBlock = std::size_t{1} << 20;

std::string TooLargeMessage(std::size_t nMaxBytes) {
    return "the list is too large to import (more than " + std::to_string(nMaxBytes >> 20) +
           " MiB)";
}

// The size a regular file claims, so the buffer is made once; 0 for pipes.
std::size_t ExpectedSize(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        return 0;
    }
    return static_cast<std::size_t>(info.st_size);
}

bool ReadAll(int fd, std::string& strBytes, std::string& strError, std::size_t nMaxBytes) {
    const std::size_t nExpected = ExpectedSize(fd);
    if (nExpected > nMaxBytes) {
        strError = TooLargeMessage(nMaxBytes);
        return false;
    }
    // One byte beyond the expected size, so the end shows without growing.
    strBytes.resize(nExpected > 0 ? nExpected + 1 : kReadBlock);
    std::size_t nUsed = 0;
    for (;;) {
        if (nUsed == strBytes.size()) {
            strBytes.resize(std::min(nUsed + std::max(nUsed, kReadBlock), nMaxBytes + 1));
        }
        const ssize_t nRead = read(fd, strBytes.data() + nUsed, strBytes.size() - nUsed);
        if (nRead < 0 && errno == EINTR) {
            continue;
        }
        if (nRead < 0) {
            strError = std::strerror(errno);
            return false;
        }
        if (nRead == 0) {
            break;
        }
        nUsed += static_cast<std::size_t>(nRead);
        if (nUsed > nMaxBytes) {
            strError = TooLargeMessage(nMaxBytes);
            return false;
        }
    }
    strBytes.resize(nUsed);
    return true;
}

// Appends one code point as UTF-8.
void AppendUtf8(std::string& strText, char32_t cp) {
    if (cp < 0x80) {
        strText += static_cast<char>(cp);
    } else if (cp < 0x800) {
        strText += static_cast<char>(0xC0 | (cp >> 6));
        strText += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        strText += static_cast<char>(0xE0 | (cp >> 12));
        strText += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        strText += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        strText += static_cast<char>(0xF0 | (cp >> 18));
        strText += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        strText += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        strText += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// UTF-16 after its byte-order mark, to UTF-8. A lone surrogate becomes U+FFFD
// and an odd last byte is dropped; the zero unit stays a zero byte.
std::string Utf16ToUtf8(const std::string& strBytes, bool bBigEndian) {
    auto unitAt = [&](std::size_t i) -> char32_t {
        const auto b0 = static_cast<unsigned char>(strBytes[i]);
        const auto b1 = static_cast<unsigned char>(strBytes[i + 1]);
        return bBigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
    };
    std::string strText;
    strText.reserve(strBytes.size() / 2);
    const std::size_t nUnits = strBytes.size() / 2;
    for (std::size_t k = 1; k < nUnits; ++k) {
        char32_t cp = unitAt(2 * k);
        if (IsHighSurrogate(cp) && k + 1 < nUnits && IsLowSurrogate(unitAt(2 * k + 2))) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unitAt(2 * k + 2) - 0xDC00);
            ++k;
        } else if (IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
            cp = 0xFFFD;
        }
        AppendUtf8(strText, cp);
    }
    return strText;
}

bool StartsWith(const std::string& strBytes, const char* pszMark) {
    return strBytes.compare(0, std::strlen(pszMark), pszMark) == 0;
}

} // namespace

bool ReadListBytes(int fd, std::string& strBytes, std::string& strError, std::size_t nMaxBytes) {
    strBytes.clear();
    try {
        if (ReadAll(fd, strBytes, strError, nMaxBytes)) {
            return true;
        }
    } catch (const std::bad_alloc&) {
        strError = "not enough memory to hold the list";
    } catch (const std::length_error&) {
        strError = "not enough memory to hold the list";
    }
    std::string().swap(strBytes);
    return false;
}

bool ReadListFile(const std::string& strPath, std::string& strBytes, std::string& strError,
                  std::size_t nMaxBytes) {
    const int fd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        strError = std::strerror(errno);
        strBytes.clear();
        return false;
    }
    const bool bRead = ReadListBytes(fd, strBytes, strError, nMaxBytes);
    close(fd);
    return bRead;
}

std::string DecodeListText(std::string strBytes, std::size_t* pZeroAt) {
    std::string strText;
    if (StartsWith(strBytes, "\xFF\xFE") || StartsWith(strBytes, "\xFE\xFF")) {
        strText = Utf16ToUtf8(strBytes, strBytes[0] == '\xFE');
    } else if (StartsWith(strBytes, "\xEF\xBB\xBF")) {
        strBytes.erase(0, 3);
        strText = std::move(strBytes);
    } else {
        strText = std::move(strBytes);
    }
    const std::size_t nZero = strText.find('\0');
    if (nZero != std::string::npos) {
        strText.resize(nZero);
    }
    if (pZeroAt != nullptr) {
        *pZeroAt = nZero;
    }
    return strText;
}
