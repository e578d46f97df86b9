// Reads a PNG file back through the Windows Imaging Component, for the pictures credhost saves.
#pragma once

#include <windows.h>

#include <string>

struct PngSummary {
    HRESULT result = E_PENDING;  // S_OK when the file decoded
    UINT width = 0;
    UINT height = 0;
    size_t distinctColors = 0;  // counted over a sample of the pixels, capped
};

PngSummary ReadPngSummary(const std::wstring& path);
