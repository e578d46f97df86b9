#include <gtest/gtest.h>

#include <windows.h>

#include "dll_test_support.h"
#include "support/provider_registration_reader.h"

namespace {

// Each test starts and ends with the provider unregistered from the prefix.
class DllRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, RunRegsvr32(true)); }
    void TearDown() override { EXPECT_EQ(0, RunRegsvr32(true)); }
};

TEST_F(DllRegistrationTest, Regsvr32WritesExactlyTheFourValuesEachTime) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first registration" : "second registration");
        ASSERT_EQ(0, RunRegsvr32(false));

        ExpectRegistryString(ReadRegistryString(HKEY_CLASSES_ROOT, kProviderClassKey, nullptr), kProviderDisplayName);
        ExpectRegistryString(ReadRegistryString(HKEY_CLASSES_ROOT, kProviderInprocServerKey, nullptr), BuiltDllPath());
        ExpectRegistryString(ReadRegistryString(HKEY_CLASSES_ROOT, kProviderInprocServerKey, L"ThreadingModel"),
                             L"Apartment");
        ExpectRegistryString(ReadRegistryString(HKEY_LOCAL_MACHINE, kProviderCredentialProviderKey, nullptr),
                             kProviderDisplayName);
        EXPECT_EQ(std::make_pair(1, 1), RegistryKeyShape(HKEY_CLASSES_ROOT, kProviderClassKey));
        EXPECT_EQ(std::make_pair(2, 0), RegistryKeyShape(HKEY_CLASSES_ROOT, kProviderInprocServerKey));
        EXPECT_EQ(std::make_pair(1, 0), RegistryKeyShape(HKEY_LOCAL_MACHINE, kProviderCredentialProviderKey));
    }
}

TEST_F(DllRegistrationTest, Regsvr32UnregisterRemovesBothTreesWithWhateverWasAdded) {
    ASSERT_EQ(0, RunRegsvr32(false));
    HKEY added = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, (kProviderInprocServerKey + L"\\Added").c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, &added, nullptr));
    RegSetValueExW(added, L"Other", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    RegCloseKey(added);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kProviderCredentialProviderKey + L"\\Added").c_str(),
                                             0, nullptr, 0, KEY_WRITE, nullptr, &added, nullptr));
    RegCloseKey(added);

    EXPECT_EQ(0, RunRegsvr32(true));
    EXPECT_TRUE(ProviderUnregistered());
    EXPECT_EQ(0, RunRegsvr32(true)) << "a second unregistration succeeds as well";
    EXPECT_TRUE(ProviderUnregistered());
}

}  // namespace
