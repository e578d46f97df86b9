// Replaces entries of a subsystem's table of operating-system calls for one scope, and puts the
// whole table back when the scope ends, whatever the test did to it in between:
//
//     ScopedSystemCalls<AgentSystemCalls> calls(g_agentSystemCalls);
//     calls->writeFile = FailingWriteFile;
//
// Real() gives the entries that were in force when the scope began, for fakes that pass on.
#pragma once

template <typename Table>
class ScopedSystemCalls {
public:
    explicit ScopedSystemCalls(Table& live) noexcept : m_live(live), m_saved(live) {}
    ~ScopedSystemCalls() { m_live = m_saved; }

    ScopedSystemCalls(const ScopedSystemCalls&) = delete;
    ScopedSystemCalls& operator=(const ScopedSystemCalls&) = delete;

    Table* operator->() noexcept { return &m_live; }
    Table& operator*() noexcept { return m_live; }
    const Table& Real() const noexcept { return m_saved; }

private:
    Table& m_live;
    const Table m_saved;
};
