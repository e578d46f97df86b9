// Saves a window as it is drawn, frame included, into a PNG file: GDI copies the window's
// pixels into a DIB section and the Windows Imaging Component encodes them. No X tool is
// needed under Wine: the pixels come from the window's own surface.
#pragma once

#include <windows.h>

#include <string>

HRESULT SaveWindowAsPng(HWND window, const std::wstring& path) noexcept;
