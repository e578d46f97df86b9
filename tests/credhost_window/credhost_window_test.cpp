// credhost's tile window as a person uses it, under Xvfb: the test finds the window and its
// controls, types with WM_SETTEXT, clicks with BM_CLICK and presses Enter, and reads back what
// the window shows. The real qm-credprovider.dll asks test-agent.exe over the agent pipe; a
// small provider of every field type shows that each type is drawn and that the provider's
// live updates reach the window; the hostile provider, that the window survives a provider
// that misbehaves.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include "base/unique_handle.h"
#include "every_field_provider.h"
#include "png_reader.h"
#include "provider_class_id.h"
#include "support/child_process.h"
#include "support/host_contract_provider/host_contract_provider.h"
#include "support/hostile_provider/hostile_provider.h"
#include "support/test_agent_process.h"
#include "support/wait_for.h"
#include "tile_field_id.h"
#include "window_control_ids.h"

#include <functional>
#include <string>

namespace {

constexpr char kPassword[] = "window-Pass 42";
constexpr DWORD kRunTimeoutMs = 60000;

std::wstring TextOf(HWND control) {
    wchar_t text[2048] = {};
    SendMessageW(control, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text));
    return text;
}

// The tile window of the credhost just started, once the provider's fields are drawn.
HWND WaitForTileWindow(DWORD firstField) {
    HWND window = nullptr;
    WaitFor([&] {
        window = FindWindowW(kTileWindowClass, nullptr);
        return window != nullptr && GetDlgItem(window, kFieldControlBase + static_cast<int>(firstField)) != nullptr;
    });
    return window;
}

// The fields of both providers have ids equal to their descriptor indexes.
HWND Field(HWND window, DWORD index) { return GetDlgItem(window, kFieldControlBase + static_cast<int>(index)); }

std::wstring ClassOf(HWND control) {
    wchar_t name[64] = {};
    GetClassNameW(control, name, ARRAYSIZE(name));
    return name;
}

bool HasStyle(HWND control, LONG style) { return (GetWindowLongW(control, GWL_STYLE) & style) == style; }

// The memory in use by the process that owns window (its working set: Wine counts no private
// bytes for another process).
SIZE_T MemoryOf(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(process.Get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return counters.WorkingSetSize;
}

// Clears the report and waits for the next one: a submission always ends with one.
std::wstring NextOutcome(HWND window, const std::function<void()>& submit) {
    HWND outcome = GetDlgItem(window, kOutcomeTextId);
    SendMessageW(outcome, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    submit();
    WaitFor([&] { return !TextOf(outcome).empty() && !IsWindowVisible(GetDlgItem(window, kWaitIndicatorId)); });
    return TextOf(outcome);
}

class CredhostWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // A desktop of the test's own, started by credhost under the Xvfb display: the prefix's
        // default desktop belongs to the shared wineserver, started without a display.
        s_desktop = CreateDesktopW(L"qm-credhost-window", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        ASSERT_NE(s_desktop, nullptr);
        ASSERT_TRUE(SetThreadDesktop(s_desktop));
        s_directory = CreateTestFolder(L"qm-window");
        const ProcessResult added = TestAgentProcess(WindowsPathOf(QM_WINDOW_TEST_AGENT), s_directory)
                                        .AddUser(L"--user demo --iterations 2000", kPassword);
        ASSERT_EQ(added.exitCode, 0u) << added.output;
    }

    static void TearDownTestSuite() { RemoveTestFolder(s_directory); }

    void SetUp() override { ASSERT_TRUE(m_agent.Start()); }

    static std::wstring WindowCommand(const char* dll, const wchar_t* clsid) {
        return Quoted(WindowsPathOf(QM_WINDOW_CREDHOST)) + L" window " + Quoted(WindowsPathOf(dll)) + L" --clsid " +
               clsid;
    }

    // Starts credhost window on dll; the caller closes it with CloseWindow.
    HWND OpenWindow(const char* dll, const wchar_t* clsid, DWORD firstField) {
        EXPECT_EQ(FindWindowW(kTileWindowClass, nullptr), nullptr) << "a tile window is left over";
        EXPECT_TRUE(m_credhost.Start(WindowCommand(dll, clsid), s_directory + L"\\credhost.out"));
        return WaitForTileWindow(firstField);
    }

    // Closing the window ends credhost: the provider is released on its own thread.
    void CloseWindow(HWND window) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitFor([&] { return !m_credhost.IsRunning(); }, 20000)) << "credhost did not end";
    }

    ProcessResult Screenshot(const std::wstring& picture, const std::wstring& options, const std::string& password) {
        return RunProcess(
            WindowCommand(QM_WINDOW_DLL, kProviderClsidText) + L" --screenshot " + Quoted(picture) + options,
            password + "\n", kRunTimeoutMs);
    }

    static HDESK s_desktop;
    static std::wstring s_directory;
    TestAgentProcess m_agent{WindowsPathOf(QM_WINDOW_TEST_AGENT), s_directory};
    BackgroundProcess m_credhost;
};

