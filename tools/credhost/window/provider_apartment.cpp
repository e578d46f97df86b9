#include "provider_apartment.h"

#include "com_apartment.h"

bool ProviderApartment::Start() {
    m_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (m_wake == nullptr) {
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
    SetEvent(m_wake);
}

void ProviderApartment::Stop() noexcept {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    SetEvent(m_wake);
    m_thread.join();
    CloseHandle(m_wake);
    m_wake = nullptr;
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
    }
}

// An STA must pump messages: COM and a provider's own hidden windows rely on it.
void ProviderApartment::Run() noexcept {
    const ComApartment apartment;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (!RunQueued()) {
            return;
        }
        MsgWaitForMultipleObjects(1, &m_wake, FALSE, INFINITE, QS_ALLINPUT);
    }
}
