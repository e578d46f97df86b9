#include <gtest/gtest.h>

#include <objbase.h>
#include <credentialprovider.h>
#include <new>

#include "module_lock_count.h"
#include "provider/credential_provider.h"
#include "support/malloc_spy.h"
#include "support/nothrow_new_failure.h"
#include "tile/field_table.h"

namespace {

void* const kUntouched = reinterpret_cast<void*>(static_cast<INT_PTR>(0x5A5A5A5A));

// Each test runs against one new provider; afterwards the module count must be back where it was.
class ProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_countBefore = ModuleLockCount;
        m_provider = new (std::nothrow) CQMCredProvider();
        ASSERT_NE(nullptr, m_provider);
    }
    void TearDown() override {
        if (m_provider != nullptr) {
            EXPECT_EQ(0u, m_provider->Release());
        }
        EXPECT_EQ(m_countBefore, ModuleLockCount) << "a count outlived its object";
    }

    LONG CountChange() const { return ModuleLockCount - m_countBefore; }

    ICredentialProviderCredential* TileAt0() {
        ICredentialProviderCredential* tile = nullptr;
        EXPECT_EQ(S_OK, m_provider->GetCredentialAt(0, &tile));
        return tile;
    }

    void ReleaseProvider() {
        EXPECT_EQ(0u, m_provider->Release());
        m_provider = nullptr;
    }

    ICredentialProvider* m_provider = nullptr;

private:
    LONG m_countBefore = 0;
};

TEST_F(ProviderTest, AnswersIUnknownAndICredentialProviderOnly) {
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, m_provider->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(m_provider), unknown);
    EXPECT_EQ(1u, unknown->Release());

    ICredentialProvider* same = nullptr;
    ASSERT_EQ(S_OK, m_provider->QueryInterface(IID_ICredentialProvider, reinterpret_cast<void**>(&same)));
    EXPECT_EQ(m_provider, same);
    EXPECT_EQ(3u, m_provider->AddRef());
    EXPECT_EQ(2u, m_provider->Release());
    same->Release();

    const IID* const refused[] = {&IID_ICredentialProviderCredential, &IID_ICredentialProviderEvents,
                                  &IID_IClassFactory, &IID_IMarshal};
    for (const IID* iid : refused) {
        void* object = kUntouched;
        EXPECT_EQ(E_NOINTERFACE, m_provider->QueryInterface(*iid, &object));
        EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(1, CountChange());
}

TEST_F(ProviderTest, RefusedScenariosCreateNoTile) {
    const unsigned refused[] = {CPUS_INVALID, CPUS_CHANGE_PASSWORD, CPUS_PLAP, 6, 0xFFFFFFFFu};
    for (unsigned scenario : refused) {
        EXPECT_EQ(E_NOTIMPL, m_provider->SetUsageScenario(static_cast<CREDENTIAL_PROVIDER_USAGE_SCENARIO>(scenario), 0))
            << "scenario " << scenario;
    }
    DWORD count = 0;
    DWORD defaultIndex = 7;
    BOOL autoLogon = TRUE;
    EXPECT_EQ(S_OK, m_provider->GetCredentialCount(&count, &defaultIndex, &autoLogon));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(0u, defaultIndex);
    EXPECT_FALSE(autoLogon);

    auto* tile = static_cast<ICredentialProviderCredential*>(kUntouched);
    EXPECT_EQ(E_INVALIDARG, m_provider->GetCredentialAt(0, &tile));
    EXPECT_EQ(kUntouched, tile);
    EXPECT_EQ(1, CountChange()) << "the provider's count only";
}

TEST_F(ProviderTest, AcceptedScenariosKeepTheOneTileWithWhatWasTyped) {
    ASSERT_EQ(S_OK, m_provider->SetUsageScenario(CPUS_LOGON, 0));
    ICredentialProviderCredential* first = TileAt0();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(2, CountChange()) << "the provider's and the tile's";
    ASSERT_EQ(S_OK, first->SetStringValue(FieldUserName, L"alice"));

    EXPECT_EQ(S_OK, m_provider->SetUsageScenario(CPUS_UNLOCK_WORKSTATION, 0));
    EXPECT_EQ(E_NOTIMPL, m_provider->SetUsageScenario(CPUS_CHANGE_PASSWORD, 0));
    EXPECT_EQ(S_OK, m_provider->SetUsageScenario(CPUS_CREDUI, 0x80000000u));
    ICredentialProviderCredential* later = TileAt0();
    EXPECT_EQ(first, later);
    PWSTR typed = nullptr;
    ASSERT_EQ(S_OK, later->GetStringValue(FieldUserName, &typed));
    EXPECT_STREQ(L"alice", typed);
    CoTaskMemFree(typed);

    auto* other = static_cast<ICredentialProviderCredential*>(kUntouched);
    EXPECT_EQ(E_INVALIDARG, m_provider->GetCredentialAt(1, &other));
    EXPECT_EQ(kUntouched, other);
    EXPECT_EQ(2, CountChange());
    later->Release();
    first->Release();
}

TEST_F(ProviderTest, TileLivesOnAfterTheProviderWhileTheHostHoldsIt) {
    ASSERT_EQ(S_OK, m_provider->SetUsageScenario(CPUS_LOGON, 0));
    ICredentialProviderCredential* tile = TileAt0();
    ASSERT_NE(nullptr, tile);
    ReleaseProvider();
    EXPECT_EQ(1, CountChange()) << "the tile keeps the module loaded";

    PWSTR label = nullptr;
    ASSERT_EQ(S_OK, tile->GetStringValue(FieldProviderLabel, &label));
    EXPECT_STREQ(kProviderLabelText, label);
    CoTaskMemFree(label);
    EXPECT_EQ(0u, tile->Release());
}

