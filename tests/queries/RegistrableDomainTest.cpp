#include "queries/RegistrableDomain.h"

#include <gtest/gtest.h>

namespace {

struct SCase {
    const char* pHost;
    const char* pRegistrable;
};

TEST(RegistrableDomainTest, FollowsThePublicSuffixList) {
    const SCase cases[] = {
        {"example.com", "example.com"},
        {"www.example.com", "example.com"},
        {"a.b.c.example.com", "example.com"},
        {"www.example.co.uk", "example.co.uk"},
        {"example.co.uk", "example.co.uk"},
        {"WWW.Example.COM.", "example.com"},
        {"foo.blogspot.com", "foo.blogspot.com"}, // a private suffix counts too
        {"co.uk", ""},                            // a suffix itself
        {"com", ""},
        {"", ""},
        {".", ""},
        {"192.0.2.7", ""},
        {"2001:db8::1", ""},
        {"[2001:db8::1]", ""},
        {"host.unlisted-tld", "host.unlisted-tld"}, // the default rule: one label
    };
    for (const SCase& c : cases)
        EXPECT_EQ(RegistrableDomain(c.pHost), c.pRegistrable) << c.pHost;
}

TEST(RegistrableDomainTest, NormalisesCaseAndTrailingDot) {
    EXPECT_EQ(NormalisedHost("WWW.Example.Org."), "www.example.org");
    EXPECT_EQ(NormalisedHost("already.lower"), "already.lower");
    EXPECT_EQ(NormalisedHost(""), "");
}

} // namespace
