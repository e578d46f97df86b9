#include <gtest/gtest.h>

#include <olectl.h>
#include <string>
#include <utility>

#include "module/registration_system_calls.h"
#include "support/provider_registration_reader.h"
#include "support/registry_sandbox.h"
#include "support/scoped_system_calls.h"

namespace {

std::wstring OwnModulePath() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// Faults injected through the registration's OS calls; plain functions, so their settings are
// globals that each test sets before it registers.
DWORD g_fakePathLength = 0;
DWORD g_fakePathError = ERROR_SUCCESS;
HKEY g_deniedRoot = nullptr;
PCWSTR g_failingValueName = nullptr;

DWORD WINAPI FakeModuleFileName(HMODULE, LPWSTR fileName, DWORD size) {
    const DWORD written = g_fakePathLength < size ? g_fakePathLength : size - 1;
    wmemset(fileName, L'p', written);
    fileName[written] = L'\0';
    SetLastError(g_fakePathError);
    return g_fakePathLength < size ? g_fakePathLength : size;
}

LSTATUS WINAPI DenyingCreateKey(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                                REGSAM desired, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    if (key == g_deniedRoot) {
        return ERROR_ACCESS_DENIED;
    }
    return RegCreateKeyExW(key, subKey, reserved, keyClass, options, desired, security, result, disposition);
}

LSTATUS WINAPI FailingSetValue(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD bytes) {
    if (name != nullptr && wcscmp(name, g_failingValueName) == 0) {
        return ERROR_WRITE_FAULT;
    }
    return RegSetValueExW(key, name, reserved, type, data, bytes);
}

LSTATUS WINAPI RefusingMachineDeleteTree(HKEY key, LPCWSTR subKey) {
    if (key == HKEY_LOCAL_MACHINE) {
        return ERROR_ACCESS_DENIED;
    }
    return RegDeleteTreeW(key, subKey);
}

// Registration runs in a private copy of both roots, with the real OS calls unless a test
// replaces them through m_calls.
class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sandbox.Active());
        g_fakePathError = ERROR_SUCCESS;
    }

    ScopedSystemCalls<RegistrationSystemCalls> m_calls{g_registrationSystemCalls};

private:
    RegistrySandbox m_sandbox{L"registration"};
};

TEST_F(RegistrationTest, WritesExactlyTheFourValuesAndRewritesThemAlike) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first registration" : "second registration");
        ASSERT_EQ(S_OK, DllRegisterServer());

        ExpectRegistryString(ReadRegistryString(HKEY_CLASSES_ROOT, kProviderClassKey, nullptr), kProviderDisplayName);
        ExpectRegistryString(ReadRegistryString(HKEY_CLASSES_ROOT, kProviderInprocServerKey, nullptr), OwnModulePath());
        ExpectRegistryString(ReadRegistryString(HKEY_CLASSES_ROOT, kProviderInprocServerKey, L"ThreadingModel"),
                             L"Apartment");
        ExpectRegistryString(ReadRegistryString(HKEY_LOCAL_MACHINE, kProviderCredentialProviderKey, nullptr),
                             kProviderDisplayName);
        EXPECT_EQ(60u, ReadRegistryString(HKEY_CLASSES_ROOT, kProviderClassKey, nullptr).bytes);

        EXPECT_EQ(std::make_pair(1, 1), RegistryKeyShape(HKEY_CLASSES_ROOT, kProviderClassKey));
        EXPECT_EQ(std::make_pair(2, 0), RegistryKeyShape(HKEY_CLASSES_ROOT, kProviderInprocServerKey));
        EXPECT_EQ(std::make_pair(1, 0), RegistryKeyShape(HKEY_LOCAL_MACHINE, kProviderCredentialProviderKey));
    }
}

