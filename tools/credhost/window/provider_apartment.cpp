#include "provider_apartment.h"

#include "com_apartment.h"

bool ProviderApartment::Start() {
    m_wake = KernelHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_ended = KernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_wake || !m_ended) {
        return false;
    }
    m_thread = std::thread([this] { Run(); });
    return true;
}

void ProviderApartment::Post(Task task) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    SetEvent(m_wake.Get());
}

bool ProviderApartment::Stop(DWORD timeoutMs) noexcept {
    if (!m_thread.joinable()) {
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    SetEvent(m_wake.Get());
    if (WaitForSingleObject(m_ended.Get(), timeoutMs) == WAIT_OBJECT_0) {
        m_thread.join();
        return true;
    }
    std::deque<Task> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_tasks);
    }
    m_thread.detach();
    return false;
}

bool ProviderApartment::RunQueued() noexcept {
    for (;;) {
        Task task;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_tasks.empty()) {
                return !m_stopping;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        try {
            task();
        } catch (const std::exception&) {
            // Out of memory while copying what the provider said; the provider's calls never throw.
        }
        m_call.store(nullptr);
        NameProviderCall(nullptr);
    }
}

// An STA must pump messages: COM and a provider's own hidden windows rely on it.
void ProviderApartment::Pump() noexcept {
    const ComApartment apartment;
    const HANDLE wake = m_wake.Get();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (!RunQueued()) {
            return;
        }
        MsgWaitForMultipleObjects(1, &wake, FALSE, INFINITE, QS_ALLINPUT);
    }
}

void ProviderApartment::Run() noexcept {
    Pump();
    SetEvent(m_ended.Get());
}
