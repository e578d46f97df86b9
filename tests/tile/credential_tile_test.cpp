#include "tile/credential_tile.h"

#include <gtest/gtest.h>

#include "base/co_task_str_dup.h"
#include "module_lock_count.h"
#include "tile/field_table.h"
#include "tile/tile_test_support.h"

namespace {

std::wstring GuidText(const GUID& guid) {
    wchar_t text[39] = {};
    StringFromGUID2(guid, text, 39);
    return text;
}

TEST(FieldTables, DescribeTheFiveFieldsInIdOrder) {
    struct Expected {
        CREDENTIAL_PROVIDER_FIELD_TYPE type;
        const wchar_t* label;
        const wchar_t* guid;
        CREDENTIAL_PROVIDER_FIELD_STATE state;
        CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE interactive;
    };
    const Expected expected[FieldCount] = {
        {CPFT_TILE_IMAGE, L"Image", L"{2D837775-F6CD-464E-A745-482FD0B47493}", CPFS_DISPLAY_IN_BOTH, CPFIS_NONE},
        {CPFT_EDIT_TEXT, L"Username or email", L"{DA15BBE8-954D-4FD3-B0F4-1FB5B90B174B}", CPFS_DISPLAY_IN_SELECTED_TILE,
         CPFIS_FOCUSED},
        {CPFT_PASSWORD_TEXT, L"Password", L"{60624CFA-A477-47B1-8A8E-3A4A19981827}", CPFS_DISPLAY_IN_SELECTED_TILE,
         CPFIS_NONE},
        {CPFT_SUBMIT_BUTTON, L"Submit", L"{00000000-0000-0000-0000-000000000000}", CPFS_DISPLAY_IN_SELECTED_TILE,
         CPFIS_NONE},
        {CPFT_SMALL_TEXT, L"Quillmere", L"{00000000-0000-0000-0000-000000000000}", CPFS_DISPLAY_IN_BOTH, CPFIS_NONE},
    };
    TileOwner tile = NewTile();
    for (DWORD id = 0; id < FieldCount; ++id) {
        SCOPED_TRACE(id);
        const CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR& descriptor = FieldDescriptorTable[id];
        EXPECT_EQ(id, descriptor.dwFieldID);
        EXPECT_EQ(expected[id].type, descriptor.cpft);
        EXPECT_STREQ(expected[id].label, descriptor.pszLabel);
        // The GUIDs come from another unit during static initialisation; this shows it ran.
        EXPECT_EQ(expected[id].guid, GuidText(descriptor.guidFieldType));

        CREDENTIAL_PROVIDER_FIELD_STATE state = CPFS_HIDDEN;
        CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE interactive = CPFIS_DISABLED;
        ASSERT_EQ(S_OK, tile->GetFieldState(id, &state, &interactive));
        EXPECT_EQ(expected[id].state, state);
        EXPECT_EQ(expected[id].interactive, interactive);
    }

    auto state = static_cast<CREDENTIAL_PROVIDER_FIELD_STATE>(77);
    auto interactive = static_cast<CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE>(77);
    for (DWORD id : {DWORD{FieldCount}, DWORD{0xFFFFFFFF}}) {
        EXPECT_EQ(E_INVALIDARG, tile->GetFieldState(id, &state, &interactive));
    }
    EXPECT_EQ(77, state);
    EXPECT_EQ(77, interactive);
}

TEST(CredentialTile, StoresTheUserNameButNeverHandsOutThePassword) {
    TileOwner tile = NewTile();
    EXPECT_EQ(L"", StringValue(*tile, FieldUserName));
    EXPECT_EQ(L"Quillmere", StringValue(*tile, FieldProviderLabel));

    EXPECT_EQ(S_OK, tile->SetStringValue(FieldUserName, L"first"));
    EXPECT_EQ(S_OK, tile->SetStringValue(FieldUserName, L"second"));
    EXPECT_EQ(L"second", StringValue(*tile, FieldUserName));
    EXPECT_EQ(S_OK, tile->SetStringValue(FieldPassword, L"hunter2"));
    EXPECT_EQ(L"", StringValue(*tile, FieldPassword));

    // Fields without a text value: the pointer is left alone, nothing is stored.
    for (DWORD id : {DWORD{FieldImage}, DWORD{FieldSubmit}, DWORD{FieldProviderLabel}, DWORD{FieldCount}}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(E_INVALIDARG, tile->SetStringValue(id, L"intruder"));
        if (id == FieldProviderLabel) {
            continue;
        }
        PWSTR untouched = reinterpret_cast<PWSTR>(0x1234);
        EXPECT_EQ(E_INVALIDARG, tile->GetStringValue(id, &untouched));
        EXPECT_EQ(reinterpret_cast<PWSTR>(0x1234), untouched);
    }
    EXPECT_EQ(L"second", StringValue(*tile, FieldUserName));

    // Deselection drops the password only; an empty or null value clears the user name.
    EXPECT_EQ(S_OK, tile->SetDeselected());
    EXPECT_EQ(L"second", StringValue(*tile, FieldUserName));
    EXPECT_EQ(S_OK, tile->SetStringValue(FieldUserName, L""));
    EXPECT_EQ(L"", StringValue(*tile, FieldUserName));
    EXPECT_EQ(S_OK, tile->SetStringValue(FieldUserName, L"third"));
    EXPECT_EQ(S_OK, tile->SetStringValue(FieldUserName, nullptr));
    EXPECT_EQ(L"", StringValue(*tile, FieldUserName));
}

TEST(CredentialTile, AnswersTheFixedOperationsAndRefusesTheUnsupportedOnes) {
    TileOwner tile = NewTile();
    BOOL autoLogon = TRUE;
    EXPECT_EQ(S_OK, tile->SetSelected(&autoLogon));
    EXPECT_FALSE(autoLogon);
    for (DWORD id : {DWORD{FieldImage}, DWORD{FieldSubmit}, DWORD{FieldCount}, DWORD{0xFFFFFFFF}}) {
        DWORD adjacent = 99;
        EXPECT_EQ(S_OK, tile->GetSubmitButtonValue(id, &adjacent));
        EXPECT_EQ(DWORD{FieldPassword}, adjacent);
    }

    // E_NOTIMPL, with every output left as it was.
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(0x1);
    BOOL checked = 7;
    PWSTR text = reinterpret_cast<PWSTR>(0x2);
    DWORD items = 8;
    DWORD selected = 9;
    EXPECT_EQ(E_NOTIMPL, tile->GetBitmapValue(FieldImage, &bitmap));
    EXPECT_EQ(E_NOTIMPL, tile->GetCheckboxValue(FieldImage, &checked, &text));
    EXPECT_EQ(E_NOTIMPL, tile->GetComboBoxValueCount(FieldImage, &items, &selected));
    EXPECT_EQ(E_NOTIMPL, tile->GetComboBoxValueAt(FieldImage, 0, &text));
    EXPECT_EQ(E_NOTIMPL, tile->SetCheckboxValue(FieldImage, TRUE));
    EXPECT_EQ(E_NOTIMPL, tile->SetComboBoxSelectedValue(FieldImage, 0));
    EXPECT_EQ(E_NOTIMPL, tile->CommandLinkClicked(FieldImage));
    EXPECT_EQ(reinterpret_cast<HBITMAP>(0x1), bitmap);
    EXPECT_EQ(7, checked);
    EXPECT_EQ(reinterpret_cast<PWSTR>(0x2), text);
    EXPECT_EQ(8u, items);
    EXPECT_EQ(9u, selected);
}

TEST(CredentialTile, AnswersOnlyIUnknownAndItsOneInterface) {
    TileOwner tile = NewTile();
    void* asTile = nullptr;
    ASSERT_EQ(S_OK, tile->QueryInterface(IID_ICredentialProviderCredential, &asTile));
    EXPECT_EQ(static_cast<ICredentialProviderCredential*>(tile.get()), asTile);
    void* asUnknown = nullptr;
    ASSERT_EQ(S_OK, tile->QueryInterface(IID_IUnknown, &asUnknown));
    EXPECT_EQ(asTile, asUnknown);
    // Each query added a reference: creation 1 + 2, and AddRef/Release report their own result.
    EXPECT_EQ(4u, tile->AddRef());
    EXPECT_EQ(3u, tile->Release());
    EXPECT_EQ(2u, tile->Release());
    EXPECT_EQ(1u, tile->Release());

    for (const IID* other : {&IID_ICredentialProvider, &IID_ICredentialProviderCredentialEvents, &IID_IClassFactory}) {
        void* object = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(E_NOINTERFACE, tile->QueryInterface(*other, &object));
        EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(2u, tile->AddRef());
    EXPECT_EQ(1u, tile->Release());
}

TEST(CredentialTile, HoldsOneModuleCountFromCreationToItsFinalRelease) {
    const LONG before = ModuleLockCount;
    CQMCredentialTile* tile = new CQMCredentialTile();
    EXPECT_EQ(before + 1, ModuleLockCount);
    tile->AddRef();
    EXPECT_EQ(before + 1, ModuleLockCount);
    EXPECT_EQ(1u, tile->Release());
    EXPECT_EQ(before + 1, ModuleLockCount);
    {
        TileOwner second = NewTile();
        EXPECT_EQ(before + 2, ModuleLockCount);
    }
    EXPECT_EQ(0u, tile->Release());
    EXPECT_EQ(before, ModuleLockCount);
}

// An event sink that counts its references and fails the test if the tile ever calls it.
class CountingEventSink final : public ICredentialProviderCredentialEvents {
public:
    LONG references = 1;

    IFACEMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return ++references; }
    IFACEMETHODIMP_(ULONG) Release() override { return --references; }
    IFACEMETHODIMP SetFieldState(ICredentialProviderCredential*, DWORD, CREDENTIAL_PROVIDER_FIELD_STATE) override {
        return Called();
    }
    IFACEMETHODIMP SetFieldInteractiveState(ICredentialProviderCredential*, DWORD,
                                            CREDENTIAL_PROVIDER_FIELD_INTERACTIVE_STATE) override {
        return Called();
    }
    IFACEMETHODIMP SetFieldString(ICredentialProviderCredential*, DWORD, LPCWSTR) override { return Called(); }
    IFACEMETHODIMP SetFieldCheckbox(ICredentialProviderCredential*, DWORD, BOOL, LPCWSTR) override { return Called(); }
    IFACEMETHODIMP SetFieldBitmap(ICredentialProviderCredential*, DWORD, HBITMAP) override { return Called(); }
    IFACEMETHODIMP SetFieldComboBoxSelectedItem(ICredentialProviderCredential*, DWORD, DWORD) override {
        return Called();
    }
    IFACEMETHODIMP DeleteFieldComboBoxItem(ICredentialProviderCredential*, DWORD, DWORD) override { return Called(); }
    IFACEMETHODIMP AppendFieldComboBoxItem(ICredentialProviderCredential*, DWORD, LPCWSTR) override { return Called(); }
    IFACEMETHODIMP SetFieldSubmitButton(ICredentialProviderCredential*, DWORD, DWORD) override { return Called(); }
    IFACEMETHODIMP OnCreatingWindow(HWND*) override { return Called(); }

private:
    HRESULT Called() {
        ADD_FAILURE() << "the tile called its event sink";
        return E_FAIL;
    }
};

TEST(CredentialTile, HoldsExactlyOneReferenceOnTheCurrentEventSink) {
    CountingEventSink first;
    CountingEventSink second;
    {
        TileOwner tile = NewTile();
        EXPECT_EQ(S_OK, tile->UnAdvise());  // none held yet

        EXPECT_EQ(S_OK, tile->Advise(&first));
        EXPECT_EQ(2, first.references);
        EXPECT_EQ(S_OK, tile->Advise(&first));  // the same sink again keeps one reference
        EXPECT_EQ(2, first.references);
        EXPECT_EQ(S_OK, tile->Advise(&second));
        EXPECT_EQ(1, first.references);
        EXPECT_EQ(2, second.references);

        EXPECT_EQ(S_OK, tile->Advise(nullptr));
        EXPECT_EQ(1, second.references);
        EXPECT_EQ(S_OK, tile->UnAdvise());

        EXPECT_EQ(S_OK, tile->Advise(&second));
        EXPECT_EQ(S_OK, tile->UnAdvise());
        EXPECT_EQ(1, second.references);
        EXPECT_EQ(S_OK, tile->Advise(&first));

        // Typing and selection never reach the sink.
        BOOL autoLogon = FALSE;
        tile->SetSelected(&autoLogon);
        tile->SetStringValue(FieldUserName, L"name");
        tile->SetDeselected();
    }
    EXPECT_EQ(1, first.references);  // let go at the final Release
    EXPECT_EQ(1, second.references);
}

TEST(CoTaskStrDup, CopiesIntoACallerOwnedBlockAndTakesNullAsEmpty) {
    MallocSpy& spy = MallocSpy::Get();
    spy.Mark();
    PWSTR copy = nullptr;
    ASSERT_EQ(S_OK, CoTaskStrDup(L"text", &copy));
    EXPECT_EQ(L"text", TakeString(copy));
    ASSERT_EQ(S_OK, CoTaskStrDup(nullptr, &copy));
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(L"", TakeString(copy));

    copy = reinterpret_cast<PWSTR>(0x1);
    spy.FailAllocations(1);
    EXPECT_EQ(E_OUTOFMEMORY, CoTaskStrDup(L"text", &copy));
    EXPECT_EQ(nullptr, copy);
    EXPECT_EQ(0u, spy.OutstandingSinceMark());
}

}  // namespace
