#include <gtest/gtest.h>

#include <olectl.h>
#include <string>

#include "module/registration_os_calls.h"
#include "provider_class_id.h"

namespace {

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kProviderClsidText;
const std::wstring kInprocServerKey = kClassKey + L"\\InprocServer32";
const std::wstring kCredentialProviderKey =
    std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Providers\\") +
    kProviderClsidText;
constexpr wchar_t kDisplayName[] = L"Quillmere Credential Provider";

struct StoredValue {
    LSTATUS status = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    std::wstring text;
};

StoredValue ReadValue(HKEY root, const std::wstring& keyPath, PCWSTR name) {
    StoredValue value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (value.status != ERROR_SUCCESS) {
        return value;
    }
    WCHAR data[1024] = {};
    value.bytes = sizeof(data) - sizeof(WCHAR);
    value.status = RegQueryValueExW(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &value.bytes);
    RegCloseKey(key);
    value.text = data;
    return value;
}

// How many values and subkeys a key holds; {-1, -1} when it does not exist.
std::pair<int, int> KeyShape(HKEY root, const std::wstring& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {-1, -1};
    }
    DWORD subkeys = 0;
    DWORD values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    return {static_cast<int>(values), static_cast<int>(subkeys)};
}

bool KeyExists(HKEY root, const std::wstring& keyPath) {
    return KeyShape(root, keyPath).first >= 0;
}

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
                                REGSAM desired, LPSECURITY_ATTRIBUTES security, PHKEY result,
                                LPDWORD disposition) {
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

// Redirects HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE into a scratch tree under HKEY_CURRENT_USER
// for this process, so registration tests neither need nor disturb the real registration.
class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sandbox = L"Software\\qm-credprovider-tests\\registration-" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, m_sandbox.c_str());
        ASSERT_EQ(ERROR_SUCCESS, RedirectRoot(HKEY_CLASSES_ROOT, L"\\classes"));
        ASSERT_EQ(ERROR_SUCCESS, RedirectRoot(HKEY_LOCAL_MACHINE, L"\\machine"));
        RegistrationOs = kSystemRegistrationOsCalls;
        g_fakePathError = ERROR_SUCCESS;
    }

    void TearDown() override {
        RegistrationOs = kSystemRegistrationOsCalls;
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_sandbox.c_str());
    }

    static bool NothingRegistered() {
        return !KeyExists(HKEY_CLASSES_ROOT, kClassKey) && !KeyExists(HKEY_LOCAL_MACHINE, kCredentialProviderKey);
    }

private:
    LSTATUS RedirectRoot(HKEY root, PCWSTR name) {
        HKEY target = nullptr;
        const LSTATUS created = RegCreateKeyExW(HKEY_CURRENT_USER, (m_sandbox + name).c_str(), 0, nullptr, 0,
                                                KEY_ALL_ACCESS, nullptr, &target, nullptr);
        if (created != ERROR_SUCCESS) {
            return created;
        }
        const LSTATUS redirected = RegOverridePredefKey(root, target);
        RegCloseKey(target);
        return redirected;
    }

    std::wstring m_sandbox;
};

void ExpectString(const StoredValue& value, const std::wstring& text) {
    EXPECT_EQ(ERROR_SUCCESS, value.status);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
    EXPECT_EQ((text.size() + 1) * sizeof(WCHAR), value.bytes);
    EXPECT_EQ(text, value.text);
}

TEST_F(RegistrationTest, WritesExactlyTheFourValuesAndRewritesThemAlike) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first registration" : "second registration");
        ASSERT_EQ(S_OK, DllRegisterServer());

        ExpectString(ReadValue(HKEY_CLASSES_ROOT, kClassKey, nullptr), kDisplayName);
        ExpectString(ReadValue(HKEY_CLASSES_ROOT, kInprocServerKey, nullptr), OwnModulePath());
        ExpectString(ReadValue(HKEY_CLASSES_ROOT, kInprocServerKey, L"ThreadingModel"), L"Apartment");
        ExpectString(ReadValue(HKEY_LOCAL_MACHINE, kCredentialProviderKey, nullptr), kDisplayName);
        EXPECT_EQ(60u, ReadValue(HKEY_CLASSES_ROOT, kClassKey, nullptr).bytes);

        EXPECT_EQ(std::make_pair(1, 1), KeyShape(HKEY_CLASSES_ROOT, kClassKey));
        EXPECT_EQ(std::make_pair(2, 0), KeyShape(HKEY_CLASSES_ROOT, kInprocServerKey));
        EXPECT_EQ(std::make_pair(1, 0), KeyShape(HKEY_LOCAL_MACHINE, kCredentialProviderKey));
    }
}

TEST_F(RegistrationTest, UnregisteringRemovesBothTreesAndAlwaysSucceeds) {
    EXPECT_EQ(S_OK, DllUnregisterServer()) << "nothing registered yet";

    ASSERT_EQ(S_OK, DllRegisterServer());
    HKEY extra = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, (kInprocServerKey + L"\\Added\\Deeper").c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, &extra, nullptr));
    RegSetValueExW(extra, L"Other", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    RegCloseKey(extra);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kCredentialProviderKey + L"\\Added").c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, &extra, nullptr));
    RegCloseKey(extra);

    EXPECT_EQ(S_OK, DllUnregisterServer());
    EXPECT_TRUE(NothingRegistered());
    EXPECT_EQ(S_OK, DllUnregisterServer()) << "second unregistration";
}

TEST_F(RegistrationTest, ModulePathThatCannotBeHadWholeFailsBeforeAnyWrite) {
    RegistrationOs.getModuleFileName = FakeModuleFileName;
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
        EXPECT_TRUE(NothingRegistered());
    }
}

TEST_F(RegistrationTest, ModulePathFillingTheBufferExactlyIsRegisteredWhole) {
    RegistrationOs.getModuleFileName = FakeModuleFileName;
    g_fakePathLength = MAX_PATH - 1;
    ASSERT_EQ(S_OK, DllRegisterServer());
    ExpectString(ReadValue(HKEY_CLASSES_ROOT, kInprocServerKey, nullptr), std::wstring(MAX_PATH - 1, L'p'));
}

TEST_F(RegistrationTest, DeniedClassesRootWritesNothingAndDeniedMachineKeepsTheComRegistration) {
    RegistrationOs.regCreateKeyEx = DenyingCreateKey;

    g_deniedRoot = HKEY_CLASSES_ROOT;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), DllRegisterServer());
    EXPECT_TRUE(NothingRegistered());

    g_deniedRoot = HKEY_LOCAL_MACHINE;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), DllRegisterServer());
    ExpectString(ReadValue(HKEY_CLASSES_ROOT, kInprocServerKey, L"ThreadingModel"), L"Apartment");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kCredentialProviderKey));
}

TEST_F(RegistrationTest, FailedValueWriteStopsAtThatStepAndKeepsEarlierOnes) {
    RegistrationOs.regSetValueEx = FailingSetValue;
    g_failingValueName = L"ThreadingModel";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), DllRegisterServer());
    ExpectString(ReadValue(HKEY_CLASSES_ROOT, kInprocServerKey, nullptr), OwnModulePath());
    EXPECT_EQ(static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND),
              ReadValue(HKEY_CLASSES_ROOT, kInprocServerKey, L"ThreadingModel").status);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kCredentialProviderKey));
}

}  // namespace
