// The hints that send an administrator to the package, written so that they stand alone on a
// machine with no copy of the sources: the package's own file name and the release's product
// code, both from the build (package_identity.h), and the full msiexec command.
#pragma once

#include <string>

// Install the package again (a key or the class is missing).
std::string ReinstallHint();

// Repair it (a file or value is missing or wrong).
std::string RepairHint();

// Remove the product by its product code.
std::string RemoveHint();
