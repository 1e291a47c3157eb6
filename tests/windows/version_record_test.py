#!/usr/bin/python3
"""The built qmr.exe read back with pefile: a 32-bit console program that
imports only system DLLs, with its version record and its icon.

version_record_test.py WINE_RUN QMR_EXE
"""

import struct
import sys
import unittest

import qmr_wine

try:
    import pefile
except ImportError:
    pefile = None

PROGRAM = None  # set by qmr_wine.main

STRINGS = {
    "CompanyName": "Quillmere",
    "FileDescription": "Quillmere",
    "FileVersion": "1.0.0.0",
    "InternalName": "QMR",
    "OriginalFilename": "qmr.exe",
    "ProductName": "Quillmere",
    "ProductVersion": "1.0.0.0",
}
ICON_SIZES = [48, 32, 24, 16]


class ExecutableTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(str(PROGRAM.exe))

    def resources(self, resource_type):
        """The resources of one type as {id: data}."""
        found = {}
        for kind in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if kind.id != resource_type:
                continue
            for name in kind.directory.entries:
                for language in name.directory.entries:
                    entry = language.data.struct
                    found[name.id] = self.pe.get_data(entry.OffsetToData, entry.Size)
        return found

    def test_is_a_32_bit_console_program(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"])
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, pefile.OPTIONAL_HEADER_MAGIC_PE)
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem,
                         pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"])

    def test_imports_only_system_dlls(self):
        imports = {entry.dll.decode().lower(): {f.name for f in entry.imports}
                   for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertEqual(set(imports), {"kernel32.dll", "user32.dll", "msvcrt.dll"})
        # The start-up asks the runtime for the argument vector.
        self.assertIn(b"__getmainargs", imports["msvcrt.dll"])
        for function in (b"_chdir", b"system", b"exit"):
            self.assertIn(function, imports["msvcrt.dll"])

    def test_fixed_versions_are_1_0_0_0(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual(fixed.Signature, 0xFEEF04BD)
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x00010000, 0))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00010000, 0))

    def test_one_us_english_string_block_with_every_string(self):
        tables = [table for info in self.pe.FileInfo[0] if info.Key == b"StringFileInfo"
                  for table in info.StringTable]
        self.assertEqual([table.LangID for table in tables], [b"04090000"])
        strings = {key.decode(): value.decode() for key, value in tables[0].entries.items()}
        self.assertEqual(strings, STRINGS)

    def test_translation_is_0409_0000(self):
        translations = [var.entry for info in self.pe.FileInfo[0] if info.Key == b"VarFileInfo"
                        for var in info.Var]
        self.assertEqual(translations, [{b"Translation": "0x0409 0x0000"}])

    def test_icon_has_four_32_bit_images(self):
        groups = self.resources(pefile.RESOURCE_TYPE["RT_GROUP_ICON"])
        self.assertEqual(len(groups), 1)
        group = next(iter(groups.values()))
        reserved, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((reserved, kind, count), (0, 1, 4))
        images = self.resources(pefile.RESOURCE_TYPE["RT_ICON"])
        sizes = []
        for n in range(count):
            width, height, colours, _, planes, bits, size, image_id = struct.unpack_from(
                "<BBBBHHIH", group, 6 + 14 * n)
            with self.subTest(image=n):
                self.assertEqual((width, height, colours, planes, bits), (width, width, 0, 1, 32))
                image = images[image_id]
                self.assertEqual(len(image), size)
                header = struct.unpack_from("<IiiHHI", image)
                # BITMAPINFOHEADER: the height counts the colour rows and the mask rows.
                self.assertEqual(header, (40, width, 2 * width, 1, 32, 0))
                mask_row = (width + 31) // 32 * 4
                self.assertEqual(size, 40 + width * width * 4 + mask_row * width)
            sizes.append(width)
        self.assertEqual(sizes, ICON_SIZES)


if __name__ == "__main__":
    sys.exit(qmr_wine.main(sys.modules[__name__],
                           required=[(lambda _: pefile is not None,
                                      "python3-pefile is not installed for /usr/bin/python3")]))
