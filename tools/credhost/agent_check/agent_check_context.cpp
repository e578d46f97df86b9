#include "agent_check_context.h"

#include <algorithm>

AgentAnswer AgentCheckContext::SignIn(const std::string& where) {
    const AgentAnswer answer = AskAgentToSignIn(m_userName, m_password);
    Record(where, answer);
    return answer;
}

void AgentCheckContext::Record(const std::string& where, const AgentAnswer& answer, bool timed) {
    if (answer.step == AgentExchangeStep::Read && answer.error == ERROR_MORE_DATA) {
        m_audit.NoteOversized(where);
    }
    if (answer.step != AgentExchangeStep::Done) {
        return;
    }
    m_audit.Inspect(where, answer.reply);
    if (timed && IsApproval(answer)) {
        m_approvalTimes.push_back(answer.milliseconds);
    }
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}
