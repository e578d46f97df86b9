#include "nt_status_names.h"

#include <cstdio>

namespace {

struct NtStatusEntry {
    ULONG status;
    const char* name;
    const char* meaning;
};

// The statuses and sub-statuses that LsaLogonUser documents for an interactive logon, and the
// few that a host meets around it. Values as ntstatus.h defines them.
constexpr NtStatusEntry kNtStatuses[] = {
    {0x00000000, "STATUS_SUCCESS", "the call succeeded"},
    {0xC0000001, "STATUS_UNSUCCESSFUL", "the call failed without saying why"},
    {0xC0000002, "STATUS_NOT_IMPLEMENTED", "this Windows does not implement the call"},
    {0xC0000005, "STATUS_ACCESS_VIOLATION", "a memory access violation"},
    {0xC000000D, "STATUS_INVALID_PARAMETER",
     "the authentication package does not accept the buffer as a logon of this type"},
    {0xC0000017, "STATUS_NO_MEMORY", "not enough memory"},
    {0xC0000022, "STATUS_ACCESS_DENIED", "this caller may not make this logon"},
    {0xC0000044, "STATUS_QUOTA_EXCEEDED", "the caller's quota does not allow this logon"},
    {0xC000005E, "STATUS_NO_LOGON_SERVERS", "no logon server is reachable for the account's domain"},
    {0xC0000061, "STATUS_PRIVILEGE_NOT_HELD", "the caller lacks a privilege that this logon needs"},
    {0xC0000064, "STATUS_NO_SUCH_USER", "no such account"},
    {0xC000006A, "STATUS_WRONG_PASSWORD", "the password is wrong"},
    {0xC000006D, "STATUS_LOGON_FAILURE", "the user name or the password is wrong, or the account does not exist"},
    {0xC000006E, "STATUS_ACCOUNT_RESTRICTION", "a restriction on the account forbids this logon (see the sub-status)"},
    {0xC000006F, "STATUS_INVALID_LOGON_HOURS", "the account may not log on at this time of day"},
    {0xC0000070, "STATUS_INVALID_WORKSTATION", "the account may not log on at this computer"},
    {0xC0000071, "STATUS_PASSWORD_EXPIRED", "the password has expired"},
    {0xC0000072, "STATUS_ACCOUNT_DISABLED", "the account is disabled"},
    {0xC000009A, "STATUS_INSUFFICIENT_RESOURCES", "the system lacks the resources for this logon"},
    {0xC00000A7, "STATUS_BAD_VALIDATION_CLASS", "the authentication package does not recognise the buffer's message type"},
    {0xC00000BB, "STATUS_NOT_SUPPORTED", "the request is not supported"},
    {0xC00000FE, "STATUS_NO_SUCH_PACKAGE", "no authentication package has the serialization's package number"},
    {0xC000015B, "STATUS_LOGON_TYPE_NOT_GRANTED", "the account may not log on interactively at this computer"},
    {0xC000018D, "STATUS_TRUSTED_RELATIONSHIP_FAILURE", "the computer's trust with its domain is broken"},
    {0xC0000193, "STATUS_ACCOUNT_EXPIRED", "the account has expired"},
    {0xC0000224, "STATUS_PASSWORD_MUST_CHANGE", "the password must be changed before the first logon"},
    {0xC0000234, "STATUS_ACCOUNT_LOCKED_OUT", "the account is locked out after too many wrong passwords"},
};

const NtStatusEntry* FindNtStatus(NTSTATUS status) noexcept {
    for (const NtStatusEntry& entry : kNtStatuses) {
        if (entry.status == static_cast<ULONG>(status)) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

const char* NtStatusName(NTSTATUS status) noexcept {
    const NtStatusEntry* entry = FindNtStatus(status);
    return entry != nullptr ? entry->name : nullptr;
}

const char* NtStatusMeaning(NTSTATUS status) noexcept {
    const NtStatusEntry* entry = FindNtStatus(status);
    return entry != nullptr ? entry->meaning : nullptr;
}

std::string NtStatusText(NTSTATUS status) {
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(status));
    const char* name = NtStatusName(status);
    return name != nullptr ? std::string(code) + " (" + name + ")" : std::string(code);
}
