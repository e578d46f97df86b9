#include "credhost_commands.h"

#include "com_apartment.h"
#include "command_output.h"
#include "console_output.h"
#include "credential_provider_names.h"
#include "provider_session.h"
#include "tile_report.h"
#include "utf8_conversion.h"

namespace {

// Reads every tile the way the sign-in screen enumerates them: GetCredentialAt and Advise, the
// field states and values, then UnAdvise. No tile is selected.
void ReadTiles(ProviderSession& session, ShowReport& report) {
    for (DWORD index = 0; index < session.TileCount(); ++index) {
        TileView view;
        view.index = index;
        TileConnection tile;
        view.openResult = tile.Open(session.Provider(), index);
        view.failedStep = tile.FailedStep();
        if (SUCCEEDED(view.openResult)) {
            view.fields = session.Fields();
            ReadFieldValues(tile.Tile(), view.fields);
            view.userSidResult = tile.ReadUserSid(view.userSid);
        }
        report.tiles.push_back(std::move(view));
    }
}

int ShowFailure(const std::string& provider, const char* step, HRESULT hr) {
    WriteErr("credhost: " + provider + ": " + step + " failed: " + HResultText(hr) + "\n");
    return kExitProviderFailure;
}

}  // namespace

int RunShow(const CredhostCommand& command) {
    ProviderTarget target;
    if (!ResolveProviderTargetOrSayWhy(command, target)) {
        return kExitUsage;
    }
    ComApartment apartment;
    if (FAILED(apartment.Result())) {
        return ShowFailure("COM", "CoInitializeEx", apartment.Result());
    }
    ShowReport report;
    report.provider = DescribeProviderTarget(target);
    report.scenario = command.scenario;
    report.flags = command.flags;
    ProviderModule module;
    HRESULT hr = LoadProviderTarget(target, module);
    if (FAILED(hr)) {
        const std::string advice = LoadFailureAdvice(target, hr);
        ShowFailure(report.provider, module.FailedStep(), hr);
        if (!advice.empty()) {
            WriteErr("credhost: " + advice + "\n");
        }
        return kExitProviderFailure;
    }
    {
        ProviderSession session(module.Provider(), UserArrayChoiceOf(command));
        hr = session.Open(command.scenario, command.flags);
        report.takesNoPart = session.TakesNoPart();
        if (FAILED(hr) && !report.takesNoPart) {
            return ShowFailure(report.provider, session.FailedStep(), hr);
        }
        report.userArrayResult = session.UserArrayResult();
        report.userArray = session.UserArray();
        report.tileCount = session.TileCount();
        report.defaultTile = session.DefaultTile();
        report.autoLogon = session.AutoLogonWithDefault();
        ReadTiles(session, report);
    }
    UnloadProvider(module);
    PrintReport(command, ShowReportText(report), ShowReportJson(report).dump());
    return ShowReportHasProviderFailure(report) ? kExitProviderFailure : kExitSignedIn;
}
