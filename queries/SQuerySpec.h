#pragma once

#include <string>

// How a value is read out of a reply.
enum class EReplyParser {
    // The first non-empty group of the pattern's first match.
    Pattern,
    // A toolbar line "Rank_1:1:7": the text after its last colon, without
    // line feeds; a reply not starting with "Rank" holds no value.
    Toolbar,
};

// Everything that tells one metric's request and reply from another's: the
// query set runs one path over it.
//
// The URL is a template. {domain} stands for the domain as given,
// {domain_url} for it percent-encoded, {token} for a fresh timestamp token,
// and {checksum} for the toolbar checksum of the checksum text (itself a
// template, without {checksum}).
struct SQuerySpec {
    std::string strUrl;
    std::string strChecksumText;
    EReplyParser parser = EReplyParser::Pattern;
    // Compiled case-insensitive, global, with "." taking line breaks.
    std::string strPattern;
    // When the first match's groups are all empty, take the first count text
    // (digits and commas) among the groups of the later matches.
    bool bLaterMatches = false;
    // A first match holding this byte has run past the element it started
    // in, so its group belongs to another element: no value ('\0': no bound).
    char chElementEnd = '\0';
};
