#include "tile_host.h"

#include "submit_worker.h"

TileHost::TileHost(HWND window, ProviderApartment& apartment, ProviderTarget target,
                   CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags, NTSTATUS reportStatus)
    : m_window(window),
      m_apartment(apartment),
      m_target(std::move(target)),
      m_scenario(scenario),
      m_flags(flags),
      m_reportStatus(reportStatus),
      m_forwarder(window, [this] { m_apartment.Post([this] { Refresh(); }); }) {}

ICredentialProviderCredential* TileHost::TileAt(DWORD tile) const noexcept {
    return tile < m_tiles.size() ? m_tiles[tile]->Tile() : nullptr;
}

void TileHost::PostFailure(HRESULT hr, const char* step) {
    auto snapshot = std::make_unique<TilesSnapshot>();
    snapshot->result = hr;
    snapshot->failedStep = step;
    snapshot->provider = DescribeProviderTarget(m_target);
    PostToWindow(m_window, kMsgTilesRead, 0, std::move(snapshot));
}

void TileHost::Load() {
    HRESULT hr = LoadProviderTarget(m_target, m_module);
    if (FAILED(hr)) {
        PostFailure(hr, m_module.FailedStep());
        return;
    }
    m_session = std::make_unique<ProviderSession>(m_module.Provider());
    hr = m_session->Open(m_scenario, m_flags, &m_forwarder);
    if (FAILED(hr)) {
        PostFailure(hr, m_session->FailedStep());
        return;
    }
    PostTiles();
}

void TileHost::Refresh() {
    if (m_session == nullptr) {
        return;
    }
    m_forwarder.SetTiles({});
    m_tiles.clear();
    const HRESULT hr = m_session->Refresh();
    if (FAILED(hr)) {
        PostFailure(hr, m_session->FailedStep());
        return;
    }
    PostTiles();
}

void TileHost::PostTiles() {
    auto snapshot = std::make_unique<TilesSnapshot>();
    OpenTiles(*snapshot);
    PostToWindow(m_window, kMsgTilesRead, 0, std::move(snapshot));
}

// Connects every tile, selects the chosen one, then reads what each shows: read after the
// selection, so that the field states a tile changes in SetSelected are already in the picture.
void TileHost::OpenTiles(TilesSnapshot& snapshot) {
    snapshot.provider = DescribeProviderTarget(m_target);
    std::vector<ICredentialProviderCredential*> tiles;
    for (DWORD index = 0; index < m_session->TileCount(); ++index) {
        auto tile = std::make_unique<TileConnection>();
        const HRESULT hr = tile->Open(m_session->Provider(), index, &m_forwarder);
        if (FAILED(hr)) {
            snapshot.result = hr;
            snapshot.failedStep = tile->FailedStep();
            return;
        }
        tiles.push_back(tile->Tile());
        m_tiles.push_back(std::move(tile));
    }
    m_forwarder.SetTiles(tiles);
    m_selected = m_session->ChosenTile();
    snapshot.selected = m_selected;
    BOOL autoLogon = FALSE;
    const HRESULT selected = m_tiles.empty() ? S_OK : m_tiles[m_selected]->Select(autoLogon);
    if (FAILED(selected)) {
        snapshot.result = selected;
        snapshot.failedStep = m_tiles[m_selected]->FailedStep();
        return;
    }
    snapshot.autoLogon = autoLogon || (m_session->AutoLogonWithDefault() && m_session->DefaultTile() == m_selected);
    for (const auto& tile : m_tiles) {
        TileSnapshot view;
        std::vector<TileField> fields = m_session->Fields();
        ReadFieldValues(tile->Tile(), fields);
        for (TileField& field : fields) {
            FieldValue value{std::move(field), OwnedBitmap()};
            HBITMAP image = nullptr;
            // The caller of GetBitmapValue owns the bitmap it is given.
            if (value.field.type == CPFT_TILE_IMAGE &&
                SUCCEEDED(tile->Tile()->GetBitmapValue(value.field.id, &image))) {
                value.image = OwnedBitmap(image);
            }
            view.fields.push_back(std::move(value));
        }
        snapshot.tiles.push_back(std::move(view));
    }
}

void TileHost::Select(DWORD tile) {
    if (tile >= m_tiles.size() || tile == m_selected) {
        return;
    }
    m_tiles[m_selected]->Deselect();
    m_selected = tile;
    BOOL autoLogon = FALSE;
    m_tiles[tile]->Select(autoLogon);
    PostMessageW(m_window, kMsgSelected, autoLogon ? 1 : 0, static_cast<LPARAM>(tile));
}

void TileHost::SetString(DWORD tile, DWORD field, const SecretWide& text) {
    if (ICredentialProviderCredential* credential = TileAt(tile)) {
        credential->SetStringValue(field, text.data());
    }
}

void TileHost::SetCheckbox(DWORD tile, DWORD field, BOOL checked) {
    if (ICredentialProviderCredential* credential = TileAt(tile)) {
        credential->SetCheckboxValue(field, checked);
    }
}

void TileHost::SetComboBoxItem(DWORD tile, DWORD field, DWORD item) {
    if (ICredentialProviderCredential* credential = TileAt(tile)) {
        credential->SetComboBoxSelectedValue(field, item);
    }
}

void TileHost::ClickCommandLink(DWORD tile, DWORD field) {
    if (ICredentialProviderCredential* credential = TileAt(tile)) {
        credential->CommandLinkClicked(field);
    }
}

void TileHost::Submit(DWORD tile, const std::wstring& userName) {
    PostToWindow(m_window, kMsgSubmitted, 0,
                 SubmitFromWindow(TileAt(tile), DescribeProviderTarget(m_target), m_scenario, m_flags, userName,
                                  m_reportStatus));
}

void TileHost::Release() {
    m_forwarder.SetTiles({});
    m_tiles.clear();
    m_session.reset();
    m_leaked = m_module.Unload() == S_FALSE;
}
