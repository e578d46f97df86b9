#include "package_hints.h"

#include "package_identity.h"

std::string ReinstallHint() {
    return std::string("install the package again: msiexec /i ") + kPackageFileName + " /qn /norestart";
}

std::string RepairHint() {
    return std::string("repair the package: msiexec /i ") + kPackageFileName +
           " REINSTALL=ALL REINSTALLMODE=omus /qn /norestart";
}

std::string RemoveHint() {
    return std::string("remove the product: msiexec /x ") + kProductCodeText + " /qn /norestart";
}
