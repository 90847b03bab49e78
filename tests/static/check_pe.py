#!/usr/bin/python3
"""Static checks of the shipped 32-bit launcher: headers, imports, resources, size.

    python3 tests/static/check_pe.py [options] [EXE] [unittest options]

EXE defaults to build/win32/uninst.exe. The options give what a branded build should hold;
their defaults are the product's own values. The checks read the file itself (no Wine):
these machines cannot run 32-bit code.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import unittest
import xml.parsers.expat

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import peimage  # noqa: E402

# Windows 95 and NT 4.0 load a file only if it asks for no newer system than 4.0.
SYSTEM_VERSION = (4, 0)
SUBSYSTEM_WINDOWS_GUI = 2
IMAGE_FILE_EXECUTABLE = 0x0002
IMAGE_FILE_DLL = 0x2000
LANGUAGE_EN_US = 1033
# Everything but the resources: code, constants, imports, relocations, headers.
BUDGET_OUTSIDE_RESOURCES = 8192

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY_V1 = "urn:schemas-microsoft-com:compatibility.v1"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
}
MANIFEST_ARCH = {peimage.MACHINE_I386: "x86", peimage.MACHINE_AMD64: "amd64"}


def read_allowlist(path):
    """{(dll in lower case, function)} from DLL!function lines; '#' starts a comment."""
    allowed = set()
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.split("#")[0].strip()
            if not line:
                continue
            dll, sep, function = line.partition("!")
            if not sep or not dll or not function:
                raise ValueError("%s:%d: not DLL!function: %r" % (path, number, line))
            allowed.add((dll.lower(), function))
    return allowed


def import_problems(imports, allowed):
    """What in [(dll, function)] the allowlist does not cover. DLL names compare without
    case, as the loader does; function names with case."""
    problems = []
    for dll, function in imports:
        if isinstance(function, int):
            problems.append("%s imported by ordinal %d: ordinals differ between versions"
                            % (dll, function))
        elif (dll.lower(), function) not in allowed:
            problems.append("%s!%s is not in the allowlist" % (dll, function))
    return problems


def manifest_problems(text, level, arch):
    """What makes the manifest wrong for this program, or unsafe on Windows XP."""
    elements = []   # (path, attributes) in document order
    stack = []

    def start(name, attributes):
        stack.append(name)
        elements.append(("/".join(stack), attributes))

    def end(_):
        stack.pop()

    parser = xml.parsers.expat.ParserCreate()   # no namespace processing: we see xmlns as is
    parser.StartElementHandler = start
    parser.EndElementHandler = end
    try:
        parser.Parse(text, True)
    except xml.parsers.expat.ExpatError as error:
        return ["not well-formed XML: %s" % error]

    problems = []
    for path, attributes in elements:
        declarations = [a for a in attributes if a == "xmlns" or a.startswith("xmlns:")]
        if len(declarations) > 1:
            problems.append("%s declares %d namespaces" % (path, len(declarations)))
        prefixed = [a for a in attributes if ":" in a] + (
            [path.split("/")[-1]] if ":" in path.split("/")[-1] else [])
        if prefixed:
            problems.append("%s uses namespace prefixes: %s" % (path, ", ".join(prefixed)))

    def find(path):
        return [attributes for p, attributes in elements if p == path]

    if not elements or elements[0][0] != "assembly":
        return problems + ["the root element is not assembly"]
    root = elements[0][1]
    if root.get("xmlns") != ASM_V1 or root.get("manifestVersion") != "1.0":
        problems.append("assembly: needs xmlns=%s and manifestVersion=1.0" % ASM_V1)
    trust = find("assembly/trustInfo")
    if len(trust) != 1 or trust[0].get("xmlns") != ASM_V3:
        problems.append("assembly/trustInfo: needs one, declaring xmlns=%s" % ASM_V3)
    levels = find("assembly/trustInfo/security/requestedPrivileges/requestedExecutionLevel")
    if [(a.get("level"), a.get("uiAccess")) for a in levels] != [(level, "false")]:
        problems.append("requestedExecutionLevel: %r, expected level=%s uiAccess=false"
                        % (levels, level))
    for path, attributes in elements:
        if path.split("/")[-1] == "dependency":
            problems.append("%s: the program depends on no other assembly" % path)
    compatibility = find("assembly/compatibility")
    if len(compatibility) != 1 or compatibility[0].get("xmlns") != COMPATIBILITY_V1:
        problems.append("assembly/compatibility: needs one, declaring xmlns=%s"
                        % COMPATIBILITY_V1)
    listed = {a.get("Id", "").lower()
              for a in find("assembly/compatibility/application/supportedOS")}
    if SUPPORTED_OS - listed:
        problems.append("supportedOS lacks %s" % ", ".join(sorted(SUPPORTED_OS - listed)))
    for identity in find("assembly/assemblyIdentity"):
        if identity.get("processorArchitecture", arch) != arch:
            problems.append("assemblyIdentity: processorArchitecture %s, expected %s"
                            % (identity.get("processorArchitecture"), arch))
    return problems


def version_numbers(text):
    parts = [int(p) for p in text.split(".")]
    return tuple(parts + [0] * (4 - len(parts)))


def options(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("exe", nargs="?", default=os.path.join(ROOT, "build", "win32", "uninst.exe"))
    ap.add_argument("--allowlist", default=os.path.join(HERE, "allowed_imports.txt"))
    ap.add_argument("--title", default="Uninstall Quillmere")
    ap.add_argument("--class", dest="window_class", default="zelkor")
    ap.add_argument("--picture-size", default="270x180", help="WIDTHxHEIGHT")
    ap.add_argument("--level", default="requireAdministrator")
    ap.add_argument("--product", default="Quillmere")
    ap.add_argument("--description", default="Uninstall Quillmere")
    ap.add_argument("--company", default="Quillmere")
    ap.add_argument("--copyright", default="Copyright (C) Quillmere")
    ap.add_argument("--version", default="1.0.0.0")
    ap.add_argument("--original-filename", default="uninst.exe")
    return ap.parse_known_args(argv)


EXPECT = options([])[0]


class ProgramFile(unittest.TestCase):
    """The file as the loaders of Windows 95 and NT 4.0 see it."""

    @classmethod
    def setUpClass(cls):
        cls.image = peimage.load(EXPECT.exe)

    def test_headers_load_on_95_and_nt4(self):
        image = self.image
        self.assertEqual(image.machine, peimage.MACHINE_I386)
        self.assertEqual(image.magic, 0x10B, "PE32")
        self.assertEqual(image.subsystem, SUBSYSTEM_WINDOWS_GUI)
        self.assertEqual(image.os_version, SYSTEM_VERSION)
        self.assertEqual(image.subsystem_version, SYSTEM_VERSION)
        self.assertTrue(image.characteristics & IMAGE_FILE_EXECUTABLE)
        self.assertFalse(image.characteristics & IMAGE_FILE_DLL)
        # The 95/98/Me loader maps sections page by page straight from 512-byte file blocks.
        self.assertEqual((image.file_alignment, image.section_alignment), (0x200, 0x1000))

    def test_imports_only_allowlisted_system_functions(self):
        imports = self.image.imports()
        self.assertTrue(imports)
        self.assertEqual(import_problems(imports, read_allowlist(EXPECT.allowlist)), [])
        self.assertLessEqual({dll.upper() for dll, _ in imports},
                             {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "SHELL32.DLL"})

    def test_objdump_reads_the_same_imports(self):
        # The binutils' own reading of the import table is the second opinion on ours.
        objdump = shutil.which("i686-w64-mingw32-objdump")
        if objdump is None:
            self.skipTest("i686-w64-mingw32-objdump is not installed")
        listing = subprocess.run([objdump, "-p", EXPECT.exe], check=True,
                                 capture_output=True, text=True).stdout
        seen = set()
        dll = None
        for line in listing.splitlines():
            if "DLL Name:" in line:
                dll = line.split("DLL Name:")[1].strip().lower()
            elif dll and re.match(r"^\s+[0-9a-f]+\s+\d+\s+\S+$", line):
                seen.add((dll, line.split()[-1]))
            elif not line.strip():
                dll = None
        self.assertEqual(seen, {(d.lower(), f) for d, f in self.image.imports()})

    def test_no_runtime_traces(self):
        # Thread-local data or delay-loaded DLLs would mean a runtime crept in; the latter
        # would also name DLLs the import table does not show.
        self.assertEqual(self.image.directory(peimage.DIR_TLS), (0, 0))
        self.assertEqual(self.image.directory(peimage.DIR_DELAY_IMPORT), (0, 0))

    def test_size_outside_resources(self):
        total, resources, rest = peimage.outside_resources(self.image)
        self.assertGreater(resources, 0)
        self.assertLessEqual(rest, BUDGET_OUTSIDE_RESOURCES,
                             "file %d bytes, resources %d, rest %d: %s"
                             % (total, resources, rest,
                                ", ".join("%s %d" % (s.name, s.raw_size)
                                          for s in self.image.sections)))

    def test_window_texts_are_compiled_in(self):
        code = b"".join(self.image.data[s.raw_offset:s.raw_offset + s.raw_size]
                        for s in self.image.sections if s.name != ".rsrc")
        for text in (EXPECT.title, EXPECT.window_class):
            self.assertIn(text.encode("ascii") + b"\0", code)


class Resources(unittest.TestCase):
    """What the window loads, and what Explorer and the system read, all in English (US)."""

    @classmethod
    def setUpClass(cls):
        cls.image = peimage.load(EXPECT.exe)
        cls.resources = cls.image.resources()

    def resource(self, rtype, name):
        self.assertIn((rtype, name, LANGUAGE_EN_US), self.resources)
        return self.resources[(rtype, name, LANGUAGE_EN_US)]

    def test_every_resource_is_english_us(self):
        self.assertEqual({key for key in self.resources if key[2] != LANGUAGE_EN_US}, set())
        kinds = {(rtype, name) for rtype, name, _ in self.resources if rtype != peimage.RT_ICON}
        self.assertEqual(kinds, {(peimage.RT_BITMAP, 129), (peimage.RT_GROUP_ICON, 107),
                                 (peimage.RT_GROUP_ICON, 108), (peimage.RT_MANIFEST, 1),
                                 (peimage.RT_VERSION, 1)})

    def test_picture(self):
        width, height = (int(n) for n in EXPECT.picture_size.split("x"))
        info = peimage.bitmap_info(self.resource(peimage.RT_BITMAP, 129))
        self.assertEqual(info, (width, height, 8, 256))

    def test_icon_groups(self):
        expected = {107: [(16, 16), (32, 32)], 108: [(16, 16)]}
        for group, sizes in expected.items():
            with self.subTest(group=group):
                entries = peimage.icon_group(self.resource(peimage.RT_GROUP_ICON, group))
                self.assertEqual(sorted((w, h) for w, h, _, _ in entries), sizes)
                for width, height, bits, icon in entries:
                    self.assertEqual(bits, 4, "16 colours")
                    image = peimage.icon_image(self.resource(peimage.RT_ICON, icon))
                    self.assertEqual(image, (width, height, 4))

    def test_manifest(self):
        text = self.resource(peimage.RT_MANIFEST, 1)
        arch = MANIFEST_ARCH[self.image.machine]
        self.assertEqual(manifest_problems(text, EXPECT.level, arch), [])

    def test_version_record(self):
        numbers, tables, translations = peimage.version_info(self.resource(peimage.RT_VERSION, 1))
        expected = version_numbers(EXPECT.version)
        self.assertEqual(numbers, (expected, expected))
        self.assertEqual(translations, [(LANGUAGE_EN_US, 1252)])
        self.assertEqual(list(tables), ["040904E4"])
        self.assertEqual(tables["040904E4"], {
            "CompanyName": EXPECT.company,
            "FileDescription": EXPECT.description,
            "FileVersion": EXPECT.version,
            "InternalName": os.path.splitext(EXPECT.original_filename)[0],
            "LegalCopyright": EXPECT.copyright,
            "OriginalFilename": EXPECT.original_filename,
            "ProductName": EXPECT.product,
            "ProductVersion": EXPECT.version,
        })


GOOD_MANIFEST = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="uninst" version="1.0.0.0" processorArchitecture="x86"/>
  %(trust)s
  <compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1"><application>
    <supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>
    <supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>
    <supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>
    <supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>
    <supportedOS Id="{8E0F7A12-BFB3-4FE8-B9A5-48FD50A15A9A}"/>
  </application></compatibility>%(extra)s
</assembly>"""
GOOD_TRUST = """<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>
    <requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>
  </requestedPrivileges></security></trustInfo>"""


