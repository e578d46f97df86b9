#include "tile_window.h"

#include "credential_provider_names.h"
#include "tile_list.h"
#include "utf8_conversion.h"
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
constexpr int kImageSize = 96;

HWND MakeChild(HWND parent, PCWSTR className, DWORD style, int id, HFONT font, DWORD exStyle = 0) {
    HWND child = CreateWindowExW(exStyle, className, L"", WS_CHILD | style, 0, 0, 10, 10, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

PCWSTR StatusIconResource(CREDENTIAL_PROVIDER_STATUS_ICON icon) {
    switch (icon) {
    case CPSI_ERROR: return IDI_ERROR;
    case CPSI_WARNING: return IDI_WARNING;
    case CPSI_SUCCESS: return IDI_INFORMATION;
    default: return nullptr;
    }
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

HWND TileWindow::Create(const std::wstring& title) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = kTileWindowClass;
    RegisterClassExW(&windowClass);
    RECT frame{0, 0, 940, 520};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    return CreateWindowExW(WS_EX_CONTROLPARENT, kTileWindowClass, title.c_str(), style, 0, 0,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), this);
}

LRESULT CALLBACK TileWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TileWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TileWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // Nothing may throw into the window manager: out of memory ends the window.
    try {
        return self->Handle(message, wParam, lParam);
    } catch (const std::exception&) {
        self->m_exitCode = 3;
        DestroyWindow(window);
        return 0;
    }
}

LRESULT TileWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case kMsgTilesRead:
        OnTilesRead(std::unique_ptr<TilesSnapshot>(reinterpret_cast<TilesSnapshot*>(lParam)));
        return 0;
    case kMsgFieldEvent:
        OnFieldEvent(std::unique_ptr<PostedFieldEvent>(reinterpret_cast<PostedFieldEvent*>(lParam)));
        return 0;
    case kMsgSubmitted:
        OnSubmitted(std::unique_ptr<SignInReport>(reinterpret_cast<SignInReport*>(lParam)));
        return 0;
    case kMsgSelected:
        if (wParam != 0) {
            Submit();
        }
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DRAWITEM:
        return OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_CTLCOLORSTATIC:
        return OnColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SETCURSOR:
        if (m_busy) {
            SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
            return TRUE;
        }
        break;
    case WM_TIMER:
        KillTimer(m_window, wParam);
        Capture();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

void TileWindow::OnCreate() {
    m_list = MakeChild(m_window, L"LISTBOX",
                       WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                       kTileListId, m_fonts.Normal(), WS_EX_CLIENTEDGE);
    SendMessageW(m_list, LB_SETITEMHEIGHT, 0, kTileListItemHeight);
    m_statusIcon = MakeChild(m_window, L"STATIC", SS_ICON, kStatusIconId, m_fonts.Normal());
    m_statusText = MakeChild(m_window, L"STATIC", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kStatusTextId, m_fonts.Normal());
    m_wait = MakeChild(m_window, PROGRESS_CLASSW, PBS_MARQUEE, kWaitIndicatorId, m_fonts.Normal());
    m_outcome = MakeChild(m_window, L"EDIT", WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                          kOutcomeTextId, m_fonts.Mono(), WS_EX_CLIENTEDGE);
    ShowStatus(L"Loading the provider\u2026", CPSI_NONE);
    Layout();
}

std::vector<FieldValue>* TileWindow::SelectedFields() noexcept {
    return m_selected < m_tiles.size() ? &m_tiles[m_selected].fields : nullptr;
}

void TileWindow::OnTilesRead(std::unique_ptr<TilesSnapshot> snapshot) {
    DestroyFieldWindows();
    SendMessageW(m_list, LB_RESETCONTENT, 0, 0);
    m_tiles.clear();
    if (FAILED(snapshot->result)) {
        m_exitCode = 3;
        ShowStatus(L"Provider failure: " + WideFromUtf8(snapshot->failedStep) + L" (" +
                       WideFromUtf8(HResultText(snapshot->result)) + L")",
                   CPSI_ERROR);
        ShowOutcome("Provider " + snapshot->provider + "\n  Provider failure: " + snapshot->failedStep + " (" +
                    HResultText(snapshot->result) + ")\n");
        if (m_script != nullptr) {
            ScheduleCapture();
        }
        return;
    }
    m_tiles = std::move(snapshot->tiles);
    for (size_t index = 0; index < m_tiles.size(); ++index) {
        SendMessageW(m_list, LB_ADDSTRING, 0, static_cast<LPARAM>(index));
    }
    ShowStatus(m_tiles.empty() ? L"The provider shows no tile." : L"", CPSI_NONE);
    ShowTile(snapshot->selected);
    if (snapshot->autoLogon) {
        Submit();
        return;
    }
    if (m_script != nullptr && !m_scriptStarted) {
        m_scriptStarted = true;
        RunScript();
    }
}

void TileWindow::ShowTile(DWORD tile) {
    DestroyFieldWindows();
    m_selected = tile;
    SendMessageW(m_list, LB_SETCURSEL, tile, 0);
    std::vector<FieldValue>* fields = SelectedFields();
    if (fields == nullptr) {
        Layout();
        return;
    }
    m_settingText = true;
    for (size_t index = 0; index < fields->size(); ++index) {
        m_controls.push_back(CreateFieldWindows(m_window, (*fields)[index], index, m_fonts));
        ShowInteractiveState((*fields)[index], m_controls.back(), m_busy);
    }
    m_settingText = false;
    Layout();
    for (size_t index = 0; index < fields->size(); ++index) {
        if ((*fields)[index].field.interactiveState == CPFIS_FOCUSED && m_controls[index].control != nullptr) {
            SetFocus(m_controls[index].control);
        }
    }
}

