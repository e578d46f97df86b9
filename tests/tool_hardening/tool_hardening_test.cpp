// credhost.exe against a provider that breaks the host's rules (support/hostile_provider), and
// both tools against a secret line that holds a NUL, run as processes the way a developer runs
// them. What a user would notice: the documented exit code, no crash, a report that says what
// went wrong, and no raw control character from the provider on the console.
#include "support/child_process.h"
#include "support/hostile_provider/hostile_provider.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr DWORD kRunTimeoutMs = 60000;

std::wstring HostileProviderArguments() {
    return Quoted(WindowsPathOf(QM_HOSTILE_PROVIDER_DLL)) + L" --clsid " QM_HOSTILE_PROVIDER_CLSID;
}

// mode and verb are ASCII.
ProcessResult RunCredhost(const std::string& mode, const std::string& verb, const std::string& input) {
    SetEnvironmentVariableW(QM_HOSTILE_PROVIDER_MODE_VARIABLE, std::wstring(mode.begin(), mode.end()).c_str());
    const std::wstring user = verb == "signin" ? L" --user u" : L"";
    return RunProcess(Quoted(WindowsPathOf(QM_CREDHOST)) + L" " + std::wstring(verb.begin(), verb.end()) + L" " +
                          HostileProviderArguments() + user,
                      input, kRunTimeoutMs);
}

// The first character of the output that could start a line, move the cursor, begin a terminal
// sequence or reorder the text around it; 0 when there is none. Line feeds are the tool's own.
unsigned RawControlIn(const std::string& utf8) {
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                        text.data(), static_cast<int>(text.size()))));
    for (const wchar_t c : text) {
        if ((c < 0x20 && c != L'\n') || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C ||
            c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) {
            return c;
        }
    }
    return 0;
}

TEST(ToolHardening, CredhostSurvivesEveryHostileProviderMode) {
    const std::string escaped =
        "A\\x1B[31mred\\x0AProvider failure: forged\\x0D\\u{85}\\u{9B}\\u{2028}\\u{2029}\\u{202E}\\u{2066}\\u{61C}"
        "\\u{200F}\\x7F";
    struct Case {
        std::string mode;
        std::string verb;
        DWORD exitCode;
        std::string says;
    };
    const Case cases[] = {
        {"control-text", "show", 0, "\"" + escaped + "\""},
        {"control-text", "signin", 0, "user name     \"" + escaped + "\""},
        {"control-refusal", "signin", 1, "Refused: \"" + escaped + "\", icon error"},
        {"block-oversize", "signin", 3, "cbSerialization claims 4186 bytes; the task allocator's block holds 90"},
        {"block-foreign", "signin", 3, "block not from the COM task allocator"},
        {"block-overflow", "signin", 3, "malformed logon block"},
        {"many-fields", "show", 3, "more than 256 fields"},
        {"many-fields", "signin", 3, "more than 256 fields"},
        {"many-tiles", "show", 3, "more than 256 tiles"},
        {"many-tiles", "signin", 3, "more than 256 tiles"},
        {"null-descriptor", "show", 3, "GetFieldDescriptorAt (no descriptor)"},
        {"null-label", "signin", 3, "GetFieldDescriptorAt (no label)"},
        {"null-tile", "show", 3, "GetCredentialAt (no tile) failed"},
        {"null-tile", "signin", 3, "GetCredentialAt (no tile)"},
        {"null-value", "show", 3, "provider failure: 0x00000000 (S_OK) without a value"},
        {"null-value", "signin", 3, "credential without a block"},
        {"garbage-on-failure", "show", 3, "GetCredentialAt failed: 0x80004005 (E_FAIL)"},
        {"garbage-on-failure", "signin", 3, "Provider failure: GetSerialization (0x80004005 (E_FAIL))"},
    };
    for (const Case& c : cases) {
        const ProcessResult result = RunCredhost(c.mode, c.verb, "pw\n");
        const std::string name = c.mode + " " + c.verb;
        ASSERT_TRUE(result.started) << name;
        EXPECT_FALSE(result.timedOut) << name;
        EXPECT_EQ(result.exitCode, c.exitCode) << name << "\n" << result.output;
        EXPECT_NE(result.output.find(c.says), std::string::npos) << name << "\n" << result.output;
        EXPECT_EQ(RawControlIn(result.output), 0u) << name << "\n" << result.output;
    }
    SetEnvironmentVariableW(QM_HOSTILE_PROVIDER_MODE_VARIABLE, nullptr);
}

// On Windows any user may register a class of their own (HKEY_CLASSES_ROOT shows
// HKCU\Software\Classes over the machine's; Wine does not, so the class goes to the machine's
// here), so the server path that credhost reports is outside text like a provider's: expanded as
// Windows would load it, and escaped.
TEST(ToolHardening, ARegisteredServerPathIsExpandedAndEscaped) {
    const std::wstring key = L"CLSID\\{0D15EA5E-0000-4000-8000-00000000E5C1}";
    const std::wstring path = L"%SystemRoot%\\\x1B[31mred.dll";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, (key + L"\\InprocServer32").c_str(), nullptr, REG_EXPAND_SZ,
                              path.c_str(), static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    const ProcessResult result = RunProcess(
        Quoted(WindowsPathOf(QM_CREDHOST)) + L" show {0D15EA5E-0000-4000-8000-00000000E5C1}", "", kRunTimeoutMs);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    EXPECT_EQ(result.exitCode, 3u) << result.output;
    EXPECT_NE(result.output.find("through COM (C:\\windows\\\\x1B[31mred.dll)"), std::string::npos) << result.output;
    EXPECT_EQ(RawControlIn(result.output), 0u) << result.output;
}

// "abc\0anything" would otherwise reach the provider, or the users file's hash, as "abc".
TEST(ToolHardening, SecretLinesHoldingANulAreRefused) {
    const std::string line("abc\0anything\n", 13);
    const ProcessResult signIn = RunCredhost("", "signin", line);
    EXPECT_EQ(signIn.exitCode, 2u) << signIn.output;
    EXPECT_NE(signIn.output.find("credhost: the password holds a NUL character"), std::string::npos) << signIn.output;
    EXPECT_EQ(signIn.output.find("Signed in"), std::string::npos) << signIn.output;

    const std::wstring users = ProcessTempPath(L"qm-nul-users", L".json");
    const ProcessResult added = RunProcess(
        Quoted(WindowsPathOf(QM_TEST_AGENT)) + L" add-user --users " + Quoted(users) + L" --user nul --iterations 1",
        line, kRunTimeoutMs);
    EXPECT_EQ(added.exitCode, 1u) << added.output;
    EXPECT_NE(added.output.find("test-agent: the password holds a NUL character"), std::string::npos) << added.output;
    EXPECT_EQ(GetFileAttributesW(users.c_str()), INVALID_FILE_ATTRIBUTES) << "the user was added";
    DeleteFileW(users.c_str());
}

}  // namespace
