#!/usr/bin/env python3
"""The Windows package: CPack's .zip of the cross build holds qmr.exe, a 32-bit
Windows program, and the short text on its use, and nothing else.

Usage: package_zip_test.py BUILD_DIR
"""

import os
import subprocess
import sys
import tempfile
import zipfile


def main():
    build = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="qmr-zip-") as out:
        subprocess.run(["cpack", "-G", "ZIP", "-B", out], cwd=build, check=True,
                       stdout=subprocess.DEVNULL)
        packages = [name for name in os.listdir(out) if name.endswith(".zip")]
        if packages != ["qmr-1.0.0.0-win32.zip"]:
            print(f"expected qmr-1.0.0.0-win32.zip, found {packages}")
            return 1
        path = os.path.join(out, packages[0])
        with zipfile.ZipFile(path) as archive:
            names = sorted(archive.namelist())
            if names != ["README.txt", "qmr.exe"]:
                print(f"the package holds {names}")
                return 1
            program = archive.read("qmr.exe")
            text = archive.read("README.txt").decode()
        # A PE file: "MZ", then at the offset in 0x3c "PE\0\0" and machine i386 (0x14c).
        offset = int.from_bytes(program[0x3C:0x40], "little")
        if program[:2] != b"MZ" or program[offset:offset + 6] != b"PE\0\0\x4c\x01":
            print("qmr.exe in the package is not a 32-bit Windows program")
            return 1
        if "Usage:  qmr.exe SOURCE TARGET" not in text:
            print("README.txt does not say how to use the program")
            return 1
        print(f"{packages[0]}: {os.path.getsize(path)} bytes, {', '.join(names)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
