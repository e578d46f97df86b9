#!/usr/bin/python3
"""Checks the built qm-credprovider.dll as a file: a stripped 64-bit DLL that exports exactly
the four COM server functions, imports only Windows system DLLs (QISearch by ordinal 219, since
older shlwapi builds export it by ordinal only), and carries its version record.

Usage: check_dll_image.py PATH/qm-credprovider.dll   (exit 0 when every check passes)
"""
import os
import sys

import pefile

EXPECTED_EXPORTS = {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}
SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll", "shlwapi.dll",
    "secur32.dll", "sspicli.dll", "user32.dll", "ntdll.dll", "rpcrt4.dll", "crypt32.dll",
}
QISEARCH_ORDINAL = 219
VERSION_1_0_1_0 = (0x00010000, 0x00010000)  # (MS, LS) halves of 1.0.1.0
EXPECTED_STRINGS = {"InternalName": "qm-credprovider", "OriginalFilename": "qm-credprovider.dll"}


def check_header(pe, failures):
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]:
        failures.append("machine is not x86-64")
    if pe.OPTIONAL_HEADER.Magic != pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS:
        failures.append("not a PE32+ image")
    if not pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]:
        failures.append("not marked as a DLL")
    if pe.FILE_HEADER.PointerToSymbolTable or pe.FILE_HEADER.NumberOfSymbols:
        failures.append("not stripped: %d COFF symbols" % pe.FILE_HEADER.NumberOfSymbols)
    debug_sections = [s.Name.rstrip(b"\0").decode() for s in pe.sections if s.Name.startswith(b".debug")]
    if debug_sections:
        failures.append("debug sections left in: %s" % ", ".join(debug_sections))


def check_exports(pe, failures):
    symbols = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    names = [s.name.decode() if s.name else "#%d" % s.ordinal for s in (symbols.symbols if symbols else [])]
    if sorted(names) != sorted(EXPECTED_EXPORTS):
        failures.append("exports are %s, expected exactly %s" % (sorted(names), sorted(EXPECTED_EXPORTS)))


def check_imports(pe, failures):
    qisearch_by_ordinal = False
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = entry.dll.decode().lower()
        if dll not in SYSTEM_DLLS:
            failures.append("imports %s, which is not a Windows system DLL" % dll)
        if dll != "shlwapi.dll":
            continue
        for imported in entry.imports:
            if imported.name == b"QISearch":
                failures.append("QISearch is imported by name")
            if imported.name is None and imported.ordinal == QISEARCH_ORDINAL:
                qisearch_by_ordinal = True
    if not qisearch_by_ordinal:
        failures.append("QISearch is not imported from shlwapi.dll by ordinal %d" % QISEARCH_ORDINAL)


def check_version(pe, failures):
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        failures.append("no version resource")
        return
    info = fixed[0]
    if (info.FileVersionMS, info.FileVersionLS) != VERSION_1_0_1_0:
        failures.append("file version is not 1.0.1.0")
    if (info.ProductVersionMS, info.ProductVersionLS) != VERSION_1_0_1_0:
        failures.append("product version is not 1.0.1.0")
    strings = {}
    for file_info in getattr(pe, "FileInfo", []):
        for block in file_info:
            for table in getattr(block, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    for key, expected in EXPECTED_STRINGS.items():
        if strings.get(key) != expected:
            failures.append("version string %s is %r, expected %r" % (key, strings.get(key), expected))


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    path = argv[1]
    failures = []
    if os.path.basename(path) != "qm-credprovider.dll":
        failures.append("file is named %s" % os.path.basename(path))
    pe = pefile.PE(path)
    for check in (check_header, check_exports, check_imports, check_version):
        check(pe, failures)
    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("ok: %s (%d bytes)" % (path, os.path.getsize(path)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
