// Who an object's DACL lets do what it should not: the accounts that an allowing entry grants
// any of the given rights, other than the accounts trusted with them. The folder check and the
// pipe check ask the same question with their own rights and their own trusted accounts.
//
// Every allowing entry that applies to the object itself is read, of any allow type
// (inherit-only ones are for its children); denying entries are not weighed against them, so an
// account that a deny entry stops is still named. That errs towards a warning, never towards a
// false "OK".
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

using TrustedAccountRule = std::function<bool(PSID account)>;

// The untrusted accounts the DACL grants any of rights, as AccountText; a null DACL (no DACL at
// all) grants everything to everyone and gives "Everyone (no DACL)".
std::vector<std::string> UntrustedGrantees(const ACL* dacl, ACCESS_MASK rights, const TrustedAccountRule& trusted);

// Adds the account's AccountText to grantees unless it is there already; a null account (an
// entry that cannot be read) as "an unreadable entry".
void AddGranteeOnce(std::vector<std::string>& grantees, PSID account);

// "A, B and 2 more" for a line of the report.
std::string ListedAccounts(const std::vector<std::string>& accounts);