TEST_F(ProviderTest, TileAllocationFailureLeavesNoTileAndTheNextScenarioRetries) {
    {
        ScopedNothrowNewFailure failure;
        EXPECT_EQ(E_OUTOFMEMORY, m_provider->SetUsageScenario(CPUS_LOGON, 0));
        EXPECT_TRUE(failure.Delivered());
    }
    ICredentialProviderCredential* tile = nullptr;
    EXPECT_EQ(E_INVALIDARG, m_provider->GetCredentialAt(0, &tile));
    EXPECT_EQ(1, CountChange());

    EXPECT_EQ(S_OK, m_provider->SetUsageScenario(CPUS_UNLOCK_WORKSTATION, 0));
    tile = TileAt0();
    ASSERT_NE(nullptr, tile);
    tile->Release();
}

TEST_F(ProviderTest, FieldDescriptorsAreCopiesThatTheCallerOwns) {
    DWORD count = 0;
    ASSERT_EQ(S_OK, m_provider->GetFieldDescriptorCount(&count));
    EXPECT_EQ(5u, count);

    MallocSpy& spy = MallocSpy::Get();
    spy.Mark();
    for (DWORD index = 0; index < count; ++index) {
        SCOPED_TRACE(testing::Message() << "descriptor " << index);
        CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR* descriptor = nullptr;
        ASSERT_EQ(S_OK, m_provider->GetFieldDescriptorAt(index, &descriptor));
        const CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR& entry = FieldDescriptorTable[index];
        EXPECT_EQ(index, descriptor->dwFieldID);
        EXPECT_EQ(entry.cpft, descriptor->cpft);
        EXPECT_TRUE(IsEqualGUID(entry.guidFieldType, descriptor->guidFieldType));
        ASSERT_NE(nullptr, descriptor->pszLabel);
        EXPECT_STREQ(entry.pszLabel, descriptor->pszLabel);
        EXPECT_NE(entry.pszLabel, descriptor->pszLabel) << "never a pointer into the module's table";
        if (index == FieldProviderLabel) {
            EXPECT_EQ(CPFT_SMALL_TEXT, descriptor->cpft);
            EXPECT_STREQ(L"Quillmere", descriptor->pszLabel);
            EXPECT_TRUE(IsEqualGUID(GUID_NULL, descriptor->guidFieldType));
        }
        CoTaskMemFree(descriptor->pszLabel);
        CoTaskMemFree(descriptor);
    }
    EXPECT_EQ(10u, spy.AllocationsSinceMark()) << "a descriptor and a label each, from the task allocator";
    EXPECT_EQ(0u, spy.OutstandingSinceMark());

    auto* descriptor = static_cast<CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR*>(kUntouched);
    EXPECT_EQ(E_INVALIDARG, m_provider->GetFieldDescriptorAt(FieldCount, &descriptor));
    EXPECT_EQ(kUntouched, descriptor);
}

TEST_F(ProviderTest, DescriptorWithoutMemoryFailsAndLabelWithoutMemoryIsLeftOut) {
    MallocSpy& spy = MallocSpy::Get();
    spy.Mark();
    CREDENTIAL_PROVIDER_FIELD_DESCRIPTOR* descriptor = nullptr;
    spy.FailAllocations(1);
    EXPECT_EQ(E_OUTOFMEMORY, m_provider->GetFieldDescriptorAt(FieldUserName, &descriptor));
    EXPECT_EQ(nullptr, descriptor);

    spy.FailAllocations(2);
    ASSERT_EQ(S_OK, m_provider->GetFieldDescriptorAt(FieldUserName, &descriptor));
    spy.Disarm();
    EXPECT_EQ(1u, spy.FailuresDelivered());
    ASSERT_NE(nullptr, descriptor);
    EXPECT_EQ(static_cast<DWORD>(FieldUserName), descriptor->dwFieldID);
    EXPECT_EQ(CPFT_EDIT_TEXT, descriptor->cpft);
    EXPECT_TRUE(IsEqualGUID(CPFG_LOGON_USERNAME, descriptor->guidFieldType));
    EXPECT_EQ(nullptr, descriptor->pszLabel);
    CoTaskMemFree(descriptor);
    EXPECT_EQ(0u, spy.OutstandingSinceMark());
}

TEST_F(ProviderTest, NullOutputPointersAreRefused) {
    EXPECT_EQ(E_INVALIDARG, m_provider->GetFieldDescriptorCount(nullptr));
    EXPECT_EQ(E_INVALIDARG, m_provider->GetFieldDescriptorAt(0, nullptr));
    DWORD value = 0;
    BOOL flag = FALSE;
    EXPECT_EQ(E_INVALIDARG, m_provider->GetCredentialCount(nullptr, &value, &flag));
    EXPECT_EQ(E_INVALIDARG, m_provider->GetCredentialCount(&value, nullptr, &flag));
    EXPECT_EQ(E_INVALIDARG, m_provider->GetCredentialCount(&value, &value, nullptr));
    ASSERT_EQ(S_OK, m_provider->SetUsageScenario(CPUS_LOGON, 0));
    EXPECT_EQ(E_INVALIDARG, m_provider->GetCredentialAt(0, nullptr));
}

}  // namespace
