#include "ui/TrayRect.h"

#include <array>

namespace {

// The guess keeps clear of the panel's very end, where a clock or a button
// usually sits.
constexpr int kAreaLength = 100;
constexpr int kEndMargin = 16;

constexpr int kCornerWidth = 150;
constexpr int kCornerHeight = 30;

} // namespace

STrayRect RectFromPanel(const SPanel& panel) {
    const STrayRect& bar = panel.bar;
    switch (panel.edge) {
    case EPanelEdge::Left:
    case EPanelEdge::Right:
        return {bar.left, bar.bottom - kAreaLength, bar.right, bar.bottom - kEndMargin};
    case EPanelEdge::Top:
    case EPanelEdge::Bottom:
        return {bar.right - kAreaLength, bar.top, bar.right - kEndMargin, bar.bottom};
    }
    return bar;
}

STrayRect CornerRect(const STrayRect& workArea) {
    return {workArea.right - kCornerWidth, workArea.bottom - kCornerHeight, workArea.right,
            workArea.bottom};
}

std::optional<SPanel> FindPanel(const STrayRect& screen, const STrayRect& workArea) {
    if (screen.IsEmpty() || workArea.IsEmpty()) {
        return std::nullopt;
    }
    const std::array<SPanel, 4> candidates = {{
        {EPanelEdge::Bottom, {screen.left, workArea.bottom, screen.right, screen.bottom}},
        {EPanelEdge::Top, {screen.left, screen.top, screen.right, workArea.top}},
        {EPanelEdge::Right, {workArea.right, screen.top, screen.right, screen.bottom}},
        {EPanelEdge::Left, {screen.left, screen.top, workArea.left, screen.bottom}},
    }};
    std::optional<SPanel> best;
    int nBestDepth = 0;
    for (const SPanel& candidate : candidates) {
        const bool bVertical =
            candidate.edge == EPanelEdge::Left || candidate.edge == EPanelEdge::Right;
        const int nDepth = bVertical ? candidate.bar.right - candidate.bar.left
                                     : candidate.bar.bottom - candidate.bar.top;
        if (nDepth > nBestDepth) {
            nBestDepth = nDepth;
            best = candidate;
        }
    }
    return best;
}

STrayRect FindTrayRect(const std::optional<STrayRect>& iconRect, const STrayRect& screen,
                       const STrayRect& workArea) {
    if (iconRect && !iconRect->IsEmpty()) {
        return *iconRect;
    }
    if (const std::optional<SPanel> panel = FindPanel(screen, workArea)) {
        return RectFromPanel(*panel);
    }
    return CornerRect(workArea);
}
