#pragma once

#include <cstddef>

// The limits of every transfer. A server that never answers, trickles a byte
// now and then or sends without end must not hold the worker: nothing for
// nStallMs, fewer than nFloorBytes in any nFloorSpanMs (about 34 bytes a
// second), longer than nCeilingMs in all, or a body over nMaxBodyBytes, and
// the transfer fails. Tests shorten them.
struct STransferLimits {
    long nStallMs = 30000;
    std::size_t nFloorBytes = 1024;
    long nFloorSpanMs = 30000;
    long nCeilingMs = 120000;
    std::size_t nMaxBodyBytes = 64u * 1024u * 1024u;
    long nConnectTimeoutMs = 10000;
};
