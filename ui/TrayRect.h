#pragma once

#include <optional>

// Where the window flies to when it goes into the tray: the rules that pick
// the target rectangle, kept free of any window so they can be checked alone.
//
// Rectangles are screen rectangles in pixels whose right and bottom edges lie
// just outside the area (left <= x < right), as a panel's strut is measured.

struct STrayRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool IsEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const STrayRect&, const STrayRect&) = default;
};

// The screen edge a panel (the stand-in for the taskbar) is docked to.
enum class EPanelEdge { Left, Top, Right, Bottom };

struct SPanel {
    EPanelEdge edge;
    STrayRect bar;
};

// The notification area guessed from a panel: near the far end of a vertical
// panel, or near the right end of a horizontal one.
STrayRect RectFromPanel(const SPanel& panel);

// The 150 by 30 pixel lower right corner of the work area.
STrayRect CornerRect(const STrayRect& workArea);

// The panel that takes the strip between the screen and its work area, or
// none when the work area fills the screen. With panels on several edges the
// widest strip wins; on a tie the order bottom, top, right, left decides.
std::optional<SPanel> FindPanel(const STrayRect& screen, const STrayRect& workArea);

// The target of the flight: the tray icon's own rectangle when the tray
// reports one, else the rectangle derived from the panel, else the corner of
// the work area.
STrayRect FindTrayRect(const std::optional<STrayRect>& iconRect, const STrayRect& screen,
                       const STrayRect& workArea);
