#include "credhost_commands.h"

#include "command_output.h"
#include "display_escaping.h"
#include "registered_providers.h"
#include "utf8_conversion.h"

#include <nlohmann/json.hpp>

int RunList(const CredhostCommand& command) {
    const std::vector<RegisteredProvider> providers = ListRegisteredProviders();
    std::string text = std::to_string(providers.size()) + " registered credential provider(s)\n";
    nlohmann::json list = nlohmann::json::array();
    for (const RegisteredProvider& provider : providers) {
        // A provider's registration (its key, name and DLL) is escaped like every text that comes
        // from a provider.
        const std::string name = provider.name.empty() ? "(no name)" : EscapedForDisplay(provider.name);
        const std::string dll =
            provider.dllPath.empty() ? "(class not registered)" : EscapedPathForDisplay(provider.dllPath);
        text += "  " + EscapedPathForDisplay(provider.clsid) + "  " + name + "  " + dll +
                (provider.disabled ? "  (disabled)" : "") + (provider.excluded ? "  (excluded by policy)" : "") + "\n";
        list.push_back({{"clsid", Utf8FromWide(provider.clsid)},
                        {"name", Utf8FromWide(provider.name)},
                        {"dll", provider.dllPath.empty() ? nlohmann::json(nullptr)
                                                         : nlohmann::json(Utf8FromWide(provider.dllPath))},
                        {"disabled", provider.disabled},
                        {"excluded", provider.excluded}});
    }
    PrintReport(command, text, nlohmann::json{{"providers", std::move(list)}}.dump());
    return kExitSignedIn;
}
