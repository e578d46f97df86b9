#!/usr/bin/python3
"""Builds the Windows Installer package of qm-credprovider.dll and credhost.exe from
packaging/qm-credprovider.wxs with wixl, then sets the File table's versions (wixl leaves them
empty, and Windows Installer's file-replacement rules read them) from each file's own version
record.

Usage: build_msi.py --dll PATH/qm-credprovider.dll --credhost PATH/credhost.exe --class-id {CLSID}
                    --out PKG.msi [--product-version A.B.C.D]
       build_msi.py --print-product-code --product-version A.B.C.D
The class id is the one the build read from include/provider_class_id.h (its cache's
QM_PROVIDER_CLSID). The product version defaults to the DLL's file version; the build passes the
project version, and the life-cycle test passes others to make upgrade and downgrade packages of
the same file. The second form prints the release's product code, which the build reads once
at configure time for credhost doctor's hints.

It needs Debian's python3-pefile, which only the system interpreter (/usr/bin/python3) sees: run
under another python3 (a pyenv or virtual environment first on PATH), it starts itself again
under the system one.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import uuid

SYSTEM_PYTHON = "/usr/bin/python3"
# Set in the environment of the second start, so that a system interpreter without pefile fails
# with the import error instead of starting itself for ever.
RESTARTED = "QM_BUILD_MSI_SYSTEM_PYTHON"

try:
    import pefile
except ImportError:
    if os.environ.get(RESTARTED) or not os.access(SYSTEM_PYTHON, os.X_OK):
        raise SystemExit("build_msi: python3-pefile is missing: run scripts/setup.sh")
    os.environ[RESTARTED] = "1"
    os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, os.path.abspath(__file__)] + sys.argv[1:])

WXS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "qm-credprovider.wxs")
# The package's files: the File table's id of each, and the name it is installed as.
DLL_FILE = ("QmCredProviderDll", "qm-credprovider.dll")
CREDHOST_FILE = ("CredhostExe", "credhost.exe")
ENGLISH_US = "1033"


def file_version_of(path):
    """The FILEVERSION of a program's or a DLL's version record, as A.B.C.D."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        raise SystemExit("build_msi: %s has no version record" % path)
    info = fixed[0]
    return "%d.%d.%d.%d" % (info.FileVersionMS >> 16, info.FileVersionMS & 0xFFFF,
                            info.FileVersionLS >> 16, info.FileVersionLS & 0xFFFF)


def checked_product_version(text):
    """Windows Installer's ProductVersion: major and minor up to 255, build up to 65535."""
    match = re.fullmatch(r"(\d+)\.(\d+)\.(\d+)(?:\.(\d+))?", text)
    limits = (255, 255, 65535, 65535)
    if not match or any(int(f) > limit for f, limit in zip(filter(None, match.groups()), limits)):
        raise argparse.ArgumentTypeError("%r is not a Windows Installer product version" % text)
    return text


def checked_class_id(text):
    """The registry form that the package's keys are named with: braces, upper-case digits."""
    if not re.fullmatch(r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}", text):
        raise argparse.ArgumentTypeError("%r is not a class id in registry form ({XXXXXXXX-...})" % text)
    return text


def product_code(version):
    """One product code per release, the same on every build of it, so that building a version
    again cannot make a second product beside the installed one. Windows Installer compares
    only the first three fields of a version, so the fourth does not make a new product."""
    upgrade_code = re.search(r'UpgradeCode="([0-9A-Fa-f-]{36})"', open(WXS, encoding="utf-8").read()).group(1)
    release = ".".join(version.split(".")[:3])
    return str(uuid.uuid5(uuid.UUID(upgrade_code), "x64/" + release)).upper()


def run(command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        sys.stderr.write(result.stdout + result.stderr)
        raise SystemExit("build_msi: %s failed (%d)" % (command[0], result.returncode))


def main():
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--dll")
    parser.add_argument("--credhost")
    parser.add_argument("--class-id", type=checked_class_id)
    parser.add_argument("--out")
    parser.add_argument("--product-version", type=checked_product_version)
    parser.add_argument("--print-product-code", action="store_true")
    args = parser.parse_args()
    if args.print_product_code:
        if not args.product_version:
            parser.error("--print-product-code needs --product-version")
        print("{%s}" % product_code(args.product_version))
        return
    if not (args.dll and args.credhost and args.class_id and args.out):
        parser.error("--dll, --credhost, --class-id and --out are required")

    file_version = file_version_of(args.dll)
    version = args.product_version or file_version
    out = os.path.abspath(args.out)
    # wixl takes Source paths relative to where it runs, so the files go into a staging folder
    # under the names they are installed as; the package is written beside the target and renamed
    # into place, so an interrupted build never leaves a half-written package there.
    with tempfile.TemporaryDirectory(prefix="qm-msi.") as stage:
        shutil.copyfile(args.dll, os.path.join(stage, DLL_FILE[1]))
        shutil.copyfile(args.credhost, os.path.join(stage, CREDHOST_FILE[1]))
        partial = out + ".partial"
        run(["wixl", "-a", "x64", "-D", "Version=" + version, "-D", "ProductCode=" + product_code(version),
             "-D", "DllSource=" + DLL_FILE[1], "-D", "CredhostSource=" + CREDHOST_FILE[1],
             "-D", "ProviderClsid=" + args.class_id, "-o", partial, WXS],
            cwd=stage)
    for (file_id, _), path in ((DLL_FILE, args.dll), (CREDHOST_FILE, args.credhost)):
        run(["msibuild", partial, "-q", "UPDATE `File` SET `Version`='%s', `Language`='%s' WHERE `File`='%s'"
             % (file_version_of(path), ENGLISH_US, file_id)])
    os.replace(partial, out)
    print("build_msi: %s (product %s, file %s, %d bytes)" % (out, version, file_version, os.path.getsize(out)))


if __name__ == "__main__":
    main()
