// Owners of what the window draws with: GDI objects (bitmaps, fonts) and memory device contexts.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

// A bitmap that the host made or was handed (GetBitmapValue gives the caller the bitmap;
// SetFieldBitmap's stays the provider's, so the host keeps a copy).
using OwnedBitmap = UniqueHandle<HBITMAP, DeleteObject>;
using OwnedFont = UniqueHandle<HFONT, DeleteObject>;
using MemoryDc = UniqueHandle<HDC, DeleteDC>;

// A copy of a bitmap that someone else owns; empty for null or a bitmap that cannot be read.
inline OwnedBitmap CopyOfBitmap(HBITMAP bitmap) noexcept {
    if (bitmap == nullptr) {
        return OwnedBitmap();
    }
    return OwnedBitmap(static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}
