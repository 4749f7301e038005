#pragma once

#include "queries/SQueryResult.h"

#include <cstdint>
#include <string>
#include <string_view>

// A cell's state as the few bytes a record keeps of it. Most cells are
// values answered with status 200 in their row's scan: one byte. The status,
// a time of the cell's own (when it was asked apart from its row) and the
// detail follow, led by their length, only when there is something to say.
//
// A detail is kept once for all cells: the row's domain in it stands as a
// mark, and the text is interned, so that a million failed cells of one
// service share a few texts (one address, libcurl's few messages) and each
// keeps only their number.
class CCellNote {
public:
    // nRowTime: the row's scan time, which a cell asked with its row shares;
    // strDomain: the row's domain.
    static std::string Encode(const SCellState& state, std::uint32_t nRowTime,
                              std::string_view strDomain);
    static SCellState Decode(std::string_view strNote, std::uint32_t nRowTime,
                             std::string_view strDomain);
    // The state as a tally counts it: a failure's whole, else only the
    // outcome, which the head byte tells without reading the rest.
    static SCellState Counted(std::string_view strNote, std::uint32_t nRowTime,
                              std::string_view strDomain);

    // A row keeps the notes of all its cells in one text, each note its head
    // byte and, when it says more, the length of the rest and the rest. A
    // cell past the end has the empty note: not asked.
    static std::string_view NoteAt(std::string_view strNotes, std::size_t nCell);
    // The notes with one cell's note replaced.
    static std::string WithNote(std::string_view strNotes, std::size_t nCell,
                                std::string_view strNote);
};