void TileWindow::DestroyFieldWindows() {
    for (FieldWindows& windows : m_controls) {
        WipeAndDestroy(windows);
    }
    m_controls.clear();
}

void TileWindow::Layout() {
    RECT client{};
    GetClientRect(m_window, &client);
    MoveWindow(m_list, kMargin, kMargin, kListWidth, client.bottom - 2 * kMargin, TRUE);
    int top = kMargin;
    std::vector<FieldValue>* fields = SelectedFields();
    for (size_t index = 0; fields != nullptr && index < fields->size(); ++index) {
        const TileField& field = (*fields)[index].field;
        const FieldWindows& windows = m_controls[index];
        const bool shown = IsShownInSelectedTile(field) && windows.control != nullptr;
        for (HWND window : {windows.control, windows.label}) {
            if (window != nullptr) {
                ShowWindow(window, shown ? SW_SHOWNA : SW_HIDE);
            }
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
        default:  // edits and combo boxes: a label, then the control
            MoveWindow(windows.label, kFieldsLeft, top + 4, kLabelWidth, 20, TRUE);
            MoveWindow(windows.control, kControlLeft, top, kControlWidth,
                       field.type == CPFT_COMBOBOX ? 160 : 24, TRUE);
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
        const int adjacent = ShownControlOf(*fields, m_controls, field.adjacentTo, index);
        if (adjacent >= 0) {
            GetWindowRect(m_controls[adjacent].control, &beside);
            MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&beside), 2);
            MoveWindow(m_controls[index].control, beside.right + 8, beside.top, kButtonWidth, 24, TRUE);
            continue;
        }
        MoveWindow(m_controls[index].control, kControlLeft, top, kButtonWidth, 26, TRUE);
        top += 34;
    }
    top += 6;
    MoveWindow(m_statusIcon, kFieldsLeft, top, 32, 32, TRUE);
    MoveWindow(m_statusText, kFieldsLeft + 40, top, client.right - kFieldsLeft - 40 - kMargin, 34, TRUE);
    top += 40;
    MoveWindow(m_wait, kFieldsLeft + 40, top, 240, 12, TRUE);
    top += 20;
    MoveWindow(m_outcome, kFieldsLeft, top, client.right - kFieldsLeft - kMargin, client.bottom - top - kMargin, TRUE);
    InvalidateRect(m_window, nullptr, TRUE);
}

void TileWindow::OnFieldEvent(std::unique_ptr<PostedFieldEvent> event) {
    if (event->tile >= m_tiles.size()) {
        return;
    }
    std::vector<FieldValue>& fields = m_tiles[event->tile].fields;
    size_t index = 0;
    while (index < fields.size() && fields[index].field.id != event->fieldId) {
        ++index;
    }
    if (index == fields.size()) {
        return;
    }
    RecordFieldEvent(fields[index], *event);
    InvalidateRect(m_list, nullptr, TRUE);
    if (event->tile != m_selected || index >= m_controls.size()) {
        return;
    }
    m_settingText = true;
    ShowFieldChange(fields[index], m_controls[index], event->kind, &event->text);
    m_settingText = false;
    ShowInteractiveState(fields[index], m_controls[index], m_busy);
    if (event->kind == FieldEventKind::State || event->kind == FieldEventKind::SubmitButton) {
        Layout();
    }
    if (event->kind == FieldEventKind::InteractiveState && event->interactiveState == CPFIS_FOCUSED) {
        SetFocus(m_controls[index].control);
    }
}

void TileWindow::ShowStatus(const std::wstring& text, CREDENTIAL_PROVIDER_STATUS_ICON icon) {
    SetWindowTextW(m_statusText, text.c_str());
    PCWSTR resource = StatusIconResource(icon);
    SendMessageW(m_statusIcon, STM_SETICON,
                 reinterpret_cast<WPARAM>(resource != nullptr ? LoadIconW(nullptr, resource) : nullptr), 0);
    ShowWindow(m_statusIcon, resource != nullptr ? SW_SHOWNA : SW_HIDE);
}

// The report as `signin` prints it, with the line ends an edit control wants.
void TileWindow::ShowOutcome(const std::string& text) {
    std::wstring wide;
    for (wchar_t c : WideFromUtf8(text)) {
        if (c == L'\n') {
            wide += L'\r';
        }
        wide += c;
    }
    SetWindowTextW(m_outcome, wide.c_str());
}

LRESULT TileWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
    if (static_cast<int>(item.CtlID) == kTileListId) {
        if (item.itemID < m_tiles.size()) {
            DrawTileListItem(item, m_tiles[item.itemID], m_fonts);
        }
        return TRUE;
    }
    std::vector<FieldValue>* fields = SelectedFields();
    const size_t index = item.CtlID - kFieldControlBase;
    if (fields != nullptr && item.CtlID >= static_cast<UINT>(kFieldControlBase) && index < fields->size()) {
        DrawTileImage(item.hDC, item.rcItem, (*fields)[index].image.Get());
    }
    return TRUE;
}

// Statics and read-only edits on the window's white, command links in link blue.
LRESULT TileWindow::OnColorStatic(HDC dc, HWND control) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    const int index = GetDlgCtrlID(control) - kFieldControlBase;
    std::vector<FieldValue>* fields = SelectedFields();
    if (fields != nullptr && index >= 0 && static_cast<size_t>(index) < fields->size() &&
        (*fields)[index].field.type == CPFT_COMMAND_LINK) {
        SetTextColor(dc, RGB(0x00, 0x5A, 0xC8));
    }
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

// What was typed is wiped from the controls before they go; the provider's thread releases the
// tiles and the provider once the message loop has ended.
void TileWindow::OnDestroy() {
    DestroyFieldWindows();
    PostQuitMessage(0);
}
