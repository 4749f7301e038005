#pragma once

#include <functional>

class CDomainRecord;

// Messages the scan controller posts to the main window.
inline constexpr unsigned WM_DOMAIN_ADDED = 0x8064;
inline constexpr unsigned WM_TRAY_NOTIFY = 0x8065;
inline constexpr unsigned WM_QUERY_BEGIN = 0x8066;
inline constexpr unsigned WM_QUERY_END = 0x8067;

// Delivers a message and its record to the window. The window's poster queues
// the call onto its own thread; the worker never waits for it.
using MessagePoster = std::function<void(unsigned nMessage, CDomainRecord* pRecord)>;
