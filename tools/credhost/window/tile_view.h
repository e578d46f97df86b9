// What the tile window shows and keeps: the tiles as last read, the selected tile's field
// controls, the status, the wait indicator and the report. It draws what it is told and
// decides nothing: the person's actions (tile_actions.h), the --screenshot run
// (window_script.h) and the window's messages (tile_window.h) tell it what to show.
#pragma once

#include "field_controls.h"
#include "window_layout.h"

#include <string>
#include <vector>

class TileView {
public:
    TileView() noexcept = default;
    TileView(const TileView&) = delete;
    TileView& operator=(const TileView&) = delete;

    // Creates the fixed controls under window, which the view draws into from then on.
    void Create(HWND window);
    HWND Window() const noexcept { return m_window; }

    // The tiles as the provider's thread read them, or why they could not be read.
    void ShowTiles(TilesSnapshot& snapshot);
    void ShowTile(DWORD tile);
    // A tile's field changed on the provider's side: recorded, and drawn if the tile is shown.
    // An event of a tile not in the list shown is dropped: the next read shows its state anyway.
    // False when the event was refused (RecordFieldEvent), so the window can report it.
    bool ShowFieldEvent(PostedFieldEvent& event);
    // A provider failure at step, in the status line and the report, as a failed read shows it.
    void ShowProviderFailure(const std::string& step, HRESULT hr);
    void ShowStatus(const std::wstring& text, CREDENTIAL_PROVIDER_STATUS_ICON icon);
    void ShowOutcome(const std::string& text);
    // While busy (a submission runs) the fields and the list are disabled and the wait shows.
    void SetBusy(bool busy);
    bool IsBusy() const noexcept { return m_busy; }

    std::vector<FieldValue>* SelectedFields() noexcept;
    // The selected tile's field descriptors (empty when none), for FindUserNameField and kin.
    std::vector<TileField> DescribeSelectedFields() const;
    DWORD Selected() const noexcept { return m_selected; }
    // The host's generation of the tiles shown, which every request about a tile names.
    DWORD Generation() const noexcept { return m_generation; }
    size_t TileCount() const noexcept { return m_tiles.size(); }
    // The selected tile's control of the field at index; null past the controls made.
    HWND FieldControl(size_t index) const noexcept;
    // Whether an EN_CHANGE now comes from the view's own SetWindowText rather than from typing.
    bool IsSettingText() const noexcept { return m_settingText; }
    DWORD ListSelection() const noexcept;
    void RestoreListSelection() noexcept;

    LRESULT DrawItem(const DRAWITEMSTRUCT& item);
    LRESULT ColorStatic(HDC dc, HWND control);
    // The reveal button of the selected tile's field at index was pressed or released.
    void ShowRevealedPassword(size_t index);
    // Wipes what was typed from the field controls and destroys them.
    void DestroyFieldWindows();

private:
    void Layout();

    WindowFonts m_fonts;
    HWND m_window = nullptr;
    FixedControls m_fixed;
    std::string m_provider;  // as the last read described it
    std::vector<TileSnapshot> m_tiles;
    DWORD m_generation = 0;
    DWORD m_selected = 0;
    std::vector<FieldWindows> m_controls;  // the selected tile's, by field index
    bool m_busy = false;
    bool m_settingText = false;
    bool m_takesNoPart = false;  // the list shows that the provider takes no part instead of tiles
};
