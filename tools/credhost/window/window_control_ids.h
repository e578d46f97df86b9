// The tile window's class name and its controls' ids: a contract with the tests, which drive
// the window through window messages as a person would with the mouse and keyboard.
#pragma once

#include <cstddef>

inline constexpr wchar_t kTileWindowClass[] = L"credhost.TileWindow";

inline constexpr int kTileListId = 100;       // owner-drawn list box, one item per tile
inline constexpr int kStatusIconId = 101;     // the icon of the last status text
inline constexpr int kStatusTextId = 102;     // status text of GetSerialization / ReportResult
inline constexpr int kWaitIndicatorId = 103;  // shown while a submission runs
inline constexpr int kOutcomeTextId = 104;    // the submission's report, as `signin` prints it

// The selected tile's field at descriptor index N has its control at kFieldControlBase + N and,
// for edits and combo boxes, its label at kFieldLabelBase + N. Indexes, not the provider's field
// ids: those are any DWORD, and a control id must fit in the 16 bits of WM_COMMAND. A provider
// with more fields than kMaxFieldControls has the rest left undrawn.
inline constexpr int kFieldControlBase = 1000;
inline constexpr int kFieldLabelBase = 3000;
// A password field at index N with the reveal option has its reveal button (a push-like check
// box: pressed shows the password) at kRevealButtonBase + N.
inline constexpr int kRevealButtonBase = 5000;
inline constexpr size_t kMaxFieldControls = 2000;
