// A spy on the COM task allocator (CoTaskMemAlloc / CoTaskMemFree) for tests: allocation
// failures on demand, a count of the blocks still outstanding, and a look at every block just
// before it is freed. It changes no product code: COM routes every task allocation through the
// spy once it is registered.
//
// One spy per process. MallocSpy::Get() registers it with CoRegisterMallocSpy on first use and
// it is never revoked (COM refuses a second registration with CO_E_OBJISREG, and revoking fails
// while spied blocks are alive). COM need not be initialised first.
//
// Thread scope: injected failures and the outstanding count apply only to allocations made on
// the thread that armed them (the test's own thread), so a helper thread such as the scripted
// agent, or one of Wine's, neither takes an injected failure nor counts as a leak. Frees are
// seen from every thread.
//
// Typical use:
//
//     MallocSpy& spy = MallocSpy::Get();
//     spy.Mark();
//     ... call the code, free what it handed out ...
//     EXPECT_EQ(0u, spy.OutstandingSinceMark());
//
//     ForEachAllocationFailure([&](unsigned nth) {
//         HRESULT hr = CallTheCode();
//         if (MallocSpy::Get().FailuresDelivered() > 0) { EXPECT_EQ(E_OUTOFMEMORY, hr); }
//         else { EXPECT_EQ(S_OK, hr); }  // the last run: every allocation succeeded
//     });
//
//     ScopedPreFreeHook hook([&](const void* block, SIZE_T size) { ... inspect the bytes ... });
#pragma once

#include <windows.h>
#include <objidl.h>

#include <functional>

// Called in PreFree, before the block goes back to the allocator, with the block and the size
// that was asked for when it was allocated. Only blocks allocated while the spy was registered
// are shown. May run on any thread, and must not throw. It may allocate.
using PreFreeHook = std::function<void(const void* block, SIZE_T size)>;

class MallocSpy {
public:
    // The process's spy, registered on first use. A failed registration is reported as a test
    // failure (ADD_FAILURE) and leaves a spy that sees nothing.
    static MallocSpy& Get();

    // Starts counting on the calling thread: OutstandingSinceMark and AllocationsSinceMark look
    // only at what that thread allocates from now on.
    virtual void Mark() = 0;

    // Blocks allocated on the marking thread since Mark and not freed yet (by any thread).
    // Injected failures are not blocks and do not count.
    virtual size_t OutstandingSinceMark() const = 0;

    // Allocation requests made on the marking thread since Mark, injected failures included.
    virtual size_t AllocationsSinceMark() const = 0;

    // Makes the nth CoTaskMemAlloc on the calling thread from now fail (1: the very next one),
    // and the count - 1 allocations after it as well. The call returns NULL to its caller, as
    // when memory is short. Replaces any earlier arming and resets FailuresDelivered.
    virtual void FailAllocations(unsigned nth, unsigned count = 1) = 0;

    // Stops injecting failures.
    virtual void Disarm() = 0;

    // Failures injected since the last FailAllocations.
    virtual unsigned FailuresDelivered() const = 0;

    // Installs the PreFree hook (an empty function removes it). One hook at a time.
    virtual void SetPreFreeHook(PreFreeHook hook) = 0;

protected:
    MallocSpy() = default;
    virtual ~MallocSpy() = default;
};

// Installs a PreFree hook for the lifetime of the object and removes it afterwards.
class ScopedPreFreeHook {
public:
    explicit ScopedPreFreeHook(PreFreeHook hook) { MallocSpy::Get().SetPreFreeHook(std::move(hook)); }
    ~ScopedPreFreeHook() { MallocSpy::Get().SetPreFreeHook(nullptr); }

    ScopedPreFreeHook(const ScopedPreFreeHook&) = delete;
    ScopedPreFreeHook& operator=(const ScopedPreFreeHook&) = delete;
};

// Runs `run` once with the first allocation on this thread failing, once with the second
// failing, and so on, then once more with no allocation failing: the first run in which the
// armed failure is not reached ends the sweep. `run` receives the number of the allocation
// that fails (the last, failure-free run included) and asks FailuresDelivered() whether its
// failure happened. Returns the number of runs in which an allocation failed. The spy is
// disarmed afterwards. A sweep of more than 10 000 runs is reported as a test failure.
unsigned ForEachAllocationFailure(const std::function<void(unsigned nth)>& run);
