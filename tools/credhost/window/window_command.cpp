// credhost window: the provider's tiles in a window (tile_window.h), with the provider on a
// thread of its own (provider_apartment.h).
#include "credhost_commands.h"

#include "com_apartment.h"
#include "command_output.h"
#include "console_output.h"
#include "credential_provider_names.h"
#include "secret_line_reader.h"
#include "tile_window.h"
#include "utf8_conversion.h"

#include <commctrl.h>

namespace {

// How long closing waits for the provider's thread to release the provider.
constexpr DWORD kProviderCloseWaitMs = 5000;

int RunMessageLoop(HWND window) {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
        // Tab between the fields and Enter to submit, as in a dialog.
        if (IsWindow(window) && IsDialogMessageW(window, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return got == -1 ? kExitProviderFailure : kExitSignedIn;
}

// The provider's thread is still inside the provider's code: unloading its DLL, or letting the
// process's exit run the DLL's detach code, could crash or hang on that thread. So the process
// ends at once, after wiping the one secret that a destructor would have wiped (the window's
// edits were wiped when it closed, and the apartment wiped what was still queued).
[[noreturn]] void EndWithoutHungProvider(const char* call, SecretWide& password) {
    SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
    WriteErr(std::string("credhost: provider failure: ") + (call != nullptr ? call : "a provider call") +
             " has not returned 5 s after the window closed; ending without waiting for it\n");
    TerminateProcess(GetCurrentProcess(), kExitProviderFailure);
    ExitProcess(kExitProviderFailure);
}

}  // namespace

int RunWindow(const CredhostCommand& command) {
    ProviderTarget target;
    if (!ResolveProviderTargetOrSayWhy(command, target)) {
        return kExitUsage;
    }
    // Wiped when it goes out of scope; after the run it lives only in the (wiped) password edit.
    SecretWide password;
    if (command.hasUserName && FAILED(ReadSecretLine(L"Password: ", password))) {
        WriteErr("credhost: cannot read the password from standard input\n");
        return kExitUsage;
    }
    const ComApartment apartment;  // the window's thread, for the imaging component
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    const WindowScript script{command.screenshotPath, command.hasUserName, command.userName, &password, command.submit};
    ProviderApartment providerThread;
    TileWindow window(providerThread, command.screenshotPath.empty() ? nullptr : &script);
    const std::wstring title =
        L"credhost \u2014 " + command.provider + L" \u2014 " + WideFromUtf8(ScenarioName(command.scenario));
    if (window.Create(title) == nullptr || !providerThread.Start()) {
        WriteErr("credhost: cannot create the window (is there a display?)\n");
        return kExitProviderFailure;
    }
    TileHost host(window.Handle(), providerThread, target, command.scenario, command.flags, command.reportStatus,
                  UserArrayChoiceOf(command));
    window.Attach(&host);
    providerThread.Post([&host] { host.Load(); });
    ShowWindow(window.Handle(), SW_SHOWNORMAL);
    UpdateWindow(window.Handle());

    const int loop = RunMessageLoop(window.Handle());
    providerThread.Post([&host] { host.Release(); });
    static_assert(kProviderCloseWaitMs == 5000, "the message names the wait");
    if (!providerThread.Stop(kProviderCloseWaitMs)) {
        EndWithoutHungProvider(providerThread.CurrentCall(), password);
    }
    WarnIfProviderLeaked(host.LeakedObjects());
    return loop != kExitSignedIn ? loop : window.ExitCode();
}
