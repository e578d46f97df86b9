#include "command_output.h"

#include "console_output.h"
#include "utf8_conversion.h"

void PrintReport(const CredhostCommand& command, const std::string& text, const std::string& json) {
    WriteOut(command.json ? json + "\n" : text);
}

bool ResolveProviderTargetOrSayWhy(const CredhostCommand& command, ProviderTarget& target) {
    std::wstring error;
    if (!ResolveProviderTarget(command.provider, command.clsid, target, error)) {
        WriteErr("credhost: " + Utf8FromWide(error) + "\n");
        return false;
    }
    return true;
}

void WarnIfProviderLeaked(bool leaked) {
    if (leaked) {
        WriteErr("credhost: warning: DllCanUnloadNow still answers S_FALSE after every object was released\n");
    }
}

void UnloadProvider(ProviderModule& module) { WarnIfProviderLeaked(module.Unload() == S_FALSE); }

int ExitCodeOfWindowsLogon(WindowsLogonVerdict verdict) {
    switch (verdict) {
    case WindowsLogonVerdict::Accepted: return kExitSignedIn;
    case WindowsLogonVerdict::Refused: return kExitRefused;
    default: return kExitNotVerified;
    }
}

UserArrayChoice UserArrayChoiceOf(const CredhostCommand& command) {
    return UserArrayChoice{command.limitsUserArray, command.userArray};
}
