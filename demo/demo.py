"""The demo, run by tools/demo: the whole life of an uninstall of Quillmere under Wine.

Installs the product with the platform's INF engine, runs its uninstall launcher, shows what
the engine removed and the launcher pruned, the launcher's requests for deletion at restart,
then restarts the prefix and shows the program's folder gone.

With no DISPLAY, or with UNINST_DEMO_AUTO=1, it runs on an Xvfb display of its own and answers
Yes itself; on the user's own display the answer is the user's. UNINST_DEMO_VERSION sets the
Windows version the prefix reports (win95 ... win10; default: the prefix's own, win10).
"""

import os
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import winelab  # noqa: E402

DEMO = winelab.BUILD / "demo"
SETUP = winelab.DEMO_SETUP
PRODUCT = winelab.DEMO_PRODUCT
LAUNCHER = winelab.DEMO_LAUNCHER
KEYS = list(winelab.DEMO_KEYS)
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


def main():
    exe = winelab.launcher_exe()
    if not exe.is_file():
        sys.exit(f"demo: {exe} is missing; build it with tools/build")
    version = os.environ.get("UNINST_DEMO_VERSION", "")
    if version and version not in winelab.WINDOWS_VERSIONS:
        sys.exit(f"demo: UNINST_DEMO_VERSION={version}: one of {' '.join(winelab.WINDOWS_VERSIONS)}")
    auto = os.environ.get("UNINST_DEMO_AUTO") == "1" or not os.environ.get("DISPLAY")
    display = winelab.Display(AUTO_DISPLAY if auto else os.environ["DISPLAY"]).start()
    started = time.monotonic()
    print(f"Quillmere demo: Wine prefix {shown(DEMO / 'prefix')}, display {display.name}")

    prefix = winelab.Prefix.fresh(DEMO / "prefix", display)
    # One server for the whole demo: a new one would boot the prefix and carry out the
    # deletions that the launcher leaves for the next restart before the demo restarts it.
    prefix.keep_server()
    try:
        if version:
            prefix.set_windows_version(version)
        run(prefix, display, exe, auto, version or "win10")
    finally:
        prefix.stop_server()
        display.stop()
    print(f"\nDone in {time.monotonic() - started:.0f} s. Logs of the Wine commands: {shown(prefix.logs)}")


def run(prefix, display, exe, auto, version):
    installed = winelab.install_demo_product(prefix, exe)
    keys_before = [key for key in KEYS if prefix.reg_query(key) is not None]
    files, folders = files_and_folders(installed)
    family = "95/98/Me" if winelab.is_win9x(version) else "NT"
    print(f"\nThe prefix reports {version} ({family} family).")
    print(f"The engine installed Quillmere from {SETUP}\\quillmere.inf (DefaultInstall):")
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
        winelab.answer_yes(window, launcher, winelab.picture_size(branding))
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
    list_items("Folders the engine left empty, pruned by the launcher:",
               [f"{PRODUCT}\\{name}" for name in folders if name not in left_folders])
    if left is None:
        list_items("Left:", [])
    else:
        list_items("Left:", [PRODUCT] + [f"{PRODUCT}\\{name}" for name in left] + keys_after)

    pending = [source for source, target in prefix.pending_renames() if not target]
    wininit = winelab.wininit_bytes(prefix)
    print("\nRequests for deletion at the next restart:")
    if pending:
        list_items("  MoveFileExA(..., MOVEFILE_DELAY_UNTIL_REBOOT), in the registry's "
                   "PendingFileRenameOperations:", pending, "    ")
    if wininit is not None:
        list_items("  C:\\windows\\wininit.ini:",
                   wininit.decode("latin-1").splitlines(), "    ")
    if not pending and wininit is None:
        print("  (none: nothing will be deleted)")
        return

    print("\nRestart (wineboot -r) ...")
    prefix.restart()
    after = prefix.tree(PRODUCT)
    if after is None:
        print(f"{PRODUCT} is gone.")
    else:
        list_items(f"{PRODUCT} is still there:", list(after), "    ")
    if wininit is not None:
        carried_out = winelab.wininit_bytes(prefix) is None and \
            winelab.wininit_bytes(prefix, "wininit.bak") is not None
        print("wininit.ini was carried out and renamed to wininit.bak." if carried_out
              else "wininit.ini was not carried out.")
        moved = prefix.tree(r"C:\windows\NULDIR")
        if moved is not None:
            print("Wine has no NULDIR= directive: it took the line for a rename and moved the "
                  f"folder to C:\\windows\\NULDIR (holding: {', '.join(moved) or 'nothing'}).")


if __name__ == "__main__":
    try:
        main()
    except winelab.LabError as error:
        sys.exit(f"demo: {error}")
