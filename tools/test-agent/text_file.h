// Whole-file reads and replacing writes for the users file.
#pragma once

#include <windows.h>

#include <string>

// Reads the file into content; files above maxBytes are refused with
// HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE). A missing file gives
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
HRESULT ReadWholeFile(PCWSTR path, size_t maxBytes, std::string& content) noexcept;

// Writes content to PATH.tmp and moves it over path, so that a reader never sees a half
// written file and a failed write leaves the old file as it was.
HRESULT ReplaceFileContents(PCWSTR path, const std::string& content) noexcept;
