// Classification and letter case are those of the "C" locale whatever locale
// the process sets: bytes 0x80 to 0xFF compare exactly.
#include "regex_test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

// Sets the first locale of `names` the system has; restores the old one.
class scoped_locale {
public:
    explicit scoped_locale(std::initializer_list<const char*> names) {
        m_old = std::setlocale(LC_ALL, nullptr);
        for (const char* name : names)
            if (std::setlocale(LC_ALL, name) != nullptr) {
                m_set = name;
                break;
            }
    }
    ~scoped_locale() { std::setlocale(LC_ALL, m_old.c_str()); }
    const std::string& name() const { return m_set; }

private:
    std::string m_old;
    std::string m_set;
};

struct locale_row {
    std::string pattern;
    std::uint32_t flags;
    std::string subject;
    std::string expected;
};

const locale_row locale_rows[] = {
    // Latin-1 and GBK high bytes: no case, no class.
    {"\xe9", regex::ignore_case, "\xc9\xe9", "\xe9@1"},
    {"(\xc9)\\1", regex::ignore_case, "\xc9\xe9\xc9\xc9", "\xc9\xc9@2 | \xc9@2"},
    {"[\xe0-\xef]+", regex::ignore_case, "\xc9\xe9\xea", "\xe9\xea@1"},
    {"\\w+", regex::noflags, "\xe9t\xe9", "t@1"},
    {"[[:alpha:]]+", regex::noflags, "\xb0\xd9x", "x@2"},
    {"\\s", regex::noflags, "\xa0\x85 ", " @2"},
    {"[^0-9]+", regex::noflags,
     "\xb8\xf6"
     "1",
     "\xb8\xf6@0"},
    {"\\bx", regex::noflags, "\xe9x", "x@1"},
    {"\xb0\xd9[^0-9]*([0-9,]*?)\xc6\xaa", 0x8B,
     "\xb0\xd9\xd4\xbc"
     "12\xc6\xaa",
     "\xb0\xd9\xd4\xbc"
     "12\xc6\xaa@0 | 12@4"},
};

TEST(LocaleIndependence, HighBytesCompareExactlyUnderAnyLocale) {
    const scoped_locale locale({"de_DE.ISO-8859-1", "de_DE", "en_US.ISO-8859-1", "fr_FR",
                                "zh_CN.GBK", "en_US.UTF-8", "C.UTF-8", "C.utf8"});
    SCOPED_TRACE("locale " + locale.name());
    for (const auto& row : locale_rows)
        for (auto mode : regex_test::both_modes)
            EXPECT_EQ(
                regex_test::printable(regex_test::run(row.pattern, row.flags, mode, row.subject)),
                regex_test::printable(row.expected))
                << regex_test::printable(row.pattern) << " " << regex_test::mode_name(mode);
}

} // namespace
