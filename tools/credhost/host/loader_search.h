// Where the sign-in screen's loader finds a registered DLL. InprocServer32 may name a bare file
// ("Sample.dll", as hand-written .reg files do) or a relative path; LogonUI.exe lives in the
// system folder and loads it with the standard search order, so such a name is found in the
// system folder first, then the Windows folder, then the folders of PATH. The folder that a tool
// runs from, or its current folder, is never where the sign-in screen would look.
#pragma once

#include <string>

// A full path (drive or UNC) is returned as it is, whether or not it exists. Any other name is
// searched for as above: the full path of the first match, or empty when it is found nowhere.
std::wstring FindDllAsLogonLoaderWould(const std::wstring& registeredPath);

// True for a path that names its drive or share (C:\..., \\server\...): one the loader takes as
// it stands.
bool IsFullPath(const std::wstring& path) noexcept;
