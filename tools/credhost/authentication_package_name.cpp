#include "authentication_package_name.h"

#define SECURITY_WIN32
#include <ntsecapi.h>
#include <security.h>

#include "utf8_conversion.h"

namespace {

class LsaConnection {
public:
    LsaConnection() noexcept {
        if (LsaConnectUntrusted(&m_handle) != 0) {
            m_handle = nullptr;
        }
    }
    ~LsaConnection() {
        if (m_handle != nullptr) {
            LsaDeregisterLogonProcess(m_handle);
        }
    }
    LsaConnection(const LsaConnection&) = delete;
    LsaConnection& operator=(const LsaConnection&) = delete;

    HANDLE Get() const noexcept { return m_handle; }

private:
    HANDLE m_handle = nullptr;
};

struct SecurityPackageList {
    ~SecurityPackageList() {
        if (packages != nullptr) {
            FreeContextBuffer(packages);
        }
    }
    ULONG count = 0;
    PSecPkgInfoW packages = nullptr;
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
    LsaConnection lsa;
    SecurityPackageList list;
    if (lsa.Get() == nullptr || EnumerateSecurityPackagesW(&list.count, &list.packages) != SEC_E_OK) {
        return {};
    }
    for (ULONG i = 0; i < list.count; ++i) {
        if (list.packages[i].Name != nullptr && PackageNumberIs(lsa.Get(), list.packages[i].Name, package)) {
            return list.packages[i].Name;
        }
    }
    return {};
}
