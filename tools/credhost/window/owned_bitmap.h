// Ownership of a GDI bitmap that the host made or was handed (GetBitmapValue gives the caller
// the bitmap; SetFieldBitmap's stays the provider's, so the host keeps a copy).
#pragma once

#include <windows.h>

#include <utility>

class OwnedBitmap {
public:
    OwnedBitmap() noexcept = default;
    explicit OwnedBitmap(HBITMAP bitmap) noexcept : m_bitmap(bitmap) {}
    ~OwnedBitmap() { Reset(); }
    OwnedBitmap(OwnedBitmap&& other) noexcept : m_bitmap(std::exchange(other.m_bitmap, nullptr)) {}
    OwnedBitmap& operator=(OwnedBitmap&& other) noexcept {
        if (this != &other) {
            Reset();
            m_bitmap = std::exchange(other.m_bitmap, nullptr);
        }
        return *this;
    }
    OwnedBitmap(const OwnedBitmap&) = delete;
    OwnedBitmap& operator=(const OwnedBitmap&) = delete;

    // A copy of a bitmap that someone else owns; empty for null or a bitmap that cannot be read.
    static OwnedBitmap CopyOf(HBITMAP bitmap) noexcept {
        if (bitmap == nullptr) {
            return OwnedBitmap();
        }
        return OwnedBitmap(static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    }

    HBITMAP Get() const noexcept { return m_bitmap; }
    void Reset() noexcept {
        if (m_bitmap != nullptr) {
            DeleteObject(m_bitmap);
            m_bitmap = nullptr;
        }
    }

private:
    HBITMAP m_bitmap = nullptr;
};
