#include "every_field_provider.h"

#include <credentialprovider.h>

#include <cwchar>

#include "base/co_task_str_dup.h"
#include "base/com_object.h"
#include "base/com_ptr.h"

namespace {

const CLSID kClsid = {0x5E1F7A2C, 0x3B4D, 0x4E6F, {0x8A, 0x9B, 0x0C, 0x1D, 0x2E, 0x3F, 0x4A, 0x5B}};
LONG g_objects = 0;
// The provider's sink and its tile count, shared with the tiles: ticking the checkbox adds a
// third tile and tells the host through CredentialsChanged.
ComPtr<ICredentialProviderEvents> g_providerEvents;
UINT_PTR g_adviseContext = 0;
DWORD g_tileCount = 2;
constexpr DWORD kMaxTiles = 3;

struct FieldDefinition {
    CREDENTIAL_PROVIDER_FIELD_TYPE type;
    PCWSTR label;
    CREDENTIAL_PROVIDER_FIELD_STATE state;
    CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE interactive;
    PCWSTR value;
};

const FieldDefinition kFields[EveryFieldCount] = {
    {CPFT_TILE_IMAGE, L"Image", CPFS_DISPLAY_IN_BOTH, CPFIS_NONE, L""},
    {CPFT_LARGE_TEXT, L"Large", CPFS_DISPLAY_IN_BOTH, CPFIS_NONE, L""},
    {CPFT_SMALL_TEXT, L"Small", CPFS_DISPLAY_IN_SELECTED_TILE, CPFIS_NONE, L"Small text: every field type"},
    {CPFT_EDIT_TEXT, L"Name", CPFS_DISPLAY_IN_SELECTED_TILE, CPFIS_FOCUSED, L""},
    {CPFT_PASSWORD_TEXT, L"Password", CPFS_DISPLAY_IN_SELECTED_TILE, CPFIS_NONE, L""},
    {CPFT_SUBMIT_BUTTON, L"Go", CPFS_DISPLAY_IN_SELECTED_TILE, CPFIS_NONE, L""},
    {CPFT_CHECKBOX, L"Remember me", CPFS_DISPLAY_IN_SELECTED_TILE, CPFIS_NONE, L""},
    {CPFT_COMBOBOX, L"Domain", CPFS_DISPLAY_IN_SELECTED_TILE, CPFIS_NONE, L""},
    {CPFT_COMMAND_LINK, L"Link", CPFS_DISPLAY_IN_SELECTED_TILE, CPFIS_NONE, L"Reveal the hidden field"},
    {CPFT_SMALL_TEXT, L"Hidden", CPFS_HIDDEN, CPFIS_NONE, L"Revealed by the command link"},
    {CPFT_EDIT_TEXT, L"Read-only", CPFS_DISPLAY_IN_SELECTED_TILE, CPFIS_READONLY, L"fixed value"},
    {CPFT_EDIT_TEXT, L"Disabled", CPFS_DISPLAY_IN_SELECTED_TILE, CPFIS_DISABLED, L"disabled value"},
};

// Every object counts towards DllCanUnloadNow while it lives.
struct ObjectCount {
    static void Acquire() noexcept { InterlockedIncrement(&g_objects); }
    static void Release() noexcept { InterlockedDecrement(&g_objects); }
};

class Tile final : public ComObject<Tile, ICredentialProviderCredential, ObjectCount> {
public:
    explicit Tile(PCWSTR name) : m_name(name) {}
    ~Tile() = default;

