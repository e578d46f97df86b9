// The one translation unit of credhost that instantiates the credential-provider GUIDs
// (CPFG_LOGON_USERNAME, CPFG_LOGON_PASSWORD, ...) declared with DEFINE_GUID.
#include <initguid.h>

#include <credentialprovider.h>
