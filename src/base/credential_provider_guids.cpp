// The one translation unit that instantiates the credential-provider IIDs and CPFG_* field-type
// GUIDs: with <initguid.h> first, DEFINE_GUID defines them instead of declaring them. In base,
// so that the module and credhost share this one definition.
#include <windows.h>
#include <initguid.h>
#include <credentialprovider.h>
