// Byte buffers for secrets. Every block that such a buffer releases, on growth as on
// destruction, is overwritten with zeros first, so no copy of a password outlives its buffer.
// Portable: the native fuzzing build uses the same type.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

// Overwrites size bytes at data with zeros through a volatile pointer, so that the compiler
// cannot drop the stores as dead even when the block is freed right after.
inline void WipeBytes(void* data, std::size_t size) noexcept {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (size-- != 0) {
        *p++ = 0;
    }
}

// std::allocator's contract, with a wipe of the whole block before it goes back to the heap.
// allocate throws std::bad_alloc like std::allocator; callers at a COM boundary catch it.
template <typename T>
struct WipingAllocator {
    using value_type = T;

    WipingAllocator() noexcept = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(::operator new(count * sizeof(T)));
    }

    void deallocate(T* block, std::size_t count) noexcept {
        WipeBytes(block, count * sizeof(T));
        ::operator delete(block);
    }

    template <typename U>
    bool operator==(const WipingAllocator<U>&) const noexcept {
        return true;
    }
    template <typename U>
    bool operator!=(const WipingAllocator<U>&) const noexcept {
        return false;
    }
};

// The byte string for anything that ever holds password bytes: the plain UTF-8 copy, the
// escaped value and the request. Not std::string: its small-string buffer lives inside the
// object and is never wiped.
using SecureBytes = std::vector<char, WipingAllocator<char>>;

// Wipes the bytes that bytes holds, keeping its length. For buffers that must hold zeros from
// a given moment on, before they are released.
inline void WipeBytes(SecureBytes& bytes) noexcept { WipeBytes(bytes.data(), bytes.size()); }
