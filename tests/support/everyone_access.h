// A file or folder that a careless or hostile creator left open: Everyone may do anything with
// it. Wine keeps no DACL on a file, but turns this one into the mode bits for others and reads it
// back as an Everyone entry, so a test can make the state through the Windows API.
#pragma once

#include <string>

// Gives Everyone (and LocalSystem) full access to path; whether the call succeeded.
bool OpenToEveryone(const std::wstring& path);
