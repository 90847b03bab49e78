"""The demo, run by tools/demo: installs Quillmere under Wine, runs its uninstall launcher, shows the outcome.

With no DISPLAY, or with UNINST_DEMO_AUTO=1, it runs on an Xvfb display of its own and answers
Yes itself; on the user's own display the answer is the user's.
"""

import os
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import winelab  # noqa: E402

HERE = Path(__file__).resolve().parent
DEMO = winelab.BUILD / "demo"
SETUP = r"C:\QuillmereSetup"
PRODUCT = r"C:\Program Files\Quillmere"
LAUNCHER = PRODUCT + r"\uninst.exe"
KEYS = [r"HKLM\Software\Quillmere",
        r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmere"]
AUTO_DISPLAY = 42


def shown(path):
    """A path for the reader: relative to the repository when it lies inside it."""
    try:
        return str(Path(path).relative_to(winelab.ROOT))
    except ValueError:
        return str(path)


def list_items(title, items, indent="  "):
    print(title)
    for item in items or ["(nothing)"]:
        print(indent + item)


def files_and_folders(tree):
    tree = tree or {}
    return ([name for name, data in tree.items() if data is not None],
            [name for name, data in tree.items() if data is None])


def answer_yes(window, launcher, picture_size):
    window.click(*winelab.centre(winelab.button_rect(*picture_size, "Yes")))
    # The launcher notices the engine's end after its next message: a pointer moving over its
    # window brings one, as it would for a user who waits in front of it.
    spot = 0
    deadline = time.monotonic() + 60
    while launcher.running():
        if time.monotonic() > deadline:
            raise winelab.LabError("the launcher did not end within a minute of the answer")
        spot = 1 - spot
        try:
            window.hover(20 + 10 * spot, 20)
        except winelab.LabError:
            pass  # the window has just gone
        time.sleep(0.25)


def main():
    exe = winelab.launcher_exe()
    if not exe.is_file():
        sys.exit(f"demo: {exe} is missing; build it with tools/build")
    auto = os.environ.get("UNINST_DEMO_AUTO") == "1" or not os.environ.get("DISPLAY")
    display = winelab.Display(AUTO_DISPLAY if auto else os.environ["DISPLAY"]).start()
    started = time.monotonic()
    print(f"Quillmere demo: Wine prefix {shown(DEMO / 'prefix')}, display {display.name}")

    prefix = winelab.Prefix.fresh(DEMO / "prefix", display)
    # One server for the whole demo: a new one would boot the prefix and carry out the
    # deletions that the launcher leaves for the next restart.
    prefix.keep_server()
    try:
        run(prefix, display, exe, auto)
    finally:
        prefix.stop_server()
        display.stop()
    print(f"\nDone in {time.monotonic() - started:.0f} s. Logs of the Wine commands: {shown(prefix.logs)}")


def run(prefix, display, exe, auto):
    setup = prefix.unix_path(SETUP)
    setup.mkdir(parents=True)
    shutil.copy(HERE / "quillmere.inf", setup)
    for source in sorted((HERE / "files").iterdir()):
        shutil.copy(source, setup)
    shutil.copy(exe, setup / "uninst.exe")

    code = prefix.run_inf(SETUP + r"\quillmere.inf", "DefaultInstall")
    installed = prefix.tree(PRODUCT)
    if code != 0 or not installed:
        sys.exit(f"demo: the engine did not install the product (exit code {code})")
    keys_before = [key for key in KEYS if prefix.reg_query(key) is not None]
    files, folders = files_and_folders(installed)
    print(f"\nThe engine installed Quillmere from {SETUP}\\quillmere.inf (DefaultInstall):")
    list_items(f"  in {PRODUCT}:", files, "    ")
    list_items("  registry keys:", keys_before, "    ")

    branding = winelab.Branding(exe)
    launcher = winelab.Launcher(prefix, LAUNCHER).start()
    window = display.find_window(branding.title)
    screenshot = DEMO / "screenshot.png"
    try:
        window.screenshot(screenshot)
        print(f"\nThe launcher asks; its window: {shown(screenshot)}")
    except Exception as error:  # a screenshot of someone's own screen may be refused
        print(f"\nThe launcher asks (no screenshot: {error})")

    if auto:
        print("Answer: Yes")
        answer_yes(window, launcher, winelab.read_rgb(branding.picture)[:2])
    else:
        print(f"Answer the question in the window '{window.title}' on {display.name}.")
    code = launcher.exit_code(timeout=None)
    print(f"The launcher ended with exit code {code}.")

    left = prefix.tree(PRODUCT)
    left_files, left_folders = files_and_folders(left)
    keys_after = [key for key in KEYS if prefix.reg_query(key) is not None]
    print()
    list_items("Removed by the engine (wizardc.inf, DefaultUninstall):",
               [f"{PRODUCT}\\{name}" for name in files if name not in left_files]
               + [key for key in keys_before if key not in keys_after])
    list_items("Folders the engine left empty, removed by the launcher:",
               [f"{PRODUCT}\\{name}" for name in folders if name not in left_folders])
    if left is None:
        list_items("Left:", [])
    else:
        list_items("Left:", [PRODUCT] + [f"{PRODUCT}\\{name}" for name in left] + keys_after)
    list_items("To be deleted at the next restart:",
               [source for source, target in prefix.pending_renames() if not target])


if __name__ == "__main__":
    try:
        main()
    except winelab.LabError as error:
        sys.exit(f"demo: {error}")
