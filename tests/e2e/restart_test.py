"""The launcher's requests for deletion at restart under Wine, and what the restart then does."""

import shutil
import unittest

import winelab

PRODUCT = winelab.DEMO_PRODUCT
LAUNCHER = winelab.DEMO_LAUNCHER
DISPLAY = 44
PREFIX = winelab.BUILD / "e2e-restart"

# The INF for a launcher at a drive root: its uninstall takes away one registry key, so that
# the test sees that the engine ran on Q:\wizardc.inf.
ROOT_KEY = r"HKLM\Software\QuillmereAtRoot"
ROOT_INF = ("[Version]\r\nSignature=\"$Chicago$\"\r\n\r\n"
            "[DefaultUninstall]\r\nDelReg=Root.Keys\r\n\r\n"
            "[Root.Keys]\r\nHKLM,\"Software\\QuillmereAtRoot\"\r\n")
ROOT_FOLDERS = {"Empty": None, "Empty\\a": None, "Empty\\a\\b": None, "Other": None}


class RestartTest(unittest.TestCase):
    """Each test has a prefix of its own, copied from the template, and one wineserver for the
    whole test: a second server would boot the prefix and carry out the requests before the
    test's own restart (wineboot -r)."""

    @classmethod
    def setUpClass(cls):
        cls.exe = winelab.launcher_exe()
        if not cls.exe.is_file():
            raise unittest.SkipTest(f"{cls.exe} is not built")
        cls.branding = winelab.Branding(cls.exe)
        cls.display = winelab.Display(DISPLAY).start()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(PREFIX, ignore_errors=True)
        cls.display.stop()

    def new_prefix(self, version):
        """A fresh prefix reporting `version`, its server kept until the test ends."""
        prefix = winelab.Prefix.fresh(PREFIX, self.display)
        prefix.keep_server()
        self.addCleanup(prefix.stop_server)
        prefix.set_windows_version(version)
        return prefix

    def install(self, prefix):
        """The demo product with a folder of empty folders beside it."""
        installed = winelab.install_demo_product(prefix, self.exe)
        winelab.make_folders(prefix, winelab.SIBLING, winelab.SIBLING_TREE)
        return installed

    def run_launcher(self, prefix, answer, path=LAUNCHER):
        self.assertEqual(winelab.run_launcher(prefix, self.display, path, answer, self.branding), 0)

    def assert_only_launcher_left(self, prefix, installed):
        # The engine removed the product; the launcher pruned the folders it left empty.
        self.assertEqual(prefix.tree(PRODUCT), {"uninst.exe": installed["uninst.exe"]})
        self.assertEqual(prefix.tree(winelab.SIBLING), winelab.SIBLING_TREE)

    def test_nt_family_requests_the_executable_then_its_folder_and_the_restart_deletes_both(self):
        for version in ("winxp", "win10"):
            with self.subTest(version):
                prefix = self.new_prefix(version)
                installed = self.install(prefix)
                old_wininit = winelab.place_other_programs_wininit(prefix)

                self.run_launcher(prefix, "yes")
                self.assert_only_launcher_left(prefix, installed)
                self.assertEqual(prefix.pending_renames(), [(LAUNCHER, ""), (PRODUCT, "")])
                self.assertEqual(winelab.wininit_bytes(prefix), old_wininit)

                prefix.restart()
                self.assertIsNone(prefix.tree(PRODUCT))
                self.assertEqual(prefix.pending_renames(), [])
                self.assertEqual(prefix.tree(winelab.SIBLING), winelab.SIBLING_TREE)

    def test_9x_family_writes_short_paths_under_the_header_and_keeps_every_old_byte(self):
        prefix = self.new_prefix("win98")
        installed = self.install(prefix)
        winelab.place_other_programs_wininit(prefix)

        self.run_launcher(prefix, "yes")
        self.assert_only_launcher_left(prefix, installed)
        self.assertEqual(prefix.pending_renames(), [])
        # The folder's line lands above the executable's: both go in directly under the header.
        lines = (f"NULDIR={winelab.short_path(prefix, PRODUCT)}\n"
                 f"NUL={winelab.short_path(prefix, LAUNCHER)}\n").encode("latin-1")
        self.assertNotIn(b" ", lines)
        written = winelab.wininit_bytes(prefix)
        self.assertEqual(written, winelab.OTHER_PROGRAMS_HEAD + lines + winelab.OTHER_PROGRAMS_TAIL)

        prefix.restart()
        self.assertIsNone(winelab.wininit_bytes(prefix))
        self.assertEqual(winelab.wininit_bytes(prefix, "wininit.bak"), written)
        self.assertIsNone(prefix.tree(PRODUCT))
        # The other programs' lines still work after the rewrite: their deletion and rename ran.
        self.assertEqual(prefix.tree(r"C:\OLDAPP"), winelab.OTHER_PROGRAMS_AFTER_RESTART)
        self.assertEqual(prefix.tree(winelab.SIBLING), winelab.SIBLING_TREE)

    def test_escape_changes_nothing_on_either_family(self):
        prefix = self.new_prefix("winxp")
        self.install(prefix)
        winelab.place_other_programs_wininit(prefix)
        for version in ("winxp", "win98"):
            with self.subTest(version):
                prefix.set_windows_version(version)
                before = (prefix.tree(PRODUCT), prefix.tree(winelab.SIBLING),
                          [prefix.reg_query(key) for key in winelab.DEMO_KEYS],
                          winelab.wininit_bytes(prefix))
                self.run_launcher(prefix, "escape")
                self.assertEqual(prefix.pending_renames(), [])
                self.assertEqual((prefix.tree(PRODUCT), prefix.tree(winelab.SIBLING),
                                  [prefix.reg_query(key) for key in winelab.DEMO_KEYS],
                                  winelab.wininit_bytes(prefix)), before)

    def test_a_program_at_a_drive_root_prunes_nothing_and_requests_only_itself(self):
        prefix = self.new_prefix("winxp")
        drive = winelab.map_drive(prefix, "q", prefix.path / "drive_q")
        root = prefix.path / "drive_q"
        (root / "wizardc.inf").write_text(ROOT_INF, encoding="ascii", newline="")
        for name in ROOT_FOLDERS:
            root.joinpath(*name.split("\\")).mkdir(parents=True, exist_ok=True)
        launcher = drive + r"\uninst.exe"

        def folders():
            return sorted(str(path.relative_to(root)).replace("/", "\\")
                          for path in root.rglob("*") if path.is_dir())

        for version in ("winxp", "win98"):
            with self.subTest(version):
                prefix.set_windows_version(version)
                shutil.copy(self.exe, root / "uninst.exe")
                prefix.wine("reg", "add", ROOT_KEY, "/v", "Version", "/d", "1.0", "/f", check=True)

                self.run_launcher(prefix, "yes", launcher)
                self.assertIsNone(prefix.reg_query(ROOT_KEY), "the engine did not run")
                self.assertEqual(folders(), sorted(ROOT_FOLDERS))
                if version == "winxp":
                    self.assertEqual(prefix.pending_renames(), [(launcher, "")])
                else:
                    self.assertEqual(prefix.pending_renames(), [])
                    self.assertEqual(winelab.wininit_bytes(prefix),
                                     f"[rename]\nNUL={winelab.short_path(prefix, launcher)}\n"
                                     .encode("latin-1"))

                prefix.restart()
                self.assertFalse((root / "uninst.exe").exists())
                self.assertEqual(folders(), sorted(ROOT_FOLDERS))


if __name__ == "__main__":
    unittest.main()