TEST_F(RegistrationTest, UnregisteringRemovesBothTreesAndAlwaysSucceeds) {
    EXPECT_EQ(S_OK, DllUnregisterServer()) << "nothing registered yet";

    ASSERT_EQ(S_OK, DllRegisterServer());
    HKEY extra = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, (kProviderInprocServerKey + L"\\Added\\Deeper").c_str(),
                                             0, nullptr, 0, KEY_WRITE, nullptr, &extra, nullptr));
    RegSetValueExW(extra, L"Other", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    RegCloseKey(extra);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kProviderCredentialProviderKey + L"\\Added").c_str(),
                                             0, nullptr, 0, KEY_WRITE, nullptr, &extra, nullptr));
    RegCloseKey(extra);

    EXPECT_EQ(S_OK, DllUnregisterServer());
    EXPECT_TRUE(ProviderUnregistered());
    EXPECT_EQ(S_OK, DllUnregisterServer()) << "second unregistration";
}

TEST_F(RegistrationTest, AKeyThatCannotBeDeletedIsPassedOverAndTheOtherStillGoes) {
    ASSERT_EQ(S_OK, DllRegisterServer());
    m_calls->regDeleteTree = RefusingMachineDeleteTree;
    EXPECT_EQ(S_OK, DllUnregisterServer());
    EXPECT_EQ(-1, RegistryKeyShape(HKEY_CLASSES_ROOT, kProviderClassKey).first);
    EXPECT_EQ(std::make_pair(1, 0), RegistryKeyShape(HKEY_LOCAL_MACHINE, kProviderCredentialProviderKey));
}

TEST_F(RegistrationTest, ModulePathThatCannotBeHadWholeFailsBeforeAnyWrite) {
    m_calls->getModuleFileName = FakeModuleFileName;
    struct Case {
        DWORD length;
        DWORD error;
        HRESULT expected;
    };
    const Case cases[] = {
        {0, ERROR_MOD_NOT_FOUND, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
        {0, ERROR_SUCCESS, E_FAIL},  // a failure that names no error is still a failure
        {MAX_PATH, ERROR_INSUFFICIENT_BUFFER, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)},
        {MAX_PATH, ERROR_SUCCESS, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)},  // older systems' truncation
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "length " << c.length << ", error " << c.error);
        g_fakePathLength = c.length;
        g_fakePathError = c.error;
        EXPECT_EQ(c.expected, DllRegisterServer());
        EXPECT_TRUE(ProviderUnregistered());
    }
}

TEST_F(RegistrationTest, ModulePathFillingTheBufferExactlyIsRegisteredWhole) {
    m_calls->getModuleFileName = FakeModuleFileName;
    g_fakePathLength = MAX_PATH - 1;
    ASSERT_EQ(S_OK, DllRegisterServer());
    ExpectRegistryString(ReadRegistryString(HKEY_CLASSES_ROOT, kProviderInprocServerKey, nullptr),
                         std::wstring(MAX_PATH - 1, L'p'));
}

TEST_F(RegistrationTest, DeniedClassesRootWritesNothingAndDeniedMachineKeepsTheComRegistration) {
    m_calls->regCreateKeyEx = DenyingCreateKey;

    g_deniedRoot = HKEY_CLASSES_ROOT;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), DllRegisterServer());
    EXPECT_TRUE(ProviderUnregistered());

    g_deniedRoot = HKEY_LOCAL_MACHINE;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), DllRegisterServer());
    ExpectRegistryString(ReadRegistryString(HKEY_CLASSES_ROOT, kProviderInprocServerKey, L"ThreadingModel"),
                         L"Apartment");
    EXPECT_EQ(-1, RegistryKeyShape(HKEY_LOCAL_MACHINE, kProviderCredentialProviderKey).first);
}

TEST_F(RegistrationTest, FailedValueWriteStopsAtThatStepAndKeepsEarlierOnes) {
    m_calls->regSetValueEx = FailingSetValue;
    g_failingValueName = L"ThreadingModel";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), DllRegisterServer());
    ExpectRegistryString(ReadRegistryString(HKEY_CLASSES_ROOT, kProviderInprocServerKey, nullptr), OwnModulePath());
    EXPECT_EQ(static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND),
              ReadRegistryString(HKEY_CLASSES_ROOT, kProviderInprocServerKey, L"ThreadingModel").status);
    EXPECT_EQ(-1, RegistryKeyShape(HKEY_LOCAL_MACHINE, kProviderCredentialProviderKey).first);
}

}  // namespace