HDESK CredhostWindow::s_desktop = nullptr;
std::wstring CredhostWindow::s_directory;

TEST_F(CredhostWindow, TypedRefusalShowsTheAgentsReasonAndApprovalTheDecodedCredential) {
    HWND window = OpenWindow(QM_WINDOW_DLL, kProviderClsidText, FieldPassword);
    ASSERT_NE(window, nullptr) << "no tile window appeared";
    HWND user = Field(window, FieldUserName);
    HWND password = Field(window, FieldPassword);
    HWND submit = Field(window, FieldSubmit);
    ASSERT_TRUE(user != nullptr && password != nullptr && submit != nullptr);
    EXPECT_TRUE(HasStyle(password, ES_PASSWORD));
    EXPECT_EQ(TextOf(GetDlgItem(window, kFieldLabelBase + FieldUserName)), L"Username or email");
    EXPECT_EQ(TextOf(Field(window, FieldProviderLabel)), L"Quillmere");

    SendMessageW(user, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"demo"));
    SendMessageW(password, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"not the password"));
    const std::wstring refusal = NextOutcome(window, [&] { SendMessageW(submit, BM_CLICK, 0, 0); });
    EXPECT_EQ(TextOf(GetDlgItem(window, kStatusTextId)), L"Invalid username or password.");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, kStatusIconId)));
    EXPECT_NE(refusal.find(L"Refused: \"Invalid username or password.\", icon error"), std::wstring::npos)
        << refusal.c_str();

    // Enter submits, as on the sign-in screen.
    SendMessageA(password, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kPassword));
    const std::wstring approval = NextOutcome(window, [&] { PostMessageW(password, WM_KEYDOWN, VK_RETURN, 0); });
    EXPECT_EQ(TextOf(GetDlgItem(window, kStatusTextId)), L"Signed in: the tile returned a credential.");
    EXPECT_NE(approval.find(L"package Kerberos (1)"), std::wstring::npos) << approval.c_str();
    EXPECT_NE(approval.find(L"user name     \"demo\""), std::wstring::npos) << approval.c_str();
    EXPECT_NE(approval.find(L"14 characters, not shown"), std::wstring::npos) << approval.c_str();
    EXPECT_EQ(approval.find(L"window-Pass"), std::wstring::npos) << "the window shows the password";
    EXPECT_TRUE(IsWindowEnabled(password)) << "the fields stay disabled after the submission";
    CloseWindow(window);
    EXPECT_EQ(ReadFileText(s_directory + L"\\credhost.out").find("S_FALSE"), std::string::npos);
}

