// Whole-file reads and replacing writes for the users file.
#pragma once

#include <windows.h>

#include <string>

// Reads the file into content; files above maxBytes are refused with
// HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE). A missing file gives
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
HRESULT ReadWholeFile(PCWSTR path, size_t maxBytes, std::string& content) noexcept;

// Replaces the file at path with content. The new text goes into a file beside it, under a name
// no one can foresee, made only where nothing stands yet (CREATE_NEW) and with the caller's
// security descriptor, and that file is then moved over path. A reader never sees a half
// written file, a failed write leaves the old file as it was, and a file that someone planted in
// the folder beforehand, at any name, never becomes the one at path.
HRESULT ReplaceFileContents(PCWSTR path, const std::string& content, SECURITY_ATTRIBUTES* security) noexcept;
