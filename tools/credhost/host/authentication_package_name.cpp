#include "authentication_package_name.h"

#define SECURITY_WIN32
#include <ntsecapi.h>
#include <security.h>

#include "base/unique_handle.h"
#include "utf8_conversion.h"

#include <memory>

namespace {

using LsaConnection = UniqueHandle<HANDLE, LsaDeregisterLogonProcess>;

struct ContextBufferDeleter {
    void operator()(PSecPkgInfoW packages) const noexcept { FreeContextBuffer(packages); }
};

bool PackageNumberIs(HANDLE lsa, const std::wstring& name, ULONG package) {
    std::string ansi = Utf8FromWide(name);
    if (ansi.size() > 127) {
        return false;
    }
    LSA_STRING lsaName{static_cast<USHORT>(ansi.size()), static_cast<USHORT>(ansi.size() + 1), ansi.data()};
    ULONG number = 0;
    return LsaLookupAuthenticationPackage(lsa, &lsaName, &number) == 0 && number == package;
}

}  // namespace

std::wstring AuthenticationPackageName(ULONG package) {
    // Received raw: what a failed connect left behind is no connection.
    HANDLE connection = nullptr;
    if (LsaConnectUntrusted(&connection) != 0) {
        return {};
    }
    const LsaConnection lsa(connection);
    ULONG count = 0;
    PSecPkgInfoW received = nullptr;
    if (EnumerateSecurityPackagesW(&count, &received) != SEC_E_OK) {
        return {};
    }
    const std::unique_ptr<SecPkgInfoW[], ContextBufferDeleter> packages(received);
    for (ULONG i = 0; i < count; ++i) {
        if (packages[i].Name != nullptr && PackageNumberIs(lsa.Get(), packages[i].Name, package)) {
            return packages[i].Name;
        }
    }
    return {};
}