TEST_F(CredhostWindow, WindowKeepsAnsweringWhileTheProviderWaitsForASlowAgent) {
    m_agent.Stop();
    ASSERT_TRUE(m_agent.Start(L" --delay 3000"));
    HWND window = OpenWindow(QM_WINDOW_DLL, kProviderClsidText, FieldPassword);
    ASSERT_NE(window, nullptr) << "no tile window appeared";
    HWND password = Field(window, FieldPassword);
    SendMessageW(Field(window, FieldUserName), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"demo"));
    SendMessageA(password, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kPassword));
    const std::wstring approval = NextOutcome(window, [&] {
        SendMessageW(Field(window, FieldSubmit), BM_CLICK, 0, 0);
        // While GetSerialization waits for the agent, the window answers at once, shows the
        // wait indicator, and takes no more typing.
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer), 0);
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, kWaitIndicatorId)));
        EXPECT_EQ(TextOf(GetDlgItem(window, kStatusTextId)), L"Signing in\u2026");
        EXPECT_FALSE(IsWindowEnabled(password));
    });
    EXPECT_NE(approval.find(L"user name     \"demo\""), std::wstring::npos) << approval.c_str();
    CloseWindow(window);
}

TEST_F(CredhostWindow, ScreenshotRunsSaveThePictureAndExitWithSigninsCodes) {
    struct Case {
        const wchar_t* name;
        std::wstring options;
        std::string password;
        DWORD exitCode;
    };
    const Case cases[] = {
        {L"approved", L" --user demo --submit", kPassword, 0},
        {L"refused", L" --user demo --submit", "wrong", 1},
        {L"empty", L"", "", 0},
    };
    for (const Case& run : cases) {
        const std::wstring picture = s_directory + L"\\" + run.name + L".png";
        const ProcessResult result = Screenshot(picture, run.options, run.password);
        EXPECT_EQ(result.exitCode, run.exitCode) << run.name << ": " << result.output;
        const PngSummary png = ReadPngSummary(picture);
        EXPECT_EQ(png.result, S_OK) << run.name;
        EXPECT_GE(png.width, 900u) << run.name;
        EXPECT_GE(png.height, 500u) << run.name;
        EXPECT_GE(png.distinctColors, 8u) << run.name << ": the picture is blank";
        DeleteFileW(picture.c_str());
    }
    const ProcessResult unknown = RunProcess(WindowCommand(QM_WINDOW_DLL, L"{00000000-1111-2222-3333-444444444444}") +
                                                 L" --screenshot " + Quoted(s_directory + L"\\failed.png"),
                                             "", kRunTimeoutMs);
    EXPECT_EQ(unknown.exitCode, 3u) << unknown.output;
    DeleteFileW((s_directory + L"\\failed.png").c_str());
}

