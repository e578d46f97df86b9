#include "access_grants.h"

#include "account_text.h"

#include <algorithm>

namespace {

constexpr size_t kAccountsNamed = 3;

}  // namespace

std::vector<std::string> UntrustedGrantees(const ACL* dacl, ACCESS_MASK rights, const TrustedAccountRule& trusted) {
    if (dacl == nullptr) {
        return {"Everyone (no DACL)"};
    }
    std::vector<std::string> grantees;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(const_cast<ACL*>(dacl), index, &entry)) {
            break;
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        PSID account = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & rights) == 0 || trusted(account)) {
            continue;
        }
        std::string text = AccountText(account);
        if (std::find(grantees.begin(), grantees.end(), text) == grantees.end()) {
            grantees.push_back(std::move(text));
        }
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
