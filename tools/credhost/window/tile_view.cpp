#include "tile_view.h"

#include "credential_provider_names.h"
#include "tile_list.h"
#include "utf8_conversion.h"
#include "window_control_ids.h"

#include <commctrl.h>

namespace {

PCWSTR StatusIconResource(CREDENTIAL_PROVIDER_STATUS_ICON icon) {
    switch (icon) {
    case CPSI_ERROR: return IDI_ERROR;
    case CPSI_WARNING: return IDI_WARNING;
    case CPSI_SUCCESS: return IDI_INFORMATION;
    default: return nullptr;
    }
}

}  // namespace

void TileView::Create(HWND window) {
    m_window = window;
    m_fixed = CreateFixedControls(window, m_fonts);
    ShowStatus(L"Loading the provider\u2026", CPSI_NONE);
    Layout();
}

std::vector<FieldValue>* TileView::SelectedFields() noexcept {
    return m_selected < m_tiles.size() ? &m_tiles[m_selected].fields : nullptr;
}

std::vector<TileField> TileView::DescribeSelectedFields() const {
    std::vector<TileField> described;
    if (m_selected >= m_tiles.size()) {
        return described;
    }
    for (const FieldValue& value : m_tiles[m_selected].fields) {
        described.push_back(value.field);
    }
    return described;
}

HWND TileView::FieldControl(size_t index) const noexcept {
    return index < m_controls.size() ? m_controls[index].control : nullptr;
}

DWORD TileView::ListSelection() const noexcept {
    return static_cast<DWORD>(SendMessageW(m_fixed.list, LB_GETCURSEL, 0, 0));
}

void TileView::RestoreListSelection() noexcept { SendMessageW(m_fixed.list, LB_SETCURSEL, m_selected, 0); }

void TileView::ShowTiles(TilesSnapshot& snapshot) {
    DestroyFieldWindows();
    SendMessageW(m_fixed.list, LB_RESETCONTENT, 0, 0);
    m_tiles.clear();
    m_provider = snapshot.provider;
    m_generation = snapshot.generation;
    if (FAILED(snapshot.result)) {
        ShowProviderFailure(snapshot.failedStep, snapshot.result);
        return;
    }
    m_takesNoPart = snapshot.takesNoPart;
    if (m_takesNoPart) {
        SendMessageW(m_fixed.list, LB_ADDSTRING, 0, 0);
        ShowStatus(L"The provider takes no part in this scenario (SetUsageScenario returned E_NOTIMPL).", CPSI_NONE);
        Layout();
        return;
    }
    m_tiles = std::move(snapshot.tiles);
    for (size_t index = 0; index < m_tiles.size(); ++index) {
        SendMessageW(m_fixed.list, LB_ADDSTRING, 0, static_cast<LPARAM>(index));
    }
    ShowStatus(m_tiles.empty() ? L"The provider shows no tile." : L"", CPSI_NONE);
    ShowTile(snapshot.selected);
}

void TileView::ShowTile(DWORD tile) {
    DestroyFieldWindows();
    m_selected = tile;
    RestoreListSelection();
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

void TileView::DestroyFieldWindows() {
    for (FieldWindows& windows : m_controls) {
        WipeAndDestroy(windows);
    }
    m_controls.clear();
}

void TileView::Layout() { LayOutWindow(m_window, m_fixed, SelectedFields(), m_controls); }

void TileView::ShowProviderFailure(const std::string& step, HRESULT hr) {
    ShowStatus(L"Provider failure: " + WideFromUtf8(step) + L" (" + WideFromUtf8(HResultText(hr)) + L")", CPSI_ERROR);
    ShowOutcome("Provider " + m_provider + "\n  Provider failure: " + step + " (" + HResultText(hr) + ")\n");
}

bool TileView::ShowFieldEvent(PostedFieldEvent& event) {
    DWORD tile = 0;
    while (tile < m_tiles.size() && m_tiles[tile].identity != event.source) {
        ++tile;
    }
    if (tile == m_tiles.size()) {
        return true;
    }
    std::vector<FieldValue>& fields = m_tiles[tile].fields;
    size_t index = 0;
    while (index < fields.size() && fields[index].field.id != event.fieldId) {
        ++index;
    }
    if (index == fields.size()) {
        return true;
    }
    if (!RecordFieldEvent(fields[index], event)) {
        return false;
    }
    InvalidateRect(m_fixed.list, nullptr, TRUE);
    if (tile != m_selected || index >= m_controls.size()) {
        return true;
    }
    m_settingText = true;
    ShowFieldChange(fields[index], m_controls[index], event);
    m_settingText = false;
    ShowInteractiveState(fields[index], m_controls[index], m_busy);
    if (event.kind == FieldEventKind::State || event.kind == FieldEventKind::SubmitButton ||
        event.kind == FieldEventKind::Options) {
        Layout();
    }
    if (event.kind == FieldEventKind::InteractiveState && event.interactiveState == CPFIS_FOCUSED) {
        SetFocus(m_controls[index].control);
    }
    return true;
}

void TileView::ShowStatus(const std::wstring& text, CREDENTIAL_PROVIDER_STATUS_ICON icon) {
    SetWindowTextW(m_fixed.statusText, text.c_str());
    PCWSTR resource = StatusIconResource(icon);
    SendMessageW(m_fixed.statusIcon, STM_SETICON,
                 reinterpret_cast<WPARAM>(resource != nullptr ? LoadIconW(nullptr, resource) : nullptr), 0);
    ShowWindow(m_fixed.statusIcon, resource != nullptr ? SW_SHOWNA : SW_HIDE);
}

// The report as `signin` prints it, with the line ends an edit control wants.
void TileView::ShowOutcome(const std::string& text) {
    std::wstring wide;
    for (wchar_t c : WideFromUtf8(text)) {
        if (c == L'\n') {
            wide += L'\r';
        }
        wide += c;
    }
    SetWindowTextW(m_fixed.outcome, wide.c_str());
}

void TileView::ShowRevealedPassword(size_t index) {
    if (index < m_controls.size()) {
        ::ShowRevealedPassword(m_controls[index]);
    }
}

void TileView::SetBusy(bool busy) {
    m_busy = busy;
    EnableWindow(m_fixed.list, !busy);
    ShowWindow(m_fixed.wait, busy ? SW_SHOWNA : SW_HIDE);
    SendMessageW(m_fixed.wait, PBM_SETMARQUEE, busy, 40);
    std::vector<FieldValue>* fields = SelectedFields();
    for (size_t index = 0; fields != nullptr && index < m_controls.size(); ++index) {
        ShowInteractiveState((*fields)[index], m_controls[index], busy);
    }
}

LRESULT TileView::DrawItem(const DRAWITEMSTRUCT& item) {
    if (static_cast<int>(item.CtlID) == kTileListId) {
        if (item.itemID < m_tiles.size()) {
            DrawTileListItem(item, m_tiles[item.itemID], m_fonts);
        } else if (m_takesNoPart) {
            DrawTileListNote(item, L"Takes no part in this scenario", m_fonts);
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
LRESULT TileView::ColorStatic(HDC dc, HWND control) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    const int index = GetDlgCtrlID(control) - kFieldControlBase;
    std::vector<FieldValue>* fields = SelectedFields();
    if (fields != nullptr && index >= 0 && static_cast<size_t>(index) < fields->size() &&
        (*fields)[index].field.type == CPFT_COMMAND_LINK) {
        SetTextColor(dc, RGB(0x00, 0x5A, 0xC8));
    }
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}
