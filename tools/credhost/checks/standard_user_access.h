// Whether a standard user who signed in at the console gets an access from a DACL, decided as
// Windows' access check decides it for such a token: the entries are read in their order; an
// allowing entry for one of the token's groups grants its rights, and a denying entry for one of
// them refuses the request as soon as it names a right not yet granted; the request succeeds once
// every right it asks for is granted. Generic rights, in the request and in the entries, are
// mapped with the given mapping first.
//
// The token is modelled by the groups every such user holds: Everyone, LOCAL, CONSOLE LOGON,
// INTERACTIVE, Authenticated Users, This Organization and BUILTIN\Users. An entry naming one
// particular user or logon session is not counted. Erring towards "not granted": a deny entry
// whose account cannot be read counts as denying everyone, an allow entry that cannot be read
// grants nothing.
#pragma once

#include <windows.h>

// A null DACL grants everything; an empty one nothing.
bool StandardUserGetsAccess(const ACL* dacl, ACCESS_MASK desired, const GENERIC_MAPPING& mapping);