class ManifestChecker(unittest.TestCase):
    """The manifest check itself: the forms that break Windows XP must not pass."""

    def problems(self, trust=GOOD_TRUST, extra=""):
        text = GOOD_MANIFEST % {"trust": trust, "extra": extra}
        return manifest_problems(text.encode("utf-8"), "requireAdministrator", "x86")

    def test_good_manifest_passes(self):
        self.assertEqual(self.problems(), [])

    def assertRejectedFor(self, problems, reason):
        self.assertTrue(any(reason in p for p in problems), problems)

    def test_rejected(self):
        # name: (trustInfo element, the problem it must raise)
        cases = {
            "two namespaces on trustInfo": (GOOD_TRUST.replace(
                'asm.v3">', 'asm.v3" xmlns:asmv3="urn:schemas-microsoft-com:asm.v3">'),
                "declares 2 namespaces"),
            "prefixed trustInfo": (GOOD_TRUST.replace(
                "<trustInfo xmlns=", "<asmv3:trustInfo xmlns:asmv3=").replace(
                "</trustInfo>", "</asmv3:trustInfo>"), "uses namespace prefixes"),
            "trustInfo without namespace": (GOOD_TRUST.replace(
                ' xmlns="urn:schemas-microsoft-com:asm.v3"', ""), "trustInfo: needs one"),
            "other level": (GOOD_TRUST.replace("requireAdministrator", "asInvoker"),
                            "requestedExecutionLevel"),
            "uiAccess": (GOOD_TRUST.replace('"false"', '"true"'), "requestedExecutionLevel"),
            "not XML": (GOOD_TRUST.replace("</security>", ""), "not well-formed"),
        }
        for name, (trust, reason) in cases.items():
            with self.subTest(name):
                self.assertRejectedFor(self.problems(trust=trust), reason)

    def test_rejected_additions(self):
        cases = {
            "common controls 6": ("""<dependency><dependentAssembly><assemblyIdentity
                type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
                </dependentAssembly></dependency>""", "depends on no other assembly"),
            "prefixed element": ("""<asmv3:application
                xmlns:asmv3="urn:schemas-microsoft-com:asm.v3"/>""", "uses namespace prefixes"),
        }
        for name, (extra, reason) in cases.items():
            with self.subTest(name):
                self.assertRejectedFor(self.problems(extra=extra), reason)


class ImportChecker(unittest.TestCase):
    """The import check itself, and the allowlist file's form."""

    def test_cases(self):
        allowed = {("kernel32.dll", "ExitProcess")}
        cases = [
            ([("KERNEL32.dll", "ExitProcess")], 0),
            ([("kernel32.DLL", "ExitProcess")], 0),
            ([("KERNEL32.dll", "exitprocess")], 1),
            ([("KERNEL32.dll", "SetDefaultDllDirectories")], 1),
            ([("msvcrt.dll", "ExitProcess")], 1),
            ([("KERNEL32.dll", 23)], 1),
        ]
        for imports, count in cases:
            with self.subTest(imports=imports):
                self.assertEqual(len(import_problems(imports, allowed)), count)

    def test_allowlist_names_only_the_four_system_dlls(self):
        dlls = {dll for dll, _ in read_allowlist(EXPECT.allowlist)}
        self.assertEqual(dlls, {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll"})


def main():
    global EXPECT
    EXPECT, rest = options(sys.argv[1:])
    if not os.path.isfile(EXPECT.exe):
        sys.exit("check_pe: no such file: %s (build it first: tools/build)" % EXPECT.exe)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
