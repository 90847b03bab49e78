#!/usr/bin/python3
"""A vendor's build: one configure and build of the shipped program with other texts, another
picture size, another execution level and output name, then the static checks on the result;
and the values the configure step must refuse.

    python3 tests/static/branding_test.py [--build-dir DIR] [unittest options]

DIR defaults to build/branding-test; it is emptied first and kept afterwards, to be looked at.
"""

import argparse
import os
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

# Characters that break a command line or a preprocessor line ('#', ';', '&', '%', quotes
# of the shell) and a trigraph ("??!") must reach the program unchanged.
TITLE = "Remove Other & Co. #1; 100% sure??! $HOME `x` 'y' (z)"
WINDOW_CLASS = "Other_Uninstall-Window 2"
PRODUCT = "Other"
COMPANY = "Other & Sons; Ltd."
VERSION = "2.5"
LEVEL = "asInvoker"
OUTPUT_NAME = "otheruninst"
WIDTH, HEIGHT = 320, 200

BUILD_DIR = os.path.join(ROOT, "build", "branding-test")


def run(command, log):
    with open(log, "w") as out:
        return subprocess.run(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT,
                              stdin=subprocess.DEVNULL).returncode


class VendorBuild(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        shutil.rmtree(BUILD_DIR, ignore_errors=True)
        art = os.path.join(BUILD_DIR, "art")
        os.makedirs(art)
        cls.log = os.path.join(BUILD_DIR, "build.log")
        if run([os.path.join(ROOT, "tools", "make_art"), "--product", PRODUCT,
                "--width", str(WIDTH), "--height", str(HEIGHT), "--out", art], cls.log):
            raise AssertionError("make_art failed: see %s" % cls.log)
        # The file description and the copyright are left empty: they follow the product
        # and the company.
        cls.configure = ["cmake", "--preset", "win32", "-B", BUILD_DIR,
                         "-DUNINST_WINDOW_TITLE=" + TITLE,
                         "-DUNINST_WINDOW_CLASS=" + WINDOW_CLASS,
                         "-DUNINST_PRODUCT_NAME=" + PRODUCT,
                         "-DUNINST_COMPANY=" + COMPANY,
                         "-DUNINST_VERSION=" + VERSION,
                         "-DUNINST_EXECUTION_LEVEL=" + LEVEL,
                         "-DUNINST_OUTPUT_NAME=" + OUTPUT_NAME,
                         "-DUNINST_PICTURE=" + os.path.join(art, "picture.bmp"),
                         "-DUNINST_LARGE_ICON=" + os.path.join(art, "large.ico"),
                         "-DUNINST_SMALL_ICON=" + os.path.join(art, "small.ico")]
        if run(cls.configure, cls.log) or run(
                ["cmake", "--build", BUILD_DIR, "-j2", "--target", "uninst"],
                os.path.join(BUILD_DIR, "make.log")):
            raise AssertionError("the vendor build failed: see %s and make.log" % cls.log)
        cls.exe = os.path.join(BUILD_DIR, OUTPUT_NAME + ".exe")

    def test_result_holds_the_vendor_values(self):
        check = [sys.executable, os.path.join(HERE, "check_pe.py"), self.exe,
                 "--title", TITLE, "--class", WINDOW_CLASS,
                 "--picture-size", "%dx%d" % (WIDTH, HEIGHT), "--level", LEVEL,
                 "--product", PRODUCT, "--description", "Uninstall " + PRODUCT,
                 "--company", COMPANY, "--copyright", "Copyright (C) " + COMPANY,
                 "--version", VERSION, "--original-filename", OUTPUT_NAME + ".exe",
                 "-k", "window_texts", "-k", "Resources"]
        result = subprocess.run(check, cwd=ROOT, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True)
        self.assertEqual(result.returncode, 0, result.stdout)

    def test_configure_refuses(self):
        # Reconfiguring the same folder is quick: the compilers are known already.
        cases = {
            "UNINST_WINDOW_TITLE": ['Say "yes"', "C:\\path", "line\tbreak", "caf\u00e9",
                                    "x" * 100],
            "UNINST_WINDOW_CLASS": ["", "c" * 100],
            "UNINST_COMPANY": ['Other "quoted"'],
            "UNINST_EXECUTION_LEVEL": ["requireadministrator", "admin"],
            "UNINST_VERSION": ["1.2.3.4.5", "65536", "1.x", ""],
            "UNINST_OUTPUT_NAME": ["a/b", "un inst", ""],
            "UNINST_PICTURE": [os.path.join(BUILD_DIR, "missing.bmp"), "relative.bmp"],
        }
        log = os.path.join(BUILD_DIR, "refused.log")
        for option, values in cases.items():
            for value in values:
                with self.subTest(option=option, value=value):
                    self.assertNotEqual(run(self.configure + ["-D%s=%s" % (option, value)], log),
                                        0)
                    with open(log) as f:
                        self.assertIn(option + ":", f.read())
        # The longest title that fits the window's buffer is accepted.
        self.assertEqual(run(self.configure + ["-DUNINST_WINDOW_TITLE=" + "x" * 99], log), 0)
        # Leave the folder configured as it was built.
        self.assertEqual(run(self.configure, log), 0)


def main():
    global BUILD_DIR
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build-dir", default=BUILD_DIR)
    known, rest = ap.parse_known_args()
    BUILD_DIR = os.path.abspath(known.build_dir)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
