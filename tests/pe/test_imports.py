"""The import table, the manifest and the size of the real vexissetup.exe, read
from the PE file itself: the 32-bit exe of the Windows build and the x64 exe of
the 64-bit Windows build, each against the same rules.

The exe is a GUI program that imports system DLLs only: a MinGW runtime
DLL would be missing on the administrator's machine, and msi.dll must never be
imported (it is bound at run time from the system directory, so that a copy
planted beside the exe is never loaded). IsUserAnAdmin comes from shell32 by
ordinal 680 only. No import may name a kernel32 function that older supported
Windows lacks, or the exe would not start there at all and the administrator
would see a loader error instead of the version message. The manifest built
into the file asks Windows for elevation, and the file stays small enough to
download and check quickly.
"""

import os
import struct
import sys
import unittest
import xml.etree.ElementTree as ElementTree

# Each taken from the system directory whatever the DLL search, which imports precede (KnownDLLs; msvcrt.dll: README).
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll", "gdi32.dll"}
# Functions newer than Windows XP that the static runtime or the DLL hardening would otherwise import.
NEWER_KERNEL32 = {"SetDefaultDllDirectories", "AddDllDirectory", "RemoveDllDirectory", "GetTickCount64",
                  "InitializeConditionVariable", "SleepConditionVariableCS", "WakeConditionVariable",
                  "WakeAllConditionVariable", "InitOnceExecuteOnce", "InitializeSRWLock", "AcquireSRWLockExclusive",
                  "ReleaseSRWLockExclusive", "GetCurrentProcessorNumber", "FlsAlloc", "FlsGetValue",
                  "FlsSetValue", "FlsFree", "CreateSymbolicLinkW", "GetFinalPathNameByHandleW"}
# Windows 2000 lacks these two (the C++ runtime's thread library would import them).
NEWER_THAN_2000 = {"AddVectoredExceptionHandler", "RemoveVectoredExceptionHandler"}

# The size limit of the exe: above it, a change brought in runtime parts the program does not need.
SIZE_LIMIT = 128 * 1024

RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
SMI_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
# The Windows versions the manifest must declare: without the ids of 8, 8.1 and 10, GetVersionExW
# tells Windows 8.1, 10 and 11 that they are 6.2, and the run log writes a version the machine does
# not have. Windows 10's id covers Windows 11.
SUPPORTED_OS = {"{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10"}

IMAGE_FILE_MACHINE_I386 = 0x14C
IMAGE_FILE_MACHINE_AMD64 = 0x8664
PE32_MAGIC = 0x10B
PE32_PLUS_MAGIC = 0x20B
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
DYNAMIC_BASE = 0x40  # address space layout randomisation
NX_COMPAT = 0x100  # data execution prevention


