#include "support/malloc_spy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

// std::allocator's contract on malloc and free.
template <typename T>
struct HeapAllocator {
    using value_type = T;

    HeapAllocator() noexcept = default;
    template <typename U>
    HeapAllocator(const HeapAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (void* block = std::malloc(count * sizeof(T))) {
            return static_cast<T*>(block);
        }
        throw std::bad_alloc();
    }
    void deallocate(T* block, std::size_t) noexcept { std::free(block); }

    template <typename U>
    bool operator==(const HeapAllocator<U>&) const noexcept {
        return true;
    }
    template <typename U>
    bool operator!=(const HeapAllocator<U>&) const noexcept {
        return false;
    }
};

struct BlockInfo {
    SIZE_T size;
    DWORD thread;    // the thread that allocated it
    ULONG64 serial;  // order of allocation, compared with the mark
};

// COM calls the spy around every task allocation, from any thread. Everything the spy keeps is
// guarded by m_lock, which is never held while the PreFree hook runs (the hook may allocate,
// and so come back into the spy).
class TaskAllocatorSpy final : public IMallocSpy, public MallocSpy {
public:
    // IUnknown: the spy lives for the whole process, so the counts are nominal.
    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown && riid != IID_IMallocSpy) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IMallocSpy*>(this);
        return S_OK;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return 2; }
    IFACEMETHODIMP_(ULONG) Release() override { return 1; }

    // IMallocSpy. The request is passed on unchanged; the decision to fail is made here and
    // carried out in PostAlloc, which hands NULL back instead of the real block (that block
    // leaks, which a test can afford).
    IFACEMETHODIMP_(SIZE_T) PreAlloc(SIZE_T cbRequest) override {
        std::lock_guard<std::mutex> guard(m_lock);
        DWORD thread = GetCurrentThreadId();
        t_requested = cbRequest;
        t_failThis = false;
        if (m_marked && thread == m_markThread) {
            ++m_allocationsSinceMark;
        }
        if (m_failRemaining == 0 || thread != m_failThread) {
            return cbRequest;
        }
        if (m_failSkip > 0) {
            --m_failSkip;
            return cbRequest;
        }
        --m_failRemaining;
        ++m_failuresDelivered;
        t_failThis = true;
        return cbRequest;
    }

    IFACEMETHODIMP_(void*) PostAlloc(void* pActual) override {
        if (t_failThis) {
            t_failThis = false;
            return nullptr;
        }
        if (pActual != nullptr) {
            Track(pActual, t_requested);
        }
        return pActual;
    }

    IFACEMETHODIMP_(void*) PreFree(void* pRequest, BOOL) override {
        SIZE_T size = 0;
        PreFreeHook hook;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            auto found = m_blocks.find(pRequest);
            if (found == m_blocks.end()) {
                return pRequest;
            }
            size = found->second.size;
            m_blocks.erase(found);
            hook = m_hook;
        }
        if (hook) {
            hook(pRequest, size);
        }
        return pRequest;
    }

    IFACEMETHODIMP_(void) PostFree(BOOL) override {}

    // A reallocation moves the block's entry to the new address; a size of 0 frees it.
    IFACEMETHODIMP_(SIZE_T) PreRealloc(void* pRequest, SIZE_T cbRequest, void** ppNewRequest, BOOL) override {
        t_reallocOld = pRequest;
        t_requested = cbRequest;
        *ppNewRequest = pRequest;
        return cbRequest;
    }

    IFACEMETHODIMP_(void*) PostRealloc(void* pActual, BOOL) override {
        if (pActual == nullptr && t_requested != 0) {
            return pActual;  // failed: the old block is still there
        }
        Untrack(t_reallocOld);
        if (pActual != nullptr) {
            Track(pActual, t_requested);
        }
        return pActual;
    }

    IFACEMETHODIMP_(void*) PreGetSize(void* pRequest, BOOL) override { return pRequest; }
    IFACEMETHODIMP_(SIZE_T) PostGetSize(SIZE_T cbActual, BOOL) override { return cbActual; }
    IFACEMETHODIMP_(void*) PreDidAlloc(void* pRequest, BOOL) override { return pRequest; }
    IFACEMETHODIMP_(int) PostDidAlloc(void*, BOOL, int fActual) override { return fActual; }
    IFACEMETHODIMP_(void) PreHeapMinimize() override {}
    IFACEMETHODIMP_(void) PostHeapMinimize() override {}

    // MallocSpy
    void Mark() override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_marked = true;
        m_markThread = GetCurrentThreadId();
        m_markSerial = m_nextSerial;
        m_allocationsSinceMark = 0;
    }

    size_t OutstandingSinceMark() const override {
        std::lock_guard<std::mutex> guard(m_lock);
        size_t outstanding = 0;
        for (const auto& entry : m_blocks) {
            const BlockInfo& info = entry.second;
            if (m_marked && info.thread == m_markThread && info.serial >= m_markSerial) {
                ++outstanding;
            }
        }
        return outstanding;
    }

    size_t AllocationsSinceMark() const override {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_allocationsSinceMark;
    }

    void FailAllocations(unsigned nth, unsigned count) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_failThread = GetCurrentThreadId();
        m_failSkip = nth > 0 ? nth - 1 : 0;
        m_failRemaining = count;
        m_failuresDelivered = 0;
    }

    void Disarm() override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_failRemaining = 0;
    }

    unsigned FailuresDelivered() const override {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_failuresDelivered;
    }

    void SetPreFreeHook(PreFreeHook hook) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_hook = std::move(hook);
    }

