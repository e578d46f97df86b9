// The fonts the tile window draws with, made once and deleted with the window.
#pragma once

#include <windows.h>

#include "gdi_object.h"

class WindowFonts {
public:
    WindowFonts() noexcept
        : m_normal(Make(-13, FW_NORMAL, FALSE, L"Tahoma")),
          m_large(Make(-20, FW_BOLD, FALSE, L"Tahoma")),
          m_link(Make(-13, FW_NORMAL, TRUE, L"Tahoma")),
          m_mono(Make(-12, FW_NORMAL, FALSE, L"DejaVu Sans Mono", FIXED_PITCH | FF_MODERN)) {}
    WindowFonts(const WindowFonts&) = delete;
    WindowFonts& operator=(const WindowFonts&) = delete;

    HFONT Normal() const noexcept { return m_normal.Get(); }
    HFONT Large() const noexcept { return m_large.Get(); }
    HFONT Link() const noexcept { return m_link.Get(); }
    HFONT Mono() const noexcept { return m_mono.Get(); }

private:
    static OwnedFont Make(int height, int weight, BOOL underline, PCWSTR face, DWORD pitch = DEFAULT_PITCH | FF_SWISS) {
        return OwnedFont(CreateFontW(height, 0, 0, 0, weight, FALSE, underline, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, pitch, face));
    }

    OwnedFont m_normal;
    OwnedFont m_large;
    OwnedFont m_link;
    OwnedFont m_mono;
};
