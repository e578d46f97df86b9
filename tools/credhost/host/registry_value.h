// Reading what a provider's registration says, on top of the module's own key handle.
#pragma once

#include <windows.h>

#include <string>

#include "base/unique_handle.h"

// Opens parent\subKey for reading into key; false when it does not exist or cannot be read.
bool OpenRegistryKeyForReading(HKEY parent, PCWSTR subKey, RegistryKey& key) noexcept;

// The named string value (null name: the default value); empty when absent or not a string.
std::wstring ReadRegistryString(HKEY key, PCWSTR name);

// The same for a path, with environment variables expanded: InprocServer32 is often
// REG_EXPAND_SZ ("%SystemRoot%\\System32\\...").
std::wstring ReadRegistryPath(HKEY key, PCWSTR name);

// The named REG_DWORD value, or 0 when it is absent or of another type.
DWORD ReadRegistryDword(HKEY key, PCWSTR name) noexcept;
