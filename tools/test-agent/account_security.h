// A security descriptor written as SDDL for the account this process runs as, held for
// CreateFileW or CreateNamedPipeW. Each object the agent makes (its pipe, its users file) has its
// own rule for what that account's descriptor is; this holds the descriptor the rule gives.
#pragma once

#include <windows.h>

#include "base/local_memory.h"

#include <string>

class AccountSecurity {
public:
    using SddlForAccount = std::wstring (*)(const std::wstring& userSid);

    explicit AccountSecurity(SddlForAccount sddlFor) noexcept : m_sddlFor(sddlFor) {}

    // Builds the descriptor for the account of the calling process's token.
    HRESULT Create() noexcept;

    // For the object's creation; valid while this object lives.
    SECURITY_ATTRIBUTES* Attributes() noexcept { return &m_attributes; }

    // The descriptor as SDDL, for the log and for tests.
    const std::wstring& Sddl() const noexcept { return m_sddl; }

private:
    SddlForAccount m_sddlFor;
    LocalMemory m_descriptor;
    SECURITY_ATTRIBUTES m_attributes{};
    std::wstring m_sddl;
};
