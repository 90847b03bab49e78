"""Saves the launcher's window, as Wine draws it on an Xvfb display, to the PNG file given (run by tools/screenshot)."""

import shutil
import sys
from pathlib import Path

import winelab

PRODUCT = r"C:\Program Files\Quillmere"
DISPLAY = 43


def main(output):
    exe = winelab.launcher_exe()
    if not exe.is_file():
        sys.exit(f"screenshot: {exe} is missing; build it with tools/build")
    display = winelab.Display(DISPLAY).start()
    prefix = winelab.Prefix.fresh(winelab.BUILD / "e2e-screenshot", display)
    prefix.keep_server()
    try:
        folder = prefix.unix_path(PRODUCT)
        folder.mkdir(parents=True)
        shutil.copy(exe, folder / "uninst.exe")
        launcher = winelab.Launcher(prefix, PRODUCT + r"\uninst.exe").start()
        window = display.find_window(winelab.Branding(exe).title)
        # The pointer stays out of the picture (Xvfb's screenshots show no pointer anyway).
        display.xdotool("mousemove", 0, 0)
        window.screenshot(output)
        window.key("Escape")
        code = launcher.exit_code()
        if code != 0:
            sys.exit(f"screenshot: the launcher ended with exit code {code}")
    finally:
        prefix.stop_server()
        display.stop()
    try:
        output = output.relative_to(winelab.ROOT)
    except ValueError:
        pass
    print(f"screenshot: {output}")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: screenshot.py OUTPUT.png")
    try:
        main(Path(sys.argv[1]).resolve())
    except winelab.LabError as error:
        sys.exit(f"screenshot: {error}")
