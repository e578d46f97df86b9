// The one way this module hands a new COM object to a caller.
#pragma once

#include <windows.h>

#include <new>

// Creates a T (its constructor gives it one reference) with the non-throwing new, asks it for
// riid into ppv, and drops the creation reference. With a successful query the caller holds the
// only reference; with a failed one the release destroys the object again, so nothing is left
// behind. E_OUTOFMEMORY when the allocation fails.
template <typename T>
HRESULT CreateComObject(REFIID riid, void** ppv) noexcept {
    T* object = new (std::nothrow) T();
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = object->QueryInterface(riid, ppv);
    object->Release();
    return result;
}
