// The thread the provider lives on: a single-threaded apartment of its own, as on the sign-in
// screen, where every call reaches the provider on the thread that created it. The window
// posts work here and never waits for it, so a provider that blocks in GetSerialization (an
// agent that takes seconds to answer) leaves the window painting and its wait indicator moving.
// A cross-apartment proxy is no alternative: the credential-provider interfaces have no
// registered proxy, and an apartment-threaded provider must not be called from another thread.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"
#include "provider_call.h"

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class ProviderApartment {
public:
    using Task = std::function<void()>;

    ProviderApartment() noexcept = default;
    ~ProviderApartment() { Stop(INFINITE); }
    ProviderApartment(const ProviderApartment&) = delete;
    ProviderApartment& operator=(const ProviderApartment&) = delete;

    bool Start();
    // Queues task; tasks run one after the other, in the order posted, never inside another.
    void Post(Task task);
    // Runs what is queued, then ends the thread, waiting at most timeoutMs for it. False when
    // the thread is still inside a task then: it is left running, what is still queued is
    // dropped (the secrets it holds wiped), and the caller must end the process without
    // unloading the provider, whose code that thread may still be running.
    bool Stop(DWORD timeoutMs) noexcept;

    // The provider's thread names the provider call(s) it is about to make (a string literal),
    // so that a call that never returns can be named, and one that crashes (provider_call.h);
    // the name is cleared after each task.
    void NameCall(const char* call) noexcept {
        m_call.store(call);
        NameProviderCall(call);
    }
    const char* CurrentCall() const noexcept { return m_call.load(); }

private:
    void Run() noexcept;
    void Pump() noexcept;
    bool RunQueued() noexcept;  // false once stopping and nothing is left

    std::thread m_thread;
    std::mutex m_mutex;
    std::deque<Task> m_tasks;
    bool m_stopping = false;
    KernelHandle m_wake;
    KernelHandle m_ended;  // set when the thread has left the apartment
    std::atomic<const char*> m_call{nullptr};
};
