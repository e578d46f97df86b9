#include "tile_host.h"

#include "submit_worker.h"

TileHost::TileHost(HWND window, ProviderApartment& apartment, ProviderTarget target,
                   CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario, DWORD flags, NTSTATUS reportStatus,
                   UserArrayChoice users)
    : m_window(window),
      m_apartment(apartment),
      m_target(std::move(target)),
      m_scenario(scenario),
      m_flags(flags),
      m_reportStatus(reportStatus),
      m_users(std::move(users)),
      m_forwarder(window) {}

ICredentialProviderCredential* TileHost::TileAt(DWORD generation, DWORD tile) const noexcept {
    return generation == m_generation && tile < m_tiles.size() ? m_tiles[tile]->Tile() : nullptr;
}

void TileHost::PostFailure(HRESULT hr, const char* step, bool reread) {
    auto snapshot = std::make_unique<TilesSnapshot>();
    snapshot->result = hr;
    snapshot->failedStep = step;
    snapshot->provider = DescribeProviderTarget(m_target);
    snapshot->generation = m_generation;
    snapshot->reread = reread;
    PostToWindow(m_window, kMsgTilesRead, 0, std::move(snapshot));
}

void TileHost::Load() {
    m_apartment.NameCall("DllGetClassObject or CreateInstance");
    HRESULT hr = LoadProviderTarget(m_target, m_module);
    if (FAILED(hr)) {
        PostFailure(hr, m_module.FailedStep(), false);
        return;
    }
    m_session = std::make_unique<ProviderSession>(m_module.Provider(), m_users);
    m_apartment.NameCall("SetUsageScenario, SetUserArray, Advise, the field descriptors or GetCredentialCount");
    hr = m_session->Open(m_scenario, m_flags, &m_forwarder);
    if (m_session->TakesNoPart()) {
        auto snapshot = std::make_unique<TilesSnapshot>();
        snapshot->provider = DescribeProviderTarget(m_target);
        snapshot->takesNoPart = true;
        snapshot->generation = m_generation;
        PostToWindow(m_window, kMsgTilesRead, 0, std::move(snapshot));
        return;
    }
    if (FAILED(hr)) {
        PostFailure(hr, m_session->FailedStep(), false);
        return;
    }
    PostTiles(false);
}

// The window asks for it only once loading has answered, so the session exists unless the
// provider could not be created (and then it has no sink to raise CredentialsChanged on).
void TileHost::Refresh() {
    if (m_session == nullptr) {
        return;
    }
    ReleaseTiles();
    m_apartment.NameCall("the field descriptors or GetCredentialCount");
    const HRESULT hr = m_session->Refresh();
    if (FAILED(hr)) {
        PostFailure(hr, m_session->FailedStep(), true);
        return;
    }
    PostTiles(true);
}

void TileHost::ReleaseTiles() noexcept {
    m_apartment.NameCall("SetDeselected or UnAdvise");
    m_tiles.clear();
    m_selected = kNoTile;
    ++m_generation;
}

void TileHost::PostTiles(bool reread) {
    auto snapshot = std::make_unique<TilesSnapshot>();
    snapshot->provider = DescribeProviderTarget(m_target);
    snapshot->reread = reread;
    snapshot->result = OpenTiles(*snapshot);
    if (FAILED(snapshot->result)) {
        ReleaseTiles();
        snapshot->tiles.clear();
    }
    snapshot->generation = m_generation;
    PostToWindow(m_window, kMsgTilesRead, 0, std::move(snapshot));
}

// Connects every tile, selects the chosen one, then reads what each shows: read after the
// selection, so that the field states a tile changes in SetSelected are already in the picture.
// On a failure the caller lets go of the tiles connected so far.
HRESULT TileHost::OpenTiles(TilesSnapshot& snapshot) {
    m_apartment.NameCall("GetCredentialAt or Advise");
    for (DWORD index = 0; index < m_session->TileCount(); ++index) {
        auto tile = std::make_unique<TileConnection>();
        const HRESULT hr = tile->Open(m_session->Provider(), index, m_session->Link());
        if (FAILED(hr)) {
            snapshot.failedStep = tile->FailedStep();
            return hr;
        }
        m_tiles.push_back(std::move(tile));
    }
    const DWORD chosen = m_session->ChosenTile();
    if (chosen >= m_tiles.size()) {
        return S_OK;  // no tile
    }
    m_apartment.NameCall("SetSelected");
    BOOL autoLogon = FALSE;
    const HRESULT selected = m_tiles[chosen]->Select(autoLogon);
    if (FAILED(selected)) {
        snapshot.failedStep = m_tiles[chosen]->FailedStep();
        return selected;
    }
    m_selected = chosen;
    snapshot.selected = chosen;
    snapshot.autoLogon = autoLogon || (m_session->AutoLogonWithDefault() && m_session->DefaultTile() == chosen);
    m_apartment.NameCall("GetFieldState, a value getter or GetBitmapValue");
    for (const auto& tile : m_tiles) {
        TileSnapshot view;
        view.identity = tile->Tile();
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
    return S_OK;
}

void TileHost::Select(DWORD generation, DWORD tile) {
    if (TileAt(generation, tile) == nullptr || tile == m_selected) {
        return;
    }
    if (m_selected < m_tiles.size()) {
        m_apartment.NameCall("SetDeselected");
        m_tiles[m_selected]->Deselect();
    }
    m_selected = tile;
    m_apartment.NameCall("SetSelected");
    BOOL autoLogon = FALSE;
    m_tiles[tile]->Select(autoLogon);
    PostMessageW(m_window, kMsgSelected, autoLogon ? 1 : 0, static_cast<LPARAM>(tile));
}

void TileHost::SetString(DWORD generation, DWORD tile, DWORD field, const SecretWide& text) {
    if (ICredentialProviderCredential* credential = TileAt(generation, tile)) {
        m_apartment.NameCall("SetStringValue");
        credential->SetStringValue(field, text.data());
    }
}

void TileHost::SetCheckbox(DWORD generation, DWORD tile, DWORD field, BOOL checked) {
    if (ICredentialProviderCredential* credential = TileAt(generation, tile)) {
        m_apartment.NameCall("SetCheckboxValue");
        credential->SetCheckboxValue(field, checked);
    }
}

void TileHost::SetComboBoxItem(DWORD generation, DWORD tile, DWORD field, DWORD item) {
    if (ICredentialProviderCredential* credential = TileAt(generation, tile)) {
        m_apartment.NameCall("SetComboBoxSelectedValue");
        credential->SetComboBoxSelectedValue(field, item);
    }
}

void TileHost::ClickCommandLink(DWORD generation, DWORD tile, DWORD field) {
    if (ICredentialProviderCredential* credential = TileAt(generation, tile)) {
        m_apartment.NameCall("CommandLinkClicked");
        credential->CommandLinkClicked(field);
    }
}

void TileHost::Submit(DWORD generation, DWORD tile, const std::wstring& userName) {
    m_apartment.NameCall("GetSerialization or ReportResult");
    PostToWindow(m_window, kMsgSubmitted, 0,
                 SubmitFromWindow(TileAt(generation, tile), DescribeProviderTarget(m_target), m_scenario, m_flags,
                                  userName, m_reportStatus));
}

void TileHost::Release() {
    ReleaseTiles();
    m_apartment.NameCall("UnAdvise, Release or DllCanUnloadNow");
    // The session's end detaches the forwarder from the sinks: a provider that keeps them and
    // calls them later, from a thread of its own, reaches nothing of the window's.
    m_session.reset();
    m_leaked = m_module.Unload() == S_FALSE;
}
