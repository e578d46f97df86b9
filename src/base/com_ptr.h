// Holds one reference to a COM object. Our own rather than mingw-w64's WRL ComPtr, whose
// Attach adds a reference where it should take one over.
#pragma once

#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(T* object) noexcept : m_object(object) { AddRefHeld(); }
    ComPtr(const ComPtr& other) noexcept : m_object(other.m_object) { AddRefHeld(); }
    ComPtr(ComPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    ~ComPtr() { Reset(); }

    // The new object is taken before the old one is let go, so assigning the held object again
    // cannot destroy it in between.
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }

    // Takes over a reference that the caller already owns (a creation reference).
    void Attach(T* object) noexcept {
        Reset();
        m_object = object;
    }

    // For the out-parameter of a call that hands out a reference (CoCreateInstance, CoGetMalloc):
    // lets go of what is held first, and holds what the call stores there without adding a
    // reference. Not for a call whose failure may leave a stray value behind (a provider's own
    // methods): receive those into a raw pointer and Attach it on success.
    T** Receive() noexcept {
        Reset();
        return &m_object;
    }

    // Hands the held reference to the caller, who then owns it (an out-parameter, say), and
    // holds nothing. Null when nothing was held.
    T* Detach() noexcept { return std::exchange(m_object, nullptr); }

    // Lets the held object go, if any.
    void Reset() noexcept {
        if (T* object = std::exchange(m_object, nullptr)) {
            object->Release();
        }
    }

    T* Get() const noexcept { return m_object; }
    T* operator->() const noexcept { return m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }

private:
    void AddRefHeld() noexcept {
        if (m_object != nullptr) {
            m_object->AddRef();
        }
    }

    T* m_object = nullptr;
};
