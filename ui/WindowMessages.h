#pragma once

// Messages the window posts to itself for the scan controller's reports,
// and the tray's callback message.
inline constexpr unsigned WM_DOMAIN_ADDED = 0x8064;
inline constexpr unsigned WM_TRAY_NOTIFY = 0x8065;
inline constexpr unsigned WM_QUERY_BEGIN = 0x8066;
inline constexpr unsigned WM_QUERY_END = 0x8067;
// A pass over the rows is through; its summary waits in the window.
inline constexpr unsigned WM_PASS_END = 0x8068;
