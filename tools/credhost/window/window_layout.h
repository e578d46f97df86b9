// Where the tile window's controls go: the controls every window has (the tile list, the
// status, the wait indicator, the report), and the places of those and of the selected tile's
// field controls, which follow the fields' types and states.
#pragma once

#include "field_controls.h"

#include <vector>

struct FixedControls {
    HWND list = nullptr;
    HWND statusIcon = nullptr;
    HWND statusText = nullptr;
    HWND wait = nullptr;
    HWND outcome = nullptr;
};

// Creates the fixed controls under window; the window lays them out.
FixedControls CreateFixedControls(HWND window, const WindowFonts& fonts);

// Moves every control to its place and shows the fields the tile shows; fields may be null
// (no tile selected). controls holds fields' windows, by field index.
void LayOutWindow(HWND window, const FixedControls& fixed, const std::vector<FieldValue>* fields,
                  const std::vector<FieldWindows>& controls);
