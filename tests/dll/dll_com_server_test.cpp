#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <credentialprovider.h>

#include "dll_test_support.h"
#include "provider_class_id.h"
#include "tile_field_id.h"

namespace {

constexpr wchar_t kDllName[] = L"qm-credprovider.dll";

bool DllLoaded() { return GetModuleHandleW(kDllName) != nullptr; }

// The provider registered by regsvr32, used by a client in a single-threaded apartment: the
// apartment kind in which CoFreeUnusedLibraries unloads in-process servers.
class DllComServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, RunRegsvr32(false));
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ASSERT_FALSE(DllLoaded()) << "nothing has loaded the DLL yet";
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        CoUninitialize();
        EXPECT_EQ(0, RunRegsvr32(true));
    }

    static ICredentialProvider* CreateProvider() {
        ICredentialProvider* provider = nullptr;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_QMCredProvider, nullptr, CLSCTX_INPROC_SERVER, IID_ICredentialProvider,
                                         reinterpret_cast<void**>(&provider)));
        return provider;
    }
};

TEST_F(DllComServerTest, CreatesTheProviderFromTheRegisteredPathAndServesATile) {
    ICredentialProvider* provider = CreateProvider();
    ASSERT_NE(nullptr, provider);
    HMODULE module = GetModuleHandleW(kDllName);
    ASSERT_NE(nullptr, module);
    WCHAR loadedFrom[MAX_PATH] = {};
    GetModuleFileNameW(module, loadedFrom, MAX_PATH);
    EXPECT_EQ(0, lstrcmpiW(BuiltDllPath().c_str(), loadedFrom)) << "loaded from elsewhere";

    ASSERT_EQ(S_OK, provider->SetUsageScenario(CPUS_LOGON, 0));
    ICredentialProviderCredential* tile = nullptr;
    ASSERT_EQ(S_OK, provider->GetCredentialAt(0, &tile));
    PWSTR label = nullptr;
    ASSERT_EQ(S_OK, tile->GetStringValue(FieldProviderLabel, &label));
    EXPECT_STREQ(L"Quillmere", label);
    CoTaskMemFree(label);
    tile->Release();
    provider->Release();
}

TEST_F(DllComServerTest, UnloadsOnceEverythingIsReleasedAndNotWhileATileIsHeld) {
    ICredentialProvider* provider = CreateProvider();
    ASSERT_NE(nullptr, provider);
    ASSERT_EQ(S_OK, provider->SetUsageScenario(CPUS_UNLOCK_WORKSTATION, 0));
    ICredentialProviderCredential* tile = nullptr;
    ASSERT_EQ(S_OK, provider->GetCredentialAt(0, &tile));

    CoFreeUnusedLibraries();
    EXPECT_TRUE(DllLoaded()) << "the provider is alive";
    provider->Release();
    CoFreeUnusedLibraries();
    ASSERT_TRUE(DllLoaded()) << "the host still holds the tile";

    // Still usable: the code behind the pointer has not gone away.
    BOOL autoLogon = TRUE;
    EXPECT_EQ(S_OK, tile->SetSelected(&autoLogon));
    EXPECT_FALSE(autoLogon);
    tile->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(DllLoaded());
}

TEST_F(DllComServerTest, FactoriesAndServerLocksKeepTheDllLoaded) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_QMCredProvider, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)));
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    CoFreeUnusedLibraries();
    ASSERT_TRUE(DllLoaded()) << "a server lock is outstanding";

    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_QMCredProvider, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)));
    CoFreeUnusedLibraries();
    EXPECT_TRUE(DllLoaded()) << "a factory is alive";
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(DllLoaded());
}

}  // namespace
