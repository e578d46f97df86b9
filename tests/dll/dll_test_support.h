// Where the built DLL is, and regsvr32 run on it inside Wine.
#pragma once

#include <string>

// The DLL's full Windows path: the build tree as Wine's drive Z: shows it.
std::wstring BuiltDllPath();

// Runs "regsvr32 /s [/u] <dll>" and returns its exit code, or -1 when it could not be started
// or did not end within 60 s.
int RunRegsvr32(bool unregister);