TEST_F(CredhostWindow, EveryFieldTypeIsDrawnAndTheProvidersLiveUpdatesAppear) {
    HWND window = OpenWindow(QM_WINDOW_EVERY_FIELD_DLL, kEveryFieldProviderClsid, EveryDisabled);
    ASSERT_NE(window, nullptr) << "no tile window appeared";
    EXPECT_TRUE(HasStyle(Field(window, EveryImage), SS_OWNERDRAW));
    EXPECT_EQ(TextOf(Field(window, EveryLarge)), L"First tile");
    EXPECT_EQ(TextOf(Field(window, EverySmall)), L"Small text: every field type");
    EXPECT_EQ(ClassOf(Field(window, EveryEdit)), L"Edit");
    EXPECT_TRUE(HasStyle(Field(window, EveryPassword), ES_PASSWORD));
    EXPECT_EQ(TextOf(Field(window, EverySubmit)), L"Go");
    EXPECT_TRUE(HasStyle(Field(window, EveryCheckbox), BS_AUTOCHECKBOX));
    EXPECT_EQ(SendMessageW(Field(window, EveryCombo), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(Field(window, EveryCombo), CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(TextOf(Field(window, EveryLink)), L"Reveal the hidden field");
    EXPECT_FALSE(IsWindowVisible(Field(window, EveryHidden)));
    EXPECT_TRUE(HasStyle(Field(window, EveryReadOnly), ES_READONLY));
    EXPECT_FALSE(IsWindowEnabled(Field(window, EveryDisabled)));

    // Typing reaches SetStringValue at once; the provider answers through SetFieldString.
    SendMessageW(Field(window, EveryEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Ada"));
    EXPECT_TRUE(WaitFor([&] { return TextOf(Field(window, EveryLarge)) == L"Hello, Ada"; }));
    // The command link: the provider changes a state, a string, the checkbox, the combo box and
    // an interactive state, in that order. Each change reaches the window as its own message, so
    // the last one's arrival is what says that all have been shown.
    SendMessageW(Field(window, EveryLink), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SendMessageW(Field(window, EveryLink), WM_LBUTTONUP, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(Field(window, EveryDisabled)); }));
    EXPECT_TRUE(IsWindowVisible(Field(window, EveryHidden)));
    EXPECT_EQ(TextOf(Field(window, EverySmall)), L"Command link clicked");
    EXPECT_EQ(SendMessageW(Field(window, EveryCheckbox), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(TextOf(Field(window, EveryCheckbox)), L"Remembered");
    EXPECT_EQ(SendMessageW(Field(window, EveryCombo), CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(SendMessageW(Field(window, EveryCombo), CB_GETCURSEL, 0, 0), 3);

    const std::wstring outcome = NextOutcome(window, [&] { SendMessageW(Field(window, EverySubmit), BM_CLICK, 0, 0); });
    EXPECT_EQ(TextOf(GetDlgItem(window, kStatusTextId)), L"This test provider signs nobody in.");

    // Ticking the box makes the provider add a tile and raise CredentialsChanged: the host reads
    // the tiles again and lists the third.
    SendMessageW(Field(window, EveryCheckbox), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return SendMessageW(GetDlgItem(window, kTileListId), LB_GETCOUNT, 0, 0) == 3; }));
    EXPECT_TRUE(WaitFor([&] { return Field(window, EveryLarge) != nullptr; }));

    // Clicking the second tile in the list selects it: its own fields replace the first's.
    SendMessageW(GetDlgItem(window, kTileListId), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 64 + 20));
    SendMessageW(GetDlgItem(window, kTileListId), WM_LBUTTONUP, 0, MAKELPARAM(20, 64 + 20));
    EXPECT_TRUE(WaitFor([&] { return TextOf(Field(window, EveryLarge)) == L"Second tile"; }));
    CloseWindow(window);
}

// A tile of the sign-in screen of Windows 8 and later: built from the user array (the account
// credhost runs as), no user-name field, the status its SetSelected set through the second
// event interface, and the password-reveal button its field options ask for. The outcome names
// the tile's own user.
TEST_F(CredhostWindow, AUserArrayTileIsDrawnWithItsUserAndItsRevealButton) {
    wchar_t user[257] = {};
    DWORD size = ARRAYSIZE(user);
    ASSERT_TRUE(GetUserNameW(user, &size));
    SetEnvironmentVariableW(QM_HOST_CONTRACT_PROVIDER_MODE_VARIABLE, L"user-array");
    HWND window = OpenWindow(QM_HOST_CONTRACT_PROVIDER_DLL, QM_HOST_CONTRACT_PROVIDER_CLSID, 1);
    SetEnvironmentVariableW(QM_HOST_CONTRACT_PROVIDER_MODE_VARIABLE, nullptr);
    ASSERT_NE(window, nullptr) << "no tile window appeared";
    HWND password = Field(window, 1);
    HWND reveal = GetDlgItem(window, kRevealButtonBase + 1);
    EXPECT_EQ(TextOf(Field(window, 0)), user);
    EXPECT_EQ(TextOf(Field(window, 3)), L"Selected: updated in one batch");
    ASSERT_NE(reveal, nullptr);
    EXPECT_TRUE(IsWindowVisible(reveal));

    EXPECT_NE(SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0), 0);
    SendMessageW(reveal, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0), 0) << "the reveal button shows nothing";
    SendMessageW(reveal, BM_CLICK, 0, 0);
    EXPECT_NE(SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0), 0) << "the password cannot be hidden again";

    const std::wstring outcome = NextOutcome(window, [&] { SendMessageW(Field(window, 2), BM_CLICK, 0, 0); });
    EXPECT_NE(outcome.find(L"Sign-in as \"" + std::wstring(user) + L"\" (the tile's own user)"), std::wstring::npos)
        << outcome.c_str();
    CloseWindow(window);
    EXPECT_EQ(m_credhost.ExitCode(), 0u);
}

// What a person notices of a provider that misbehaves in the window, one mode a row: the
// window shows what went wrong while it keeps answering, its memory stays flat, and closing
// ends credhost with signin's exit codes, within the close's 5 s wait even while the provider
// never returns from a call.
TEST_F(CredhostWindow, WindowSurvivesEveryHostileProviderMode) {
    const auto status = [](const wchar_t* text) {
        return [text](HWND window) {
            return TextOf(GetDlgItem(window, kStatusTextId)).find(text) != std::wstring::npos;
        };
    };
    struct Case {
        const char* mode;
        std::function<void(HWND)> act;
        std::function<bool(HWND)> shows;
        DWORD exitCode;
        const char* says;  // on credhost's standard error
    };
    const Case cases[] = {
        {"hang-serialization", [](HWND window) { PostMessageW(window, WM_COMMAND, IDOK, 0); }, status(L"Signing in"), 3,
         "credhost: provider failure: GetSerialization or ReportResult has not returned 5 s after the window "
         "closed"},
        // The person clicks the first tile while the re-read stalls in GetCredentialAt(1).
        {"reread-fails",
         [](HWND window) {
             SendMessageW(Field(window, 1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed"));
             Sleep(500);
             SendMessageW(GetDlgItem(window, kTileListId), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
             SendMessageW(GetDlgItem(window, kTileListId), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
         },
         status(L"Provider failure: GetCredentialAt (0x80004005"), 3, ""},
        {"combo-flood", [](HWND window) { SendMessageW(Field(window, 3), BM_CLICK, 0, 0); },
         [&](HWND window) {
             return status(L"Provider failure: AppendFieldComboBoxItem (more than 1000 items)")(window) &&
                    SendMessageW(Field(window, 4), CB_GETCOUNT, 0, 0) == 1000;
         },
         3, ""},
        {"changes-loop", [](HWND) {}, status(L"Provider failure: CredentialsChanged (raised during 10 re-reads"), 3,
         ""},
        {"thread-events", [](HWND) {},
         [](HWND window) { return TextOf(Field(window, 0)) == L"set from another thread"; }, 0, ""},
        // The provider's thread calls the sinks it kept through the close and after the window's
        // objects have gone: the window detached them, so the late calls change nothing.
        {"late-events", [](HWND) {},
         [](HWND window) { return TextOf(Field(window, 0)).rfind(L"late event ", 0) == 0; }, 0, ""},
    };
    for (const Case& c : cases) {
        SetEnvironmentVariableA("QM_HOSTILE_PROVIDER_MODE", c.mode);
        HWND window = OpenWindow(QM_HOSTILE_PROVIDER_DLL, QM_HOSTILE_PROVIDER_CLSID, 4);
        ASSERT_NE(window, nullptr) << c.mode << ": no tile window appeared";
        const DWORD start = GetTickCount();
        c.act(window);
        EXPECT_TRUE(WaitFor([&] { return c.shows(window); }, 60000))
            << c.mode << ": the window shows \"" << TextOf(GetDlgItem(window, kStatusTextId)).c_str() << "\"";
        const DWORD shown = GetTickCount() - start;
        const SIZE_T before = MemoryOf(window);
        Sleep(1000);
        const SIZE_T after = MemoryOf(window);
        EXPECT_LT(after, before + 8 * 1024 * 1024) << c.mode << ": memory keeps growing";

        const DWORD closing = GetTickCount();
        CloseWindow(window);
        std::printf("%s: shown after %lu ms, closed in %lu ms\n", c.mode, shown, GetTickCount() - closing);
        EXPECT_EQ(m_credhost.ExitCode(), c.exitCode) << c.mode;
        EXPECT_NE(ReadFileText(s_directory + L"\\credhost.out").find(c.says), std::string::npos) << c.mode;
        m_credhost.Stop();
    }
    SetEnvironmentVariableA("QM_HOSTILE_PROVIDER_MODE", nullptr);
}

}  // namespace
