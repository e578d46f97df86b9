// The IUnknown half of every COM class of the module. A class derives from
// ComObject<Itself, TheOneInterface, Policy> and writes only the methods of its interface; the
// vtable stays that of the one platform interface, because this base adds no virtual function of
// its own (the final Release deletes through the derived type). An object that goes to a caller
// asking by IID (DllGetClassObject, the factory) is made by CreateComObject below; one whose
// owner keeps its concrete type (the provider's tile) is made with the non-throwing new, and
// its creation reference is taken over (ComPtr::Attach).
#pragma once

#include <windows.h>
#include <shlwapi.h>
#include <unknwn.h>

#include <new>

// A ModuleCountPolicy for objects that keep no module loaded (a host's own sinks, test doubles).
struct NoModuleCount {
    static void Acquire() noexcept {}
    static void Release() noexcept {}
};

// Policy::Acquire runs when the object is constructed (by whatever means: the creation pattern
// below, or a plain new), and Policy::Release once the final Release has destroyed and freed it:
// the count covers the whole destruction, so whatever the object's members let go on the way out
// (a held tile, a sink) goes while the module still counts as busy.
template <typename Derived, typename Interface, typename ModuleCountPolicy>
class ComObject : public Interface {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    // Answers IUnknown and Interface only.
    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
        static const QITAB kInterfaces[] = {
            {&__uuidof(Interface), OFFSETOFCLASS(Interface, Derived)},
            {nullptr, 0},
        };
        return QISearch(static_cast<Derived*>(this), kInterfaces, riid, ppv);
    }

    // Returns the count that this increment produced, never a second read of the member.
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }

    // Returns the count that this decrement produced; the release that reaches 0 destroys.
    IFACEMETHODIMP_(ULONG) Release() noexcept override {
        const LONG remaining = InterlockedDecrement(&m_refCount);
        if (remaining == 0) {
            delete static_cast<Derived*>(this);
            ModuleCountPolicy::Release();
        }
        return static_cast<ULONG>(remaining);
    }

protected:
    // One reference, for the creator.
    ComObject() noexcept { ModuleCountPolicy::Acquire(); }
    ~ComObject() = default;

private:
    volatile LONG m_refCount = 1;
};

// Creates a T with the non-throwing new, asks it for riid into ppv and drops the creation
// reference. With a successful query the caller holds the only reference; with a failed one the
// release destroys the object again, so nothing is left behind. E_OUTOFMEMORY when the
// allocation fails.
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
