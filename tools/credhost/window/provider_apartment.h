// The thread the provider lives on: a single-threaded apartment of its own, as on the sign-in
// screen, where every call reaches the provider on the thread that created it. The window
// posts work here and never waits for it, so a provider that blocks in GetSerialization (an
// agent that takes seconds to answer) leaves the window painting and its wait indicator moving.
// A cross-apartment proxy is no alternative: the credential-provider interfaces have no
// registered proxy, and an apartment-threaded provider must not be called from another thread.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class ProviderApartment {
public:
    using Task = std::function<void()>;

    ProviderApartment() noexcept = default;
    ~ProviderApartment() { Stop(); }
    ProviderApartment(const ProviderApartment&) = delete;
    ProviderApartment& operator=(const ProviderApartment&) = delete;

    bool Start();
    // Queues task; tasks run one after the other, in the order posted, never inside another.
    void Post(Task task);
    // Runs what is queued, then ends the thread and waits for it.
    void Stop() noexcept;

private:
    void Run() noexcept;
    bool RunQueued() noexcept;  // false once stopping and nothing is left

    std::thread m_thread;
    std::mutex m_mutex;
    std::deque<Task> m_tasks;
    bool m_stopping = false;
    HANDLE m_wake = nullptr;
};
