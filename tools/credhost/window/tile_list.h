// The left column of the window: the tiles as the sign-in screen lists them, each drawn with
// its image and the text fields that a deselected tile shows.
#pragma once

#include "window_fonts.h"
#include "window_messages.h"

inline constexpr int kTileListItemHeight = 64;

void DrawTileListItem(const DRAWITEMSTRUCT& item, const TileSnapshot& tile, const WindowFonts& fonts);

// An item that stands for no tile: a line of text where the tiles would be.
void DrawTileListNote(const DRAWITEMSTRUCT& item, const wchar_t* text, const WindowFonts& fonts);
