// Storage for secrets: an allocator that overwrites every block with zeros before it returns it
// to the heap, and the two buffer types built on it. std::vector has no small-buffer storage,
// so every byte such a buffer ever held lives in a block that this allocator wipes (growth
// included: the old block goes through deallocate too). Never keep a secret in std::string.
#pragma once

#include <windows.h>

#include <cstddef>
#include <new>
#include <vector>

template <typename T>
struct WipingAllocator {
    using value_type = T;

    WipingAllocator() noexcept = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        return static_cast<T*>(::operator new(count * sizeof(T)));
    }

    void deallocate(T* block, std::size_t count) noexcept {
        SecureZeroMemory(block, count * sizeof(T));
        ::operator delete(block);
    }

    template <typename U>
    bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
    template <typename U>
    bool operator!=(const WipingAllocator<U>&) const noexcept { return false; }
};

// UTF-8 bytes of a secret, without a terminator unless a caller appends one.
using SecretBytes = std::vector<char, WipingAllocator<char>>;

// UTF-16 text of a secret; holders that pass it to a C API keep a terminating zero at the end.
using SecretWide = std::vector<wchar_t, WipingAllocator<wchar_t>>;
