// Every reply agent-check gets, read twice: as the module reads it (its flat key lookup, through
// agent/agent_reply.h) and as a JSON parser reads it. The module takes the first place where a
// quoted key stands, even inside another value, and does not decode escapes; an agent whose
// replies a JSON parser reads otherwise is telling the module something it did not mean.
#pragma once

#include "check_report.h"

#include <string>
#include <string_view>
#include <vector>

class ReplyAudit {
public:
    // Reads reply both ways; where names the request it answered ("approval", ...).
    void Inspect(const std::string& where, std::string_view reply);

    // Notes a reply the module could not read for its length.
    void NoteOversized(const std::string& where);

    // "reply size", "reply reading", "reply keys", "reply fits".
    void AddLines(CheckReport& report) const;

private:
    void Note(std::vector<std::string>& list, const std::string& where, const std::string& what);

    size_t m_replies = 0;
    size_t m_largest = 0;
    std::vector<std::string> m_oversized;
    std::vector<std::string> m_disagreements;  // "status (approval)"
    std::vector<std::string> m_layout;         // "status is not the first key (approval)"
    std::vector<std::string> m_cut;            // "full_name of 300 units (approval)"
};
