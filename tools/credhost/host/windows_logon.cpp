#include "windows_logon.h"

#include "base/secure_bytes.h"
#include "base/unique_handle.h"
#include "lsa_logon_calls.h"
#include "token_user.h"


#include <cstring>
#include <vector>

namespace {

void DeregisterLsaConnection(HANDLE connection) noexcept { g_lsaLogonCalls.deregisterLogonProcess(connection); }
void CloseToken(HANDLE token) noexcept { g_lsaLogonCalls.closeHandle(token); }
void FreeLsaBuffer(void* buffer) noexcept { g_lsaLogonCalls.freeReturnBuffer(buffer); }

using LsaConnection = UniqueHandle<HANDLE, &DeregisterLsaConnection>;
using LogonToken = UniqueHandle<HANDLE, &CloseToken>;
using LsaReturnBuffer = UniqueHandle<void*, &FreeLsaBuffer>;

// The origin name and the token source's name: who made the logon, as the security log shows it.
constexpr char kOriginName[] = "credhost";
constexpr char kTokenSourceName[TOKEN_SOURCE_LENGTH] = {'c', 'r', 'e', 'd', 'h', 'o', 's', 't'};

// The token's user: its SID, and DOMAIN\name as the local authority names it.
void ReadTokenAccount(HANDLE token, WindowsLogonResult& result) {
    DWORD needed = 0;
    g_lsaLogonCalls.getTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed > sizeof(TOKEN_USER) ? needed : sizeof(TOKEN_USER));
    if (!g_lsaLogonCalls.getTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                                             &needed)) {
        result.accountLookupError = GetLastError();
        return;
    }
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    result.sid = SidString(sid);
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameLength = ARRAYSIZE(name);
    DWORD domainLength = ARRAYSIZE(domain);
    SID_NAME_USE use = SidTypeUnknown;
    if (!g_lsaLogonCalls.lookupAccountSid(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        result.accountLookupError = GetLastError();
        return;
    }
    result.accountDomain = domain;
    result.accountName = name;
}

// An error status is Windows' refusal; a success or informational one counts only with a token.
WindowsLogonVerdict VerdictOf(NTSTATUS status, bool hasToken) {
    if (status < 0) {
        return WindowsLogonVerdict::Refused;
    }
    return hasToken ? WindowsLogonVerdict::Accepted : WindowsLogonVerdict::NotVerified;
}

}  // namespace

WindowsLogonResult LogOnThroughLsa(ULONG package, const unsigned char* data, ULONG size) {
    WindowsLogonResult result;
    LsaConnection connection;
    result.status = g_lsaLogonCalls.connectUntrusted(connection.Receive());
    if (result.status != 0) {
        result.failedStep = "LsaConnectUntrusted";
        return result;
    }
    // Holds the password in clear, as the serialization does: wiped when it is released.
    SecureBytes logon(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
    LSA_STRING origin;
    origin.Length = static_cast<USHORT>(sizeof(kOriginName) - 1);
    origin.MaximumLength = static_cast<USHORT>(sizeof(kOriginName));
    origin.Buffer = const_cast<char*>(kOriginName);
    TOKEN_SOURCE source{};
    std::memcpy(source.SourceName, kTokenSourceName, TOKEN_SOURCE_LENGTH);
    g_lsaLogonCalls.allocateLocallyUniqueId(&source.SourceIdentifier);

    LsaReturnBuffer profile;
    ULONG profileLength = 0;
    LUID logonId{};
    LogonToken token;
    QUOTA_LIMITS quotas{};
    result.status = g_lsaLogonCalls.logonUser(connection.Get(), &origin, Interactive, package, logon.data(), size,
                                              nullptr, &source, profile.Receive(), &profileLength, &logonId,
                                              token.Receive(), &quotas, &result.subStatus);
    WipeBytes(logon);
    // Whatever LSA handed back, with any status, is released when its owner goes; only a token
    // with success counts as a logon.
    result.hasToken = static_cast<bool>(token);
    result.verdict = VerdictOf(result.status, result.hasToken);
    if (result.hasToken) {
        ReadTokenAccount(token.Get(), result);
    }
    return result;
}
