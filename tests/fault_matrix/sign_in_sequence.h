// The sign-in screen's whole call sequence on the module, driven through its public COM surface
// (DllGetClassObject, the factory, the provider and its tile), written down as a transcript: one
// line per host call, with what the call returned and what the host was handed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

struct SequenceStep {
    std::string name;          // the host call, e.g. "GetSerialization(approved)"
    std::string seen;          // its result as the host sees it, e.g. "S_OK no credential CPSI_ERROR \"...\""
    size_t allocationsBefore;  // CoTaskMemAlloc requests of the sequence before this step
    size_t allocationsAfter;   // ... and after it
};

struct SequenceRun {
    std::vector<SequenceStep> steps;
    bool agentBufferRefused = false;  // the armed agent-buffer budget was spent
    bool nothrowNewFailed = false;    // the armed non-throwing new failure happened
    size_t outstandingBlocks = 0;     // CoTaskMem blocks of the sequence still allocated at its end
    HRESULT canUnloadNow = S_FALSE;   // DllCanUnloadNow once every object was released
};

struct SequenceFaults {
    unsigned nothrowNew = 0;  // the nth non-throwing new of the sequence fails (0: none)
    // Allocations that the approved submission's agent exchange may make before operator new
    // throws (none: unlimited).
    std::optional<size_t> agentBufferBudget;
};

// The password that the matrix's agent approves; it refuses any other.
inline constexpr char kApprovingPassword[] = "right";

// Creates the provider for the logon scenario, reads every field descriptor, takes the tile,
// reads its strings, submits it empty, types a user name and a wrong password, submits (the
// agent refuses), retypes the right password, submits (the agent approves), reports the result,
// deselects and releases everything. Stops where the host could not go on (no factory, provider
// or tile). Every block handed out is freed (a serialization after zeroing it). Injected
// CoTaskMemAlloc failures are armed by the caller, before the call.
SequenceRun RunSignInSequence(const SequenceFaults& faults = {});
