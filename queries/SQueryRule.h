#pragma once

#include <memory>
#include <string>
#include <vector>

class CJqProgram;

// How a value is read out of a reply.
enum class EReplyParser {
    // The first non-empty group of the pattern's first match.
    Pattern,
    // A toolbar line "Rank_1:1:7": the text after its last colon, without
    // line feeds; a reply not starting with "Rank" holds no value.
    Toolbar,
    // A JSON reply read by the jq program pJq: its first output, a string or
    // a number, is the value.
    Jq,
};

// Everything that tells one metric's request and reply from another's: the
// query set runs one path over it.
//
// The URL is a template. {domain} stands for the domain as given,
// {domain_url} for it percent-encoded, {site} for its registrable domain (the
// domain as given when it has none), {token} for a fresh timestamp token,
// {env:NAME} for the environment variable NAME (empty when unset), and
// {checksum} for the toolbar checksum of the checksum text (itself a
// template, without {checksum}).
struct SQueryRule {
    std::string strUrl;
    std::string strChecksumText;
    EReplyParser parser = EReplyParser::Pattern;
    // Compiled case-insensitive, global, with "." taking line breaks.
    std::string strPattern;
    // Compiled when the definition was read; shared by every copy of the rule.
    std::shared_ptr<const CJqProgram> pJq;
    // When the first match's groups are all empty, take the first count text
    // (digits and commas) among the groups of the later matches.
    bool bLaterMatches = false;
    // A first match holding this byte has run past the element it started
    // in, so its group belongs to another element: no value ('\0': no bound).
    char chElementEnd = '\0';

    // When no value is found: the service said it has nothing for the domain
    // if the reply matches this pattern (same flags; empty: never), or, with
    // bNoneWhenEmpty, when the reply is empty with status 200.
    // With a jq program, bNoneWhenEmpty also takes a program without a value
    // (null, false, no output) as nothing found.
    std::string strNonePattern;
    bool bNoneWhenEmpty = false;
    // Statuses whose reply means nothing found, whatever its body.
    std::vector<int> arrNoneStatuses;

    // The forms of the service's block, captcha and consent pages: a
    // redirect to, or a final address on, one of these hosts; a path on the
    // asked host starting with one of these; a page matching this pattern.
    std::vector<std::string> arrBlockHosts;
    std::vector<std::string> arrBlockPaths;
    std::string strBlockPattern;

    // Request headers ("Name: value"), each a template like the URL.
    std::vector<std::string> arrHeaders;
};
