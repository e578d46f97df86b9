// The names and plain meanings of the NTSTATUS values that a logon through LSA answers with, for
// credhost's reports (and for HRESULTs that wrap an NTSTATUS, HRESULT_FROM_NT).
#pragma once

#include <windows.h>
#include <ntsecapi.h>

#include <string>

// "STATUS_LOGON_FAILURE", or null for a status not in the table.
const char* NtStatusName(NTSTATUS status) noexcept;

// One plain sentence on what the status means for a logon, or null for a status not in the table.
const char* NtStatusMeaning(NTSTATUS status) noexcept;

// "0xC000006D (STATUS_LOGON_FAILURE)"; the bare number for a status not in the table.
std::string NtStatusText(NTSTATUS status);
