// A credential provider DLL written for the host contract of Windows 8 and later, one way per
// mode, for the tests that run credhost against it. It is loaded from its file with --clsid; the
// mode is read from the environment when DllGetClassObject is called.
#pragma once

#define QM_HOST_CONTRACT_PROVIDER_CLSID L"{C0117AC7-8A11-4E2B-9C3D-5E6F7A8B9C0D}"
#define QM_HOST_CONTRACT_PROVIDER_MODE_VARIABLE L"QM_HOST_CONTRACT_PROVIDER_MODE"

// The modes (the variable's values):
//   user-array     its tiles come only from the user array (ICredentialProviderSetUserArray), one
//                  per user: the user's display name, a password and a submit button, no
//                  user-name field; each tile answers GetUserSid, offers the password-reveal
//                  option, and in SetSelected updates its status text and options in one batch
//                  through ICredentialProviderCredentialEvents2, which it asked the host's sink
//                  for in Advise (a host that refuses it crashes the tile, as it would on
//                  Windows when a provider trusts the interface to be there)
//   events2        one tile with a user-name field to type into, the same batch in SetSelected
//                  and field options (e-mail address on the user name, reveal on the password)
//   tile-per-user  a classic provider: two tiles, "alice" and "bob", each showing its user's
//                  name, with no user-name field and no GetUserSid; it takes part at logon and
//                  unlock only, and answers E_NOTIMPL for any other scenario
//   crash          GetCredentialAt reads through a null pointer (an access violation)
//   stub-crash     GetCredentialAt raises the exception of a Wine stub
// Every tile signs in: its credential is a KerbInteractiveLogon of its user (or the one typed),
// the computer as domain and the password typed.
