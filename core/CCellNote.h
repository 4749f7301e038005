#pragma once

#include "queries/SQueryResult.h"

#include <cstdint>
#include <string>
#include <string_view>

// What became of one cell, beside its value text.
struct SCellState {
    EOutcome outcome = EOutcome::NotAsked;
    EFailReason reason = EFailReason::None;
    // The final reply's status; 0 when none came.
    int nHttpStatus = 0;
    std::string strDetail;
    // When the cell was asked, in seconds since 1970; 0 when never.
    std::uint32_t nFetchedAt = 0;
    // Marked to be asked again by the next pass.
    bool bPending = false;
};

// A cell's state as the few bytes a record keeps of it. Most cells are
// values answered with status 200 in their row's scan: one byte. The status,
// a time of the cell's own (when it was asked apart from its row) and the
// detail follow, led by their length, only when there is something to say.
class CCellNote {
public:
    // nRowTime: the row's scan time, which a cell asked with its row shares.
    static std::string Encode(const SCellState& state, std::uint32_t nRowTime);
    static SCellState Decode(std::string_view strNote, std::uint32_t nRowTime);

    // A row keeps the notes of all its cells in one text, each note its head
    // byte and, when it says more, the length of the rest and the rest. A
    // cell past the end has the empty note: not asked.
    static std::string_view NoteAt(std::string_view strNotes, std::size_t nCell);
    // The notes with one cell's note replaced.
    static std::string WithNote(std::string_view strNotes, std::size_t nCell,
                                std::string_view strNote);
};
