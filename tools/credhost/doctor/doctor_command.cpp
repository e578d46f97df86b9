// credhost doctor: checks, on the machine where it runs, what makes the tile appear and what
// makes it refuse, one line per check (doctor_report.h), for an administrator who would
// otherwise read the registry and the agent's security by hand. It loads no provider.
#include "credhost_commands.h"

#include "agent_pipe_checks.h"
#include "agent_service_checks.h"
#include "command_output.h"
#include "dll_folder_check.h"
#include "check_report_format.h"
#include "platform_check.h"
#include "registration_checks.h"

int RunDoctor(const CredhostCommand& command) {
    CheckReport report;
    CheckPlatform(report);
    const std::wstring dllPath = CheckClassRegistration(report);
    CheckProviderEntry(report);
    CheckSignInPolicies(report);
    CheckProviderFilters(report);
    if (!dllPath.empty()) {
        CheckDllFolder(report, dllPath);
    }
    const bool pipeServed = CheckAgentPipe(report);
    CheckAgentService(report, pipeServed);
    PrintReport(command, CheckReportText(report), CheckReportJson(report));
    return CheckExitCode(report);
}
