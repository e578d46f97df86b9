// A tile's fields as real Win32 controls, one kind per field type: a drawn image, statics for
// text, edits (a password edit for password text), a push button, a check box, a drop-down
// list and a link. The window lays them out; this file makes them, shows values and states,
// and wipes them.
#pragma once

#include "window_fonts.h"
#include "window_messages.h"

struct FieldWindows {
    HWND control = nullptr;
    HWND label = nullptr;  // edits and combo boxes: the field's label beside the control
    HWND reveal = nullptr;  // password edits: the reveal button, shown when the options ask for it
};

// Creates the windows of the field at index under parent, hidden until laid out, showing the
// field's value; none past kMaxFieldControls.
FieldWindows CreateFieldWindows(HWND parent, const FieldValue& value, size_t index, const WindowFonts& fonts);

// Shows in the control what event changed in value (the record already holds it): one item
// added to or taken from a combo box, not the whole list again. Setting an edit's text raises
// EN_CHANGE: the window ignores that while it sets text itself.
void ShowFieldChange(const FieldValue& value, const FieldWindows& windows, const PostedFieldEvent& event);

// Enables, disables or makes read-only as the interactive state says; busy disables all.
void ShowInteractiveState(const FieldValue& value, const FieldWindows& windows, bool busy);

// Applies a copied event to a field's record (for the selected tile and the others alike).
// False when it is not applied: an item deleted that is not there, or appended to a combo box
// that holds kMaxComboBoxItems already (the cap on what a host reads from a tile, too).
bool RecordFieldEvent(FieldValue& value, PostedFieldEvent& event);

bool IsShownInSelectedTile(const TileField& field) noexcept;
bool IsShownInDeselectedTile(const TileField& field) noexcept;
bool IsEditField(const TileField& field) noexcept;
// A password field whose tile asks for the password-reveal button (CPCFO_ENABLE_PASSWORD_REVEAL).
bool HasRevealButton(const TileField& field) noexcept;
// Shows the password edit's text in plain or hides it again, as the reveal button now stands.
void ShowRevealedPassword(const FieldWindows& windows);

// Overwrites an edit control's text in place, then empties it, so that what was typed does not
// stay in the control's buffer; then destroys the windows.
void WipeAndDestroy(FieldWindows& windows);
void WipeEditText(HWND edit);

// Draws a tile image scaled into rect, or a plain placeholder when there is none.
void DrawTileImage(HDC dc, const RECT& rect, HBITMAP image);
