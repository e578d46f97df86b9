#include "field_controls.h"

#include "window_control_ids.h"
#include "wiping_allocator.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

namespace {

HWND MakeChild(HWND parent, PCWSTR className, PCWSTR text, DWORD style, int id, HFONT font) {
    HWND child = CreateWindowExW(0, className, text, WS_CHILD | style, 0, 0, 10, 10, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

HWND MakeControl(HWND parent, const TileField& field, int id, const WindowFonts& fonts) {
    switch (field.type) {
    case CPFT_TILE_IMAGE: return MakeChild(parent, L"STATIC", L"", SS_OWNERDRAW, id, fonts.Normal());
    case CPFT_LARGE_TEXT: return MakeChild(parent, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, id, fonts.Large());
    case CPFT_SMALL_TEXT: return MakeChild(parent, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, id, fonts.Normal());
    case CPFT_COMMAND_LINK:
        return MakeChild(parent, L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_NOTIFY | WS_TABSTOP, id, fonts.Link());
    case CPFT_EDIT_TEXT:
        return MakeChild(parent, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, id, fonts.Normal());
    case CPFT_PASSWORD_TEXT:
        return MakeChild(parent, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, id,
                         fonts.Normal());
    case CPFT_SUBMIT_BUTTON:
        return MakeChild(parent, L"BUTTON", field.label.empty() ? L"Submit" : field.label.c_str(),
                         BS_DEFPUSHBUTTON | WS_TABSTOP, id, fonts.Normal());
    case CPFT_CHECKBOX: return MakeChild(parent, L"BUTTON", L"", BS_AUTOCHECKBOX | WS_TABSTOP, id, fonts.Normal());
    case CPFT_COMBOBOX:
        return MakeChild(parent, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, id, fonts.Normal());
    default: return nullptr;
    }
}

// Text fields show the record's text; a password field only the text an event carries, since
// the record never holds it.
void ShowText(const TileField& field, HWND control, const std::wstring* secretText) {
    if (field.type == CPFT_PASSWORD_TEXT && secretText != nullptr) {
        SetWindowTextW(control, secretText->c_str());
    } else if (field.type != CPFT_PASSWORD_TEXT && field.type != CPFT_CHECKBOX && field.type != CPFT_COMBOBOX &&
               field.type != CPFT_SUBMIT_BUTTON && field.type != CPFT_TILE_IMAGE) {
        SetWindowTextW(control, field.text.c_str());
    }
}

void ShowCheckbox(const TileField& field, HWND control) {
    if (field.type == CPFT_CHECKBOX) {
        SetWindowTextW(control, field.text.c_str());
        SendMessageW(control, BM_SETCHECK, field.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void ShowComboSelection(const TileField& field, HWND combo) {
    SendMessageW(combo, CB_SETCURSEL, field.comboSelected < field.comboItems.size() ? field.comboSelected : -1, 0);
}

void ShowComboItems(const TileField& field, HWND combo) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& item : field.comboItems) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    ShowComboSelection(field, combo);
}

}  // namespace

bool IsShownInSelectedTile(const TileField& field) noexcept {
    return field.state == CPFS_DISPLAY_IN_SELECTED_TILE || field.state == CPFS_DISPLAY_IN_BOTH;
}

bool IsShownInDeselectedTile(const TileField& field) noexcept {
    return field.state == CPFS_DISPLAY_IN_DESELECTED_TILE || field.state == CPFS_DISPLAY_IN_BOTH;
}

bool IsEditField(const TileField& field) noexcept {
    return field.type == CPFT_EDIT_TEXT || field.type == CPFT_PASSWORD_TEXT;
}

bool HasRevealButton(const TileField& field) noexcept {
    return field.type == CPFT_PASSWORD_TEXT && SUCCEEDED(field.optionsResult) &&
           (field.options & CPCFO_ENABLE_PASSWORD_REVEAL) != 0;
}

void ShowRevealedPassword(const FieldWindows& windows) {
    if (windows.control == nullptr || windows.reveal == nullptr) {
        return;
    }
    const bool revealed = SendMessageW(windows.reveal, BM_GETCHECK, 0, 0) == BST_CHECKED;
    SendMessageW(windows.control, EM_SETPASSWORDCHAR, revealed ? 0 : L'*', 0);
    InvalidateRect(windows.control, nullptr, TRUE);
}

FieldWindows CreateFieldWindows(HWND parent, const FieldValue& value, size_t index, const WindowFonts& fonts) {
    FieldWindows windows;
    if (index >= kMaxFieldControls) {
        return windows;
    }
    const TileField& field = value.field;
    windows.control = MakeControl(parent, field, kFieldControlBase + static_cast<int>(index), fonts);
    if (IsEditField(field) || field.type == CPFT_COMBOBOX) {
        windows.label = MakeChild(parent, L"STATIC", field.label.c_str(), SS_LEFT | SS_NOPREFIX,
                                  kFieldLabelBase + static_cast<int>(index), fonts.Normal());
    }
    // Made for every password field: the tile may ask for it later (SetFieldOptions).
    if (field.type == CPFT_PASSWORD_TEXT) {
        windows.reveal = MakeChild(parent, L"BUTTON", L"Show", BS_AUTOCHECKBOX | BS_PUSHLIKE | WS_TABSTOP,
                                   kRevealButtonBase + static_cast<int>(index), fonts.Normal());
    }
    if (windows.control == nullptr) {
        return windows;
    }
    ShowText(field, windows.control, nullptr);
    ShowCheckbox(field, windows.control);
    if (field.type == CPFT_COMBOBOX) {
        ShowComboItems(field, windows.control);
    }
    return windows;
}

void ShowFieldChange(const FieldValue& value, const FieldWindows& windows, const PostedFieldEvent& event) {
    const TileField& field = value.field;
    if (windows.control == nullptr) {
        return;
    }
    const bool combo = field.type == CPFT_COMBOBOX;
    switch (event.kind) {
    case FieldEventKind::String: ShowText(field, windows.control, &event.text); return;
    case FieldEventKind::Checkbox: ShowCheckbox(field, windows.control); return;
    case FieldEventKind::ComboAppended:
        if (combo) {
            SendMessageW(windows.control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(field.comboItems.back().c_str()));
            ShowComboSelection(field, windows.control);
        }
        return;
    case FieldEventKind::ComboDeleted:
        if (combo) {
            SendMessageW(windows.control, CB_DELETESTRING, event.item, 0);
            ShowComboSelection(field, windows.control);
        }
        return;
    case FieldEventKind::ComboSelected:
        if (combo) {
            ShowComboSelection(field, windows.control);
        }
        return;
    case FieldEventKind::Bitmap: InvalidateRect(windows.control, nullptr, TRUE); return;
    default: return;
    }
}

void ShowInteractiveState(const FieldValue& value, const FieldWindows& windows, bool busy) {
    if (windows.control == nullptr) {
        return;
    }
    const CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE state = value.field.interactiveState;
    const bool readOnly = state == CPFIS_READONLY;
    if (IsEditField(value.field)) {
        SendMessageW(windows.control, EM_SETREADONLY, readOnly, 0);
        EnableWindow(windows.control, !busy && state != CPFIS_DISABLED);
        return;
    }
    EnableWindow(windows.control, !busy && state != CPFIS_DISABLED && !readOnly);
}

bool RecordFieldEvent(FieldValue& value, PostedFieldEvent& event) {
    TileField& field = value.field;
    switch (event.kind) {
    case FieldEventKind::State: field.state = event.state; return true;
    case FieldEventKind::InteractiveState: field.interactiveState = event.interactiveState; return true;
    case FieldEventKind::String:
        // A password set by the provider goes to its control only; the record keeps the length.
        if (field.type == CPFT_PASSWORD_TEXT) {
            field.secretLength = event.text.size();
        } else {
            field.text = event.text;
        }
        return true;
    case FieldEventKind::Checkbox:
        field.checked = event.checked;
        field.text = event.text;
        return true;
    case FieldEventKind::Bitmap: value.image = std::move(event.bitmap); return true;
    case FieldEventKind::ComboSelected: field.comboSelected = event.item; return true;
    case FieldEventKind::ComboDeleted:
        if (event.item >= field.comboItems.size()) {
            return false;
        }
        field.comboItems.erase(field.comboItems.begin() + event.item);
        return true;
    case FieldEventKind::ComboAppended:
        if (field.comboItems.size() >= kMaxComboBoxItems) {
            return false;
        }
        field.comboItems.push_back(event.text);
        return true;
    case FieldEventKind::SubmitButton: field.adjacentTo = event.item; return true;
    case FieldEventKind::Options:
        field.optionsResult = S_OK;
        field.options = event.options;
        return true;
    case FieldEventKind::BeginUpdates:
    case FieldEventKind::EndUpdates: return true;
    }
    return false;
}

void WipeEditText(HWND edit) {
    const int length = GetWindowTextLengthW(edit);
    if (length > 0) {
        // Same length, so the control overwrites its buffer in place instead of growing a new one.
        SecretWide blanks(static_cast<size_t>(length) + 1, L' ');
        blanks.back() = L'\0';
        SetWindowTextW(edit, blanks.data());
    }
    SetWindowTextW(edit, L"");
    SendMessageW(edit, EM_EMPTYUNDOBUFFER, 0, 0);
}

void WipeAndDestroy(FieldWindows& windows) {
    wchar_t className[16] = {};
    if (windows.control != nullptr && GetClassNameW(windows.control, className, ARRAYSIZE(className)) > 0 &&
        lstrcmpiW(className, L"EDIT") == 0) {
        WipeEditText(windows.control);
    }
    for (HWND window : {windows.control, windows.label, windows.reveal}) {
        if (window != nullptr) {
            DestroyWindow(window);
        }
    }
    windows = FieldWindows();
}

void DrawTileImage(HDC dc, const RECT& rect, HBITMAP image) {
    BITMAP info{};
    if (image == nullptr || GetObjectW(image, sizeof(info), &info) == 0 || info.bmWidth <= 0 || info.bmHeight == 0) {
        // The placeholder: a grey square with a head and shoulders, as the sign-in screen's default.
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
        HBRUSH back = CreateSolidBrush(RGB(0xC8, 0xCE, 0xD6));
        FillRect(dc, &rect, back);
        DeleteObject(back);
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        HBRUSH figure = CreateSolidBrush(RGB(0xF4, 0xF6, 0xF8));
        HGDIOBJ oldBrush = SelectObject(dc, figure);
        HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
        Ellipse(dc, rect.left + width * 35 / 100, rect.top + height * 18 / 100, rect.left + width * 65 / 100,
                rect.top + height * 50 / 100);
        Ellipse(dc, rect.left + width * 20 / 100, rect.top + height * 56 / 100, rect.left + width * 80 / 100,
                rect.bottom + height * 30 / 100);
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        DeleteObject(figure);
        RestoreDC(dc, saved);
        return;
    }
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, image);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, source, 0, 0, info.bmWidth,
               std::abs(info.bmHeight), SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}
