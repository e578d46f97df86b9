// What agent-check's checks share while they run: the account under test, its password (in the
// caller's wiping buffer), the audit of every reply and the times of the approvals.
#pragma once

#include <windows.h>

#include "agent_answer.h"
#include "reply_audit.h"

#include <string>
#include <vector>

class AgentCheckContext {
public:
    AgentCheckContext(std::wstring userName, PCWSTR password) : m_userName(std::move(userName)), m_password(password) {}

    const std::wstring& UserName() const { return m_userName; }
    PCWSTR Password() const { return m_password; }

    // Asks the agent to approve the account with its password, and records the answer.
    AgentAnswer SignIn(const std::string& where);

    // Hands an answer's reply to the audit (where names its request), and an approval's time to
    // the latency figures when timed is set (not for clients that ran at the same time).
    void Record(const std::string& where, const AgentAnswer& answer, bool timed = true);

    const ReplyAudit& Audit() const { return m_audit; }
    const std::vector<double>& ApprovalTimes() const { return m_approvalTimes; }

private:
    std::wstring m_userName;
    PCWSTR m_password;
    ReplyAudit m_audit;
    std::vector<double> m_approvalTimes;
};

// The median of values (the mean of the middle two for an even count); 0 for none.
double Median(std::vector<double> values);