private:
    // The map allocates from the C runtime's heap directly, neither through the task allocator,
    // which would call back into the spy, nor through operator new, which a test may make fail
    // (support/failing_new.h) while the code under test allocates task memory. An entry that
    // cannot be stored is simply not tracked.
    void Track(void* block, SIZE_T size) noexcept {
        std::lock_guard<std::mutex> guard(m_lock);
        try {
            m_blocks[block] = BlockInfo{size, GetCurrentThreadId(), m_nextSerial++};
        } catch (...) {
        }
    }

    void Untrack(void* block) noexcept {
        std::lock_guard<std::mutex> guard(m_lock);
        m_blocks.erase(block);
    }

    // The state of the call in progress on this thread, between a Pre and its Post.
    static thread_local SIZE_T t_requested;
    static thread_local bool t_failThis;
    static thread_local void* t_reallocOld;

    mutable std::mutex m_lock;
    std::unordered_map<void*, BlockInfo, std::hash<void*>, std::equal_to<void*>,
                       HeapAllocator<std::pair<void* const, BlockInfo>>>
        m_blocks;
    ULONG64 m_nextSerial = 0;
    bool m_marked = false;
    DWORD m_markThread = 0;
    ULONG64 m_markSerial = 0;
    size_t m_allocationsSinceMark = 0;
    DWORD m_failThread = 0;
    unsigned m_failSkip = 0;
    unsigned m_failRemaining = 0;
    unsigned m_failuresDelivered = 0;
    PreFreeHook m_hook;
};

thread_local SIZE_T TaskAllocatorSpy::t_requested = 0;
thread_local bool TaskAllocatorSpy::t_failThis = false;
thread_local void* TaskAllocatorSpy::t_reallocOld = nullptr;

}  // namespace

// Never deleted: COM keeps calling the spy until the process ends, after static destructors.
MallocSpy& MallocSpy::Get() {
    static TaskAllocatorSpy* spy = [] {
        auto* created = new TaskAllocatorSpy;
        HRESULT hr = CoRegisterMallocSpy(created);
        if (FAILED(hr)) {
            ADD_FAILURE() << "CoRegisterMallocSpy failed: 0x" << std::hex << static_cast<unsigned long>(hr);
        }
        return created;
    }();
    return *spy;
}

unsigned ForEachAllocationFailure(const std::function<void(unsigned nth)>& run) {
    constexpr unsigned kMaxRuns = 10000;
    MallocSpy& spy = MallocSpy::Get();
    unsigned failingRuns = 0;
    for (unsigned nth = 1; nth <= kMaxRuns; ++nth) {
        spy.FailAllocations(nth);
        run(nth);
        if (spy.FailuresDelivered() == 0) {
            spy.Disarm();
            return failingRuns;
        }
        ++failingRuns;
    }
    spy.Disarm();
    ADD_FAILURE() << "the code under test kept allocating through " << kMaxRuns << " runs";
    return failingRuns;
}
