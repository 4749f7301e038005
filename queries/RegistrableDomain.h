#pragma once

#include <string>
#include <string_view>

// A host name as lists and services compare it: lower case (ASCII letters;
// other bytes as they are), without a trailing dot.
std::string NormalisedHost(std::string_view strHost);

// The registrable domain of a host by the Public Suffix List: its public
// suffix and the one label before it ("www.example.co.uk" gives
// "example.co.uk"), normalised as above. A host that is a public suffix
// itself, an IP address, or no name at all has none: the empty text.
//
// The list is the system's copy, which the distribution keeps current; it is
// read once, on first use, and shared read-only by every thread after that.
std::string RegistrableDomain(std::string_view strHost);
