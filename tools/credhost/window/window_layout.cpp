#include "window_layout.h"

#include "tile_list.h"
#include "window_control_ids.h"

#include <commctrl.h>

namespace {

constexpr int kMargin = 12;
constexpr int kListWidth = 200;
constexpr int kFieldsLeft = kMargin + kListWidth + 16;
constexpr int kLabelWidth = 150;
constexpr int kControlLeft = kFieldsLeft + kLabelWidth + 6;
constexpr int kControlWidth = 260;
constexpr int kButtonWidth = 84;
constexpr int kRevealWidth = 56;
constexpr int kImageSize = 96;

HWND MakeChild(HWND parent, PCWSTR className, DWORD style, int id, HFONT font, DWORD exStyle = 0) {
    HWND child = CreateWindowExW(exStyle, className, L"", WS_CHILD | style, 0, 0, 10, 10, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

// The index of the shown field with id fieldId that has a control, other than except; -1 if none.
int ShownControlOf(const std::vector<FieldValue>& fields, const std::vector<FieldWindows>& controls, DWORD fieldId,
                   size_t except) {
    for (size_t index = 0; index < fields.size() && index < controls.size(); ++index) {
        if (index != except && fields[index].field.id == fieldId && IsShownInSelectedTile(fields[index].field) &&
            controls[index].control != nullptr) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

}  // namespace

FixedControls CreateFixedControls(HWND window, const WindowFonts& fonts) {
    FixedControls fixed;
    fixed.list =
        MakeChild(window, L"LISTBOX",
                  WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                  kTileListId, fonts.Normal(), WS_EX_CLIENTEDGE);
    SendMessageW(fixed.list, LB_SETITEMHEIGHT, 0, kTileListItemHeight);
    fixed.statusIcon = MakeChild(window, L"STATIC", SS_ICON, kStatusIconId, fonts.Normal());
    fixed.statusText = MakeChild(window, L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kStatusTextId, fonts.Normal());
    fixed.wait = MakeChild(window, PROGRESS_CLASSW, PBS_MARQUEE, kWaitIndicatorId, fonts.Normal());
    fixed.outcome = MakeChild(window, L"EDIT", WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kOutcomeTextId,
                              fonts.Mono(), WS_EX_CLIENTEDGE);
    return fixed;
}

void LayOutWindow(HWND window, const FixedControls& fixed, const std::vector<FieldValue>* fields,
                  const std::vector<FieldWindows>& controls) {
    RECT client{};
    GetClientRect(window, &client);
    MoveWindow(fixed.list, kMargin, kMargin, kListWidth, client.bottom - 2 * kMargin, TRUE);
    int top = kMargin;
    for (size_t index = 0; fields != nullptr && index < fields->size(); ++index) {
        const TileField& field = (*fields)[index].field;
        const FieldWindows& windows = controls[index];
        const bool shown = IsShownInSelectedTile(field) && windows.control != nullptr;
        for (HWND child : {windows.control, windows.label}) {
            if (child != nullptr) {
                ShowWindow(child, shown ? SW_SHOWNA : SW_HIDE);
            }
        }
        if (windows.reveal != nullptr) {
            ShowWindow(windows.reveal, shown && HasRevealButton(field) ? SW_SHOWNA : SW_HIDE);
        }
        if (!shown || field.type == CPFT_SUBMIT_BUTTON) {
            continue;
        }
        switch (field.type) {
        case CPFT_TILE_IMAGE:
            MoveWindow(windows.control, kFieldsLeft, top, kImageSize, kImageSize, TRUE);
            top += kImageSize + 10;
            break;
        case CPFT_LARGE_TEXT:
            MoveWindow(windows.control, kFieldsLeft, top, 480, 28, TRUE);
            top += 32;
            break;
        case CPFT_SMALL_TEXT:
        case CPFT_COMMAND_LINK:
            MoveWindow(windows.control, kFieldsLeft, top, 480, 20, TRUE);
            top += 26;
            break;
        case CPFT_CHECKBOX:
            MoveWindow(windows.control, kControlLeft, top, 380, 22, TRUE);
            top += 28;
            break;
        default:  // edits and combo boxes: a label, then the control (and a password's reveal button)
            MoveWindow(windows.label, kFieldsLeft, top + 4, kLabelWidth, 20, TRUE);
            MoveWindow(windows.control, kControlLeft, top,
                       HasRevealButton(field) ? kControlWidth - kRevealWidth - 4 : kControlWidth,
                       field.type == CPFT_COMBOBOX ? 160 : 24, TRUE);
            MoveWindow(windows.reveal, kControlLeft + kControlWidth - kRevealWidth, top, kRevealWidth, 24, TRUE);
            top += 32;
            break;
        }
    }
    // Submit buttons sit beside the field they name, or on a row of their own.
    for (size_t index = 0; fields != nullptr && index < fields->size(); ++index) {
        const TileField& field = (*fields)[index].field;
        if (field.type != CPFT_SUBMIT_BUTTON || !IsShownInSelectedTile(field)) {
            continue;
        }
        RECT beside{};
        const int adjacent = ShownControlOf(*fields, controls, field.adjacentTo, index);
        if (adjacent >= 0) {
            // Beside the password's reveal button, when it has one.
            const FieldWindows& neighbour = controls[adjacent];
            const bool reveal = neighbour.reveal != nullptr && HasRevealButton((*fields)[adjacent].field);
            GetWindowRect(reveal ? neighbour.reveal : neighbour.control, &beside);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&beside), 2);
            MoveWindow(controls[index].control, beside.right + 8, beside.top, kButtonWidth, 24, TRUE);
            continue;
        }
        MoveWindow(controls[index].control, kControlLeft, top, kButtonWidth, 26, TRUE);
        top += 34;
    }
    top += 6;
    MoveWindow(fixed.statusIcon, kFieldsLeft, top, 32, 32, TRUE);
    MoveWindow(fixed.statusText, kFieldsLeft + 40, top, client.right - kFieldsLeft - 40 - kMargin, 34, TRUE);
    top += 40;
    MoveWindow(fixed.wait, kFieldsLeft + 40, top, 240, 12, TRUE);
    top += 20;
    MoveWindow(fixed.outcome, kFieldsLeft, top, client.right - kFieldsLeft - kMargin, client.bottom - top - kMargin,
               TRUE);
    InvalidateRect(window, nullptr, TRUE);
}
