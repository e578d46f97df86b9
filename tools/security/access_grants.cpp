#include "access_grants.h"

#include "account_text.h"
#include "base/allowing_ace.h"

#include <algorithm>

namespace {

constexpr size_t kAccountsNamed = 3;

}  // namespace

void AddGranteeOnce(std::vector<std::string>& grantees, PSID account) {
    std::string text = account != nullptr ? AccountText(account) : "an unreadable entry";
    if (std::find(grantees.begin(), grantees.end(), text) == grantees.end()) {
        grantees.push_back(std::move(text));
    }
}

std::vector<std::string> UntrustedGrantees(const ACL* dacl, ACCESS_MASK rights, const TrustedAccountRule& trusted) {
    if (dacl == nullptr) {
        return {"Everyone (no DACL)"};
    }
    std::vector<std::string> grantees;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        const AceGrantEntry entry = ReadAceGrant(dacl, index);
        if (entry.grant == AceGrant::None || (entry.mask & rights) == 0) {
            continue;
        }
        if (entry.grant == AceGrant::Allows && !entry.compound && trusted(entry.account)) {
            continue;
        }
        AddGranteeOnce(grantees, entry.account);
    }
    return grantees;
}

std::string ListedAccounts(const std::vector<std::string>& accounts) {
    std::string text;
    const size_t named = std::min(accounts.size(), kAccountsNamed);
    for (size_t i = 0; i < named; ++i) {
        if (i > 0) {
            text += i + 1 == named && accounts.size() <= kAccountsNamed ? " and " : ", ";
        }
        text += accounts[i];
    }
    if (accounts.size() > kAccountsNamed) {
        text += " and " + std::to_string(accounts.size() - kAccountsNamed) + " more";
    }
    return text;
}