    IFACEMETHODIMP Advise(ICredentialProviderCredentialEvents* events) override {
        m_events = events;
        return S_OK;
    }
    IFACEMETHODIMP UnAdvise() override {
        m_events.Reset();
        return S_OK;
    }
    IFACEMETHODIMP SetSelected(BOOL* autoLogon) override {
        *autoLogon = FALSE;
        return S_OK;
    }
    IFACEMETHODIMP SetDeselected() override { return S_OK; }
    IFACEMETHODIMP GetFieldState(DWORD field, CREDENTIAL_PROVIDER_FIELD_STATE* state,
                                 CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE* interactive) override {
        if (field >= EveryFieldCount) {
            return E_INVALIDARG;
        }
        *state = field == EveryHidden && m_revealed ? CPFS_DISPLAY_IN_SELECTED_TILE : kFields[field].state;
        *interactive = kFields[field].interactive;
        return S_OK;
    }
    IFACEMETHODIMP GetStringValue(DWORD field, LPWSTR* text) override {
        if (field >= EveryFieldCount) {
            return E_INVALIDARG;
        }
        return CoTaskStrDup(field == EveryLarge ? m_name : kFields[field].value, text);
    }
    // A 64x64 bitmap in the tile's own colour: the host owns what it is given.
    IFACEMETHODIMP GetBitmapValue(DWORD field, HBITMAP* bitmap) override {
        if (field != EveryImage) {
            return E_INVALIDARG;
        }
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = 64;
        info.bmiHeader.biHeight = 64;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        *bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (*bitmap == nullptr) {
            return E_OUTOFMEMORY;
        }
        for (int pixel = 0; pixel < 64 * 64; ++pixel) {
            const int x = pixel % 64, y = pixel / 64;
            static_cast<DWORD*>(bits)[pixel] = ((x / 16 + y / 16) % 2 == 0) ? 0x2F6FBF : 0xE8A33C;
        }
        return S_OK;
    }
    IFACEMETHODIMP GetCheckboxValue(DWORD field, BOOL* checked, LPWSTR* label) override {
        if (field != EveryCheckbox) {
            return E_INVALIDARG;
        }
        *checked = m_checked;
        return CoTaskStrDup(kFields[field].label, label);
    }
    IFACEMETHODIMP GetSubmitButtonValue(DWORD field, DWORD* adjacentTo) override {
        *adjacentTo = EveryPassword;
        return field == EverySubmit ? S_OK : E_INVALIDARG;
    }
    IFACEMETHODIMP GetComboBoxValueCount(DWORD field, DWORD* count, DWORD* selected) override {
        *count = m_comboItems;
        *selected = 1;
        return field == EveryCombo ? S_OK : E_INVALIDARG;
    }
    IFACEMETHODIMP GetComboBoxValueAt(DWORD field, DWORD item, LPWSTR* text) override {
        static const PCWSTR kItems[] = {L"alpha", L"beta", L"gamma", L"delta"};
        if (field != EveryCombo || item >= m_comboItems) {
            return E_INVALIDARG;
        }
        return CoTaskStrDup(kItems[item], text);
    }
    // Typing a name greets it in the large text, through the host's SetFieldString.
    IFACEMETHODIMP SetStringValue(DWORD field, LPCWSTR text) override {
        if (field == EveryEdit && m_events) {
            wchar_t greeting[96];
            swprintf(greeting, ARRAYSIZE(greeting), L"Hello, %.80ls", text);
            m_events->SetFieldString(this, EveryLarge, greeting);
        }
        return S_OK;
    }
    IFACEMETHODIMP SetCheckboxValue(DWORD, BOOL checked) override {
        m_checked = checked;
        if (g_providerEvents && g_tileCount < kMaxTiles) {
            g_tileCount = kMaxTiles;
            g_providerEvents->CredentialsChanged(g_adviseContext);
        }
        return S_OK;
    }
    IFACEMETHODIMP SetComboBoxSelectedValue(DWORD, DWORD) override { return S_OK; }
    // The link exercises the host's other event calls at once.
    IFACEMETHODIMP CommandLinkClicked(DWORD field) override {
        if (field != EveryLink || !m_events) {
            return E_INVALIDARG;
        }
        m_revealed = true;
        m_checked = TRUE;
        m_comboItems = 4;
        m_events->SetFieldState(this, EveryHidden, CPFS_DISPLAY_IN_SELECTED_TILE);
        m_events->SetFieldString(this, EverySmall, L"Command link clicked");
        m_events->SetFieldCheckbox(this, EveryCheckbox, TRUE, L"Remembered");
        m_events->AppendFieldComboBoxItem(this, EveryCombo, L"delta");
        m_events->SetFieldComboBoxSelectedItem(this, EveryCombo, 3);
        m_events->SetFieldInteractiveState(this, EveryDisabled, CPFIS_NONE);
        return S_OK;
    }
    IFACEMETHODIMP GetSerialization(CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE* response,
                                    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION*, LPWSTR* status,
                                    CREDENTIAL_PROVIDER_STATUS_ICON* icon) override {
        *response = CPGSR_NO_CREDENTIAL_NOT_FINISHED;
        *icon = CPSI_WARNING;
        return CoTaskStrDup(L"This test provider signs nobody in.", status);
    }
    IFACEMETHODIMP ReportResult(NTSTATUS, NTSTATUS, LPWSTR* status, CREDENTIAL_PROVIDER_STATUS_ICON* icon) override {
        *status = nullptr;
        *icon = CPSI_NONE;
        return S_OK;
    }

private:
    PCWSTR m_name;
    ComPtr<ICredentialProviderCredentialEvents> m_events;
    bool m_revealed = false;
    BOOL m_checked = FALSE;
    DWORD m_comboItems = 3;
};

class Provider final : public ComObject<Provider, ICredentialProvider, ObjectCount> {
public:
    Provider() {
        static const PCWSTR kNames[kMaxTiles] = {L"First tile", L"Second tile", L"Third tile"};
        for (DWORD index = 0; index < kMaxTiles; ++index) {
            m_tiles[index].Attach(new (std::nothrow) Tile(kNames[index]));
        }
    }
    ~Provider() { UnAdvise(); }
    IFACEMETHODIMP SetUsageScenario(CREDENTIAL_PROVIDER_USAGE_SCENARIO, DWORD) override { return S_OK; }
    IFACEMETHODIMP SetSerialization(const CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION*) override { return E_NOTIMPL; }
    IFACEMETHODIMP Advise(ICredentialProviderEvents* events, UINT_PTR context) override {
        g_providerEvents = events;
        g_adviseContext = context;
        return S_OK;
    }
    IFACEMETHODIMP UnAdvise() override {
        g_providerEvents.Reset();
        return S_OK;
    }
    IFACEMETHODIMP GetFieldDescriptorCount(DWORD* count) override {
        *count = EveryFieldCount;
        return S_OK;
    }
    IFACEMETHODIMP GetFieldDescriptorAt(DWORD index, CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR** out) override {
        if (index >= EveryFieldCount) {
            return E_INVALIDARG;
        }
        auto* descriptor = static_cast<CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR*>(CoTaskMemAlloc(sizeof(**out)));
        if (descriptor == nullptr) {
            return E_OUTOFMEMORY;
        }
        *descriptor = {index, kFields[index].type, nullptr, GUID_NULL};
        const HRESULT hr = CoTaskStrDup(kFields[index].label, &descriptor->pszLabel);
        if (FAILED(hr)) {
            CoTaskMemFree(descriptor);
            return hr;
        }
        *out = descriptor;
        return S_OK;
    }
    IFACEMETHODIMP GetCredentialCount(DWORD* count, DWORD* defaultTile, BOOL* autoLogon) override {
        *count = g_tileCount;
        *defaultTile = 0;
        *autoLogon = FALSE;
        return S_OK;
    }
    IFACEMETHODIMP GetCredentialAt(DWORD index, ICredentialProviderCredential** tile) override {
        if (index >= g_tileCount || !m_tiles[index]) {
            return E_INVALIDARG;
        }
        return m_tiles[index]->QueryInterface(__uuidof(ICredentialProviderCredential), reinterpret_cast<void**>(tile));
    }

private:
    ComPtr<Tile> m_tiles[kMaxTiles];
};

class Factory final : public ComObject<Factory, IClassFactory, ObjectCount> {
public:
    IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return CreateComObject<Provider>(riid, ppv);
    }
    IFACEMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (clsid != kClsid) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return CreateComObject<Factory>(riid, ppv);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }
