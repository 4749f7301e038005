#pragma once

#include <cstddef>
#include <string>
#include <vector>

// How a list writes the name on each of its lines.
enum class EListNames {
    Registrable, // the registrable domain: "example.co.uk"
    Host,        // a host as written: "www.example.co.uk"
    Origin,      // a scheme and a host: "https://www.example.co.uk"
    Reversed,    // labels in reverse: "uk.co.example"
};

// Which names of a row are asked of the list, in order.
enum class EListLookup {
    Registrable, // the row's registrable domain
    Host,        // the host as written, then its registrable domain
    Origin,      // https://NAME, https://www.NAME, http://NAME, http://www.NAME; the best value
};

// A column of the list: its number from 1, or its header's name.
struct SListColumn {
    int nNumber = 0;
    std::string strHeader;

    bool operator==(const SListColumn&) const = default;
    // "3" or "name", as files and the database write it.
    std::string Text() const { return strHeader.empty() ? std::to_string(nNumber) : strHeader; }
};

// Everything needed to download and read one list. Two sources that read the
// same list the same way share one download and one database, which holds
// the value columns of both.
struct SListDefinition {
    std::string strUrl;
    // The file inside an archive; empty: the first one.
    std::string strMember;
    bool bHeader = false;
    char chSeparator = ',';
    // Lines starting with '#' are notes, not rows.
    bool bComments = false;
    SListColumn nameColumn{1, {}};
    // Every value column a source takes from this list.
    std::vector<SListColumn> valueColumns;
    EListNames names = EListNames::Registrable;
    // Refreshed when older than this.
    int nRefreshHours = 24;
    // The download may not be larger than this, and the list unpacked not
    // larger than kUnpackFactor times it.
    std::size_t nMaxBytes = 256u * 1024u * 1024u;
    // A list with fewer good rows than this is refused.
    std::size_t nMinRows = 1000;
    // How the progress texts name the list: "the Tranco list".
    std::string strTitle;
    // The list's publisher and licence.
    std::string strAttribution;

    static constexpr std::size_t kUnpackFactor = 20;

    // What makes two definitions read the same list the same way; the
    // database's file name comes from it.
    std::string FormatKey() const;
};

// How one source reads a list: the list, the source's own value column, and
// which names of a row it asks.
struct SListSource {
    SListDefinition list;
    SListColumn value{1, {}};
    EListLookup lookup = EListLookup::Registrable;

    bool IsSet() const { return !list.strUrl.empty(); }
};