class PeFile:
    """The few parts of a PE32 or PE32+ file this test needs: header fields and the import table."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ file")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem_version = struct.unpack_from("<HH", data, optional + 48)
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, optional + 68)
        # PE32+ has 64-bit image base and stack fields: its data directories start 16 bytes later,
        # and its import thunks have 64 bits.
        wide = self.magic == PE32_PLUS_MAGIC
        directories = optional + (112 if wide else 96)
        self.thunk_format, self.ordinal_flag = ("<Q", 1 << 63) if wide else ("<I", 1 << 31)
        self.import_rva = struct.unpack_from("<I", data, directories + 8)[0]
        self.resource_rva = struct.unpack_from("<I", data, directories + 16)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, table + i * 40 + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("RVA %#x lies in no section" % rva)

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imports(self):
        """{dll name in lower case: [function name, or ordinal number]}."""
        result = {}
        at = self.offset(self.import_rva)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, at)
            if name == 0:
                return result
            entries = result.setdefault(self.text(name).lower(), [])
            thunk = self.offset(lookup or first)
            size = struct.calcsize(self.thunk_format)
            while True:
                value = struct.unpack_from(self.thunk_format, self.data, thunk)[0]
                if value == 0:
                    break
                entries.append(value & 0xFFFF if value & self.ordinal_flag else self.text(value + 2))
                thunk += size
            at += 20

    def resource(self, kind, name):
        """The bytes of resource kind/name (the first language), or None."""
        if self.resource_rva == 0:
            return None
        root = self.offset(self.resource_rva)

        def entry(directory, wanted):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, directory + 16 + i * 8)
                if wanted is None or (not ident & 0x80000000 and ident == wanted):
                    return target
            return None

        at = root
        for wanted in (kind, name, None):
            target = entry(at, wanted)
            if target is None:
                return None
            at = root + (target & 0x7FFFFFFF)
            if not target & 0x80000000:
                break
        rva, size = struct.unpack_from("<II", self.data, at)
        start = self.offset(rva)
        return self.data[start:start + size]


class ImportTableTest(unittest.TestCase):
    """The 32-bit exe, the file shipped for every Windows."""
    build_variable = "E2E_WINDOWS_BUILD_DIR"
    machine, magic = IMAGE_FILE_MACHINE_I386, PE32_MAGIC
    manifest_architecture = "x86"
    oldest_windows = (5, 0)  # Windows 2000

    @classmethod
    def setUpClass(cls):
        with open(os.path.join(os.environ[cls.build_variable], "vexissetup.exe"), "rb") as f:
            cls.size = os.fstat(f.fileno()).st_size
            cls.pe = PeFile(f.read())
        cls.imports = cls.pe.imports()

    # Tests a GUI program of its processor that the oldest Windows of that processor agrees to load,
    # with ASLR and DEP asked for.
    def test_header(self):
        self.assertEqual(self.pe.machine, self.machine)
        self.assertEqual(self.pe.magic, self.magic)
        self.assertEqual(self.pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI)
        self.assertLessEqual(self.pe.subsystem_version, self.oldest_windows)
        self.assertEqual(self.pe.dll_characteristics & (DYNAMIC_BASE | NX_COMPAT), DYNAMIC_BASE | NX_COMPAT)

    # Tests that only system DLLs are imported: no MinGW runtime, no msi.dll.
    def test_system_dlls_only(self):
        self.assertIn("kernel32.dll", self.imports)
        self.assertLessEqual(set(self.imports), SYSTEM_DLLS, sorted(self.imports))

    # Tests IsUserAnAdmin: by shell32 ordinal 680 only, never by name.
    def test_is_user_an_admin_by_ordinal(self):
        shell32 = self.imports.get("shell32.dll", [])
        self.assertIn(680, shell32, shell32)
        self.assertNotIn("IsUserAnAdmin", shell32)
        for name, functions in self.imports.items():
            self.assertFalse(any(str(f).startswith("Msi") for f in functions), name)

    # Tests that no kernel32 import is missing from the oldest Windows the version check judges.
    def test_starts_on_older_windows(self):
        kernel32 = set(f for f in self.imports["kernel32.dll"] if isinstance(f, str))
        self.assertEqual(kernel32 & (NEWER_KERNEL32 | NEWER_THAN_2000), set())

    # Tests that the manifest inside the exe asks to run as administrator.
    def test_manifest_requires_administrator(self):
        manifest = self.pe.resource(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID)
        self.assertIsNotNone(manifest, "no manifest resource 1 in the exe")
        levels = [e.get("level") for e in ElementTree.fromstring(manifest).iter(ASM_V3 + "requestedExecutionLevel")]
        self.assertEqual(levels, ["requireAdministrator"])

    # Tests that the manifest names the exe's own processor, which Windows checks before the exe's
    # first instruction (another one stops the start with error 14001, and Wine does not look), and
    # declares every Windows from Vista to 10 as supported.
    def test_manifest_matches_the_exe(self):
        manifest = ElementTree.fromstring(self.pe.resource(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID))
        identity = manifest.find(ASM_V1 + "assemblyIdentity")
        self.assertEqual(identity.get("processorArchitecture"), self.manifest_architecture)
        declared = {e.get("Id").lower() for e in manifest.iter(COMPATIBILITY + "supportedOS")}
        missing = [name for guid, name in SUPPORTED_OS.items() if guid not in declared]
        self.assertEqual(missing, [], "supportedOS ids missing from the manifest")
        aware = manifest.find("%sapplication/%swindowsSettings/{%s}dpiAware" % (ASM_V3, ASM_V3, SMI_2005))
        self.assertEqual(getattr(aware, "text", None), "true", "not system DPI aware: blurred boxes at 125-200 %")

    # Tests that the exe stays within its size limit.
    def test_size_limit(self):
        self.assertLessEqual(self.size, SIZE_LIMIT, "vexissetup.exe has %d bytes, %d more than the limit"
                             % (self.size, self.size - SIZE_LIMIT))


class X64ImportTableTest(ImportTableTest):
    """The x64 exe, for 64-bit Windows without WoW64: the same rules."""
    build_variable = "E2E_WINDOWS_X64_BUILD_DIR"
    machine, magic = IMAGE_FILE_MACHINE_AMD64, PE32_PLUS_MAGIC
    manifest_architecture = "amd64"
    oldest_windows = (5, 2)  # Windows XP x64 and Server 2003 x64


if __name__ == "__main__":
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
    import wine_harness  # the one rule for a test that cannot run: skipped, or failed under CI=true
    wine_harness.skip_unless_built("vexissetup.exe", variable="E2E_WINDOWS_BUILD_DIR")
    wine_harness.skip_unless_built("vexissetup.exe", variable="E2E_WINDOWS_X64_BUILD_DIR")
    unittest.main()
