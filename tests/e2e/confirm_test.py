"""The launcher end to end under Wine: the window, the answers, the engine's run and the close after it."""

import contextlib
import shutil
import time
import unittest

import winelab

PRODUCT = r"C:\Program Files\Quillmere"
LAUNCHER = PRODUCT + r"\uninst.exe"
SETUP = r"C:\e2e-setup"
HOLD = r"C:\e2e-hold"
REGISTRY_KEY = r"HKLM\Software\Quillmere"
ENGINE_PARAMETERS = ("setupapi.dll,InstallHinfSection DefaultUninstall 132 "
                     + PRODUCT + r"\wizardc.inf")


class ConfirmationTest(unittest.TestCase):
    """One prefix and one wineserver for the class: the Yes runs leave deletions pending at
    restart, and a second server would boot the prefix and carry them out."""

    @classmethod
    def setUpClass(cls):
        exe = winelab.launcher_exe()
        if not exe.is_file():
            raise unittest.SkipTest(f"{exe} is not built")
        cls.branding = winelab.Branding(exe)
        cls.display = winelab.Display(41).start()
        cls.prefix = winelab.Prefix.fresh(winelab.BUILD / "e2e-confirm", cls.display)
        cls.prefix.keep_server()
        setup = cls.prefix.unix_path(SETUP)
        setup.mkdir(parents=True)
        shutil.copy(winelab.ROOT / "tests" / "e2e" / "product.inf", setup)
        shutil.copy(exe, setup / "uninst.exe")
        (setup / "quillmere.ini").write_text("[Quillmere]\r\nTheme=Parchment\r\n")
        (setup / "letter.txt").write_text("Dear reader,\r\n")
        hold = cls.prefix.unix_path(HOLD)
        hold.mkdir(parents=True)
        shutil.copy(winelab.build_hold(winelab.BUILD / "e2e-fixtures"), hold)
        cls.picture = winelab.read_rgb(cls.branding.picture)

    @classmethod
    def tearDownClass(cls):
        cls.prefix.stop_server()
        cls.display.stop()

    def setUp(self):
        self.install()

    def install(self):
        """A fresh install with the product's own installer INF."""
        shutil.rmtree(self.prefix.unix_path(PRODUCT), ignore_errors=True)
        for name in ("started", "release"):
            self.prefix.unix_path(HOLD + "\\" + name).unlink(missing_ok=True)
        self.assertEqual(self.prefix.run_inf(SETUP + r"\product.inf"), 0)
        self.assertIn("letter.txt", str(self.prefix.tree(PRODUCT)))

    @contextlib.contextmanager
    def launched(self):
        """The launcher started, with its window; whatever happens, the engine is let go and
        the launcher does not outlive the block."""
        launcher = winelab.Launcher(self.prefix, LAUNCHER).start()
        try:
            yield launcher, self.display.find_window(self.branding.title)
        finally:
            self.release_engine()
            # An engine left over would be taken for the next test's.
            winelab.wait_until(lambda: not self.prefix.processes_named("rundll32.exe"), 15,
                               "the engine to end")
            launcher.kill()

    def release_engine(self):
        self.prefix.unix_path(HOLD + r"\release").touch()

    def engine_starts(self):
        started = self.prefix.unix_path(HOLD + r"\started")
        return started.read_text().splitlines() if started.is_file() else []

    def button(self, name):
        """(x, y, width, height) of a button in client coordinates."""
        width, height, _ = self.picture
        return winelab.button_rect(width, height, name)

    def answer(self, window, how):
        if how.startswith("click "):
            window.click(*winelab.centre(self.button(how[len("click "):])))
        elif how == "close request":
            window.request_close()
        else:
            window.key(how)

    def state(self):
        """What an answer must not change: the product's files, its key, the restart requests."""
        return (self.prefix.tree(PRODUCT), self.prefix.reg_query(REGISTRY_KEY, "Version"),
                self.prefix.pending_renames(), self.prefix.wininit_ini())

    def button_labels_dark(self, shot):
        """For each button: whether its label is drawn in black (enabled) rather than grey."""
        width, _, pixels = winelab.read_rgb(shot)
        result = []
        for name in ("Yes", "No"):
            x, y, button_width, button_height = self.button(name)
            left, top = winelab.FRAME + x, winelab.FRAME + winelab.CAPTION + y
            # Inside the button's 3-pixel border only the label can be dark.
            darkest = min(sum(pixels[3 * (y * width + x):3 * (y * width + x) + 3])
                          for y in range(top + 3, top + button_height - 3)
                          for x in range(left + 3, left + button_width - 3))
            result.append(darkest < 3 * 64)
        return result

    def test_window_is_centred_and_shows_the_picture_with_both_buttons(self):
        with self.launched() as (launcher, window):
            x, y, width, height = window.geometry()
            screen_width, screen_height = self.display.size()
            picture_width, picture_height, picture = self.picture

            self.assertEqual((x, y), ((screen_width - width) // 2, (screen_height - height) // 2))
            self.assertEqual(width, picture_width + 2 * winelab.FRAME)

            shot = window.screenshot(self.prefix.logs / "window.png")
            shot_width, shot_height, pixels = winelab.read_rgb(shot)
            self.assertEqual((shot_width, shot_height), (width, height))
            # The picture fills the client area pixel for pixel, unscaled, except where the
            # buttons cover it; the client area may be a row short of it (caption vs. menu height).
            client_top = winelab.FRAME + winelab.CAPTION
            rows = min(picture_height, height - winelab.FRAME - client_top)
            buttons = [self.button("Yes"), self.button("No")]
            differing = []
            for row in range(rows):
                for column in range(picture_width):
                    if any(bx <= column < bx + bw and by <= row < by + bh
                           for bx, by, bw, bh in buttons):
                        continue
                    at = 3 * (row * picture_width + column)
                    shot_at = 3 * ((client_top + row) * width + winelab.FRAME + column)
                    if picture[at:at + 3] != pixels[shot_at:shot_at + 3]:
                        differing.append((column, row))
            self.assertEqual(differing[:10], [], f"{len(differing)} pixels differ from the picture")
            self.assertEqual(self.button_labels_dark(shot), [True, True])

            window.key("Escape")
            self.assertEqual(launcher.exit_code(), 0)

    def test_no_escape_and_a_close_request_end_with_0_and_change_nothing(self):
        for how in ("click No", "Escape", "close request"):
            with self.subTest(how):
                before = self.state()
                with self.launched() as (launcher, window):
                    self.answer(window, how)
                    self.assertEqual(launcher.exit_code(), 0)
                    self.assertFalse(window.exists())
                self.assertEqual(self.engine_starts(), [])
                self.assertEqual(self.state(), before)

    def test_yes_and_enter_run_the_engine_then_close_once_a_message_arrives(self):
        for index, how in enumerate(("click Yes", "Return")):
            with self.subTest(how):
                if index:
                    self.install()
                with self.launched() as (launcher, window):
                    self.check_engine_run(launcher, window, how)
                # The engine removed the product; the launcher pruned the folders it left
                # empty and is the only thing left, to be deleted at restart with its folder.
                self.assertEqual(list(self.prefix.tree(PRODUCT)), ["uninst.exe"])
                self.assertIsNone(self.prefix.reg_query(REGISTRY_KEY, "Version"))
                self.assertEqual(self.prefix.pending_renames()[-2:],
                                 [(LAUNCHER, ""), (PRODUCT, "")])

    def check_engine_run(self, launcher, window, how):
        self.answer(window, how)

        # The engine is held in its uninstall step: it runs until the test lets it go.
        winelab.wait_until(self.engine_starts, 15, "the engine's uninstall step")
        engines = self.prefix.processes_named("rundll32.exe")
        self.assertEqual(len(engines), 1, engines)
        self.assertTrue(engines[0][1].endswith(" " + ENGINE_PARAMETERS), engines[0][1])

        # While it runs, no answer and no way of closing has any effect.
        for refused in ("close request", "alt+F4", "Escape", "Return", "click No", "click Yes"):
            try:
                self.answer(window, refused)
            except winelab.LabError as error:
                self.fail(f"the window was gone before {refused}: {error}")
        time.sleep(0.5)
        self.assertTrue(window.exists())
        self.assertTrue(launcher.running())
        self.assertEqual(len(self.engine_starts()), 1)
        self.assertEqual(len(self.prefix.processes_named("rundll32.exe")), 1)
        shot = window.screenshot(self.prefix.logs / "engine-running.png")
        self.assertEqual(self.button_labels_dark(shot), [False, False])

        self.release_engine()
        winelab.wait_until(lambda: not self.prefix.processes_named("rundll32.exe"), 15,
                           "the engine to end")
        # The launcher learns of the end only after its next message.
        time.sleep(0.5)
        self.assertTrue(window.exists())
        window.hover(10, 10)
        window.wait_gone()
        self.assertEqual(launcher.exit_code(), 0)


if __name__ == "__main__":
    unittest.main()
