// The tile's task-allocator blocks: the password block holds only zeros when it is freed, on
// every path that drops it; a failed allocation gives the documented result and state; and
// nothing is left outstanding once the caller has freed what it was handed.
#include "tile/credential_tile.h"

#include <gtest/gtest.h>

#include "tile/tile_test_support.h"

namespace {

const std::wstring kPassword = L"Corr3ct-Horse-Battery";  // 22 units: a size nothing else has
const std::wstring kUserName = L"mallory";

// Exactly one block freed, of the password's size, all zeros.
void ExpectOnlyTheWipedPasswordFreed(const std::vector<FreedBlock>& freed) {
    ASSERT_EQ(1u, freed.size());
    EXPECT_EQ(StoredSize(kPassword), freed[0].size());
    EXPECT_TRUE(AllZero(freed[0]));
}

TEST(CredentialTileMemory, ThePasswordIsZeroFilledOnEveryPathThatDropsIt) {
    MallocSpy& spy = MallocSpy::Get();
    spy.Mark();
    CQMCredentialTile* tile = new CQMCredentialTile();

    // Replacement.
    tile->SetStringValue(FieldPassword, kPassword.c_str());
    ExpectOnlyTheWipedPasswordFreed(BlocksFreedDuring([&] { tile->SetStringValue(FieldPassword, L"x"); }));

    // Clearing with an empty value and with null.
    tile->SetStringValue(FieldPassword, kPassword.c_str());
    ExpectOnlyTheWipedPasswordFreed(BlocksFreedDuring([&] { tile->SetStringValue(FieldPassword, L""); }));
    tile->SetStringValue(FieldPassword, kPassword.c_str());
    ExpectOnlyTheWipedPasswordFreed(BlocksFreedDuring([&] { tile->SetStringValue(FieldPassword, nullptr); }));

    // Deselection, which keeps the user name.
    tile->SetStringValue(FieldUserName, kUserName.c_str());
    tile->SetStringValue(FieldPassword, kPassword.c_str());
    ExpectOnlyTheWipedPasswordFreed(BlocksFreedDuring([&] { tile->SetDeselected(); }));
    EXPECT_TRUE(BlocksFreedDuring([&] { tile->SetDeselected(); }).empty());  // nothing left to drop

    // The final Release frees the user name as it is and the password wiped.
    tile->SetStringValue(FieldPassword, kPassword.c_str());
    std::vector<FreedBlock> freed = BlocksFreedDuring([&] { tile->Release(); });
    ASSERT_EQ(2u, freed.size());
    size_t wiped = 0;
    for (const FreedBlock& block : freed) {
        EXPECT_FALSE(Contains(block, kPassword));
        if (block.size() == StoredSize(kPassword) && AllZero(block)) {
            ++wiped;
        }
    }
    EXPECT_EQ(1u, wiped);
    EXPECT_EQ(0u, spy.OutstandingSinceMark());
}

TEST(CredentialTileMemory, AFailedCopyOfATypedValueLeavesTheFieldAbsent) {
    MallocSpy& spy = MallocSpy::Get();
    spy.Mark();
    TileOwner tile = NewTile();
    tile->SetStringValue(FieldUserName, L"before");

    unsigned failingRuns = ForEachAllocationFailure([&](unsigned) {
        EXPECT_EQ(S_OK, tile->SetStringValue(FieldUserName, kUserName.c_str()));
        spy.Disarm();  // the read below must not take the failure
        if (spy.FailuresDelivered() > 0) {
            EXPECT_EQ(L"", StringValue(*tile, FieldUserName));  // the old value is gone too
            return;
        }
        EXPECT_EQ(kUserName, StringValue(*tile, FieldUserName));
    });
    EXPECT_EQ(1u, failingRuns);

    // A password whose copy fails is absent: the submission asks for it again.
    tile->SetStringValue(FieldPassword, kPassword.c_str());
    spy.FailAllocations(1);
    std::vector<FreedBlock> freed =
        BlocksFreedDuring([&] { EXPECT_EQ(S_OK, tile->SetStringValue(FieldPassword, L"new password")); });
    EXPECT_EQ(1u, spy.FailuresDelivered());
    ExpectOnlyTheWipedPasswordFreed(freed);
    CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response;
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization = {};
    PWSTR status = nullptr;
    CREDENTIAL_PROVIDER_STATUS_ICON icon;
    EXPECT_EQ(S_OK, tile->GetSerialization(&response, &serialization, &status, &icon));
    EXPECT_EQ(L"Enter username and password.", TakeString(status));

    tile.reset();
    EXPECT_EQ(0u, spy.OutstandingSinceMark());
}

TEST(CredentialTileMemory, AFailedCopyOfAFieldValueGivesOutOfMemoryAndNoString) {
    MallocSpy& spy = MallocSpy::Get();
    spy.Mark();
    TileOwner tile = NewTile();
    tile->SetStringValue(FieldUserName, kUserName.c_str());
    tile->SetStringValue(FieldPassword, kPassword.c_str());

    for (DWORD field : {DWORD{FieldUserName}, DWORD{FieldPassword}, DWORD{FieldProviderLabel}}) {
        SCOPED_TRACE(field);
        unsigned failingRuns = ForEachAllocationFailure([&](unsigned) {
            PWSTR value = reinterpret_cast<PWSTR>(0x1);
            HRESULT hr = tile->GetStringValue(field, &value);
            if (spy.FailuresDelivered() > 0) {
                EXPECT_EQ(E_OUTOFMEMORY, hr);
                EXPECT_EQ(nullptr, value);
                return;
            }
            EXPECT_EQ(S_OK, hr);
            CoTaskMemFree(value);
        });
        EXPECT_EQ(1u, failingRuns);
    }
    EXPECT_EQ(kUserName, StringValue(*tile, FieldUserName));  // a failed read changes nothing

    tile.reset();
    EXPECT_EQ(0u, spy.OutstandingSinceMark());
}

}  // namespace
