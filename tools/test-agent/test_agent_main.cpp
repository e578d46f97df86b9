// test-agent: the reference server of the agent pipe protocol (see agent_command_line.cpp for
// its usage). Not the production agent.
#include "agent_commands.h"

#include "console_output.h"
#include "utf8_conversion.h"

int wmain(int argc, wchar_t** argv) {
    PrepareConsoleOutput();
    AgentCommand command;
    std::wstring error;
    if (!ParseAgentCommandLine(argc, argv, command, error)) {
        WriteErr("test-agent: " + Utf8FromWide(error) + "\n\n" + Utf8FromWide(AgentUsageText()));
        return kAgentExitUsage;
    }
    switch (command.verb) {
    case AgentVerb::Serve: return RunServe(command);
    case AgentVerb::AddUser: return RunAddUser(command);
    case AgentVerb::Service: return RunService(command);
    case AgentVerb::Version: WriteOut("test-agent " QM_PRODUCT_VERSION "\n"); return kAgentExitSuccess;
    case AgentVerb::Help: break;
    }
    WriteOut(Utf8FromWide(AgentUsageText()));
    return kAgentExitSuccess;
}
