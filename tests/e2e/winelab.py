"""Runs the launcher under Wine for real: Xvfb, Wine prefixes, the INF engine, xdotool, screenshots.

Shared by the end-to-end tests, tools/demo and tools/screenshot. Standard library only; the
programs it drives (Xvfb, wine64, xdotool, ImageMagick, MinGW-w64) are the packages that
tools/common.sh installs. Every Wine command writes to a file, never to a pipe: Wine's
background services inherit the output of the command that boots a prefix and would hold a
pipe open.
"""

import ctypes
import ctypes.util
import os
import re
import shutil
import subprocess
import time
from pathlib import Path, PureWindowsPath

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build"
WINE = "/usr/lib/wine/wine64" if os.access("/usr/lib/wine/wine64", os.X_OK) else "wine"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
SCREEN_SIZE = "1024x768x24"

# Wine's non-client sizes for a window with a caption and a fixed frame, with the default
# metrics of a new prefix: the frame on each side, and the caption below the top frame. The
# client area (where the picture is drawn) starts at (FRAME, FRAME + CAPTION) in the window.
FRAME = 3
CAPTION = 19

# The buttons, in client coordinates: 60 x 23 pixels, 30 pixels above the picture's bottom
# edge, Yes 150 and No 80 pixels left of its right edge.
BUTTON_WIDTH, BUTTON_HEIGHT = 60, 23


def button_rect(picture_width, picture_height, name):
    """(x, y, width, height) of the button "Yes" or "No" in client coordinates."""
    left = picture_width - (150 if name == "Yes" else 80)
    return left, picture_height - 30, BUTTON_WIDTH, BUTTON_HEIGHT


def centre(rect):
    x, y, width, height = rect
    return x + width // 2, y + height // 2


# Where the platform keeps the requests of MoveFileExA(..., MOVEFILE_DELAY_UNTIL_REBOOT).
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"
PENDING_RENAMES = "PendingFileRenameOperations"

# The prefix that new prefixes are copied from: booting one takes 10 to 20 s, a copy 2 s.
TEMPLATE = BUILD / "e2e-template"
READY_MARKER = ".uninst-ready"


class LabError(Exception):
    """Something in the lab did not happen in time or did not work."""


def wait_until(probe, timeout, what, interval=0.05):
    """Calls probe() until it returns something true, and returns that; LabError after timeout s."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise LabError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def launcher_exe():
    """The x86-64 launcher to run: $UNINST_EXE, else build/win64/uninst.exe."""
    return Path(os.environ.get("UNINST_EXE") or BUILD / "win64" / "uninst.exe").resolve()


class Branding:
    """The window title and the picture a build was made with (its branding header, else the defaults)."""

    def __init__(self, exe):
        self.title = "Uninstall Quillmere"
        self.picture = ROOT / "src" / "res" / "picture.bmp"
        header = Path(exe).parent / "branding" / "uninst_branding.h"
        if header.is_file():
            text = header.read_text(encoding="ascii", errors="replace")
            title = _header_string(text, "UNINST_WINDOW_TITLE")
            picture = _header_string(text, "UNINST_PICTURE_FILE")
            if title is not None:
                self.title = title
            if picture is not None:
                self.picture = Path(picture)


def _header_string(text, name):
    match = re.search(r'^#define %s "(.*)"\s*$' % name, text, re.MULTILINE)
    if not match:
        return None
    # The build writes '?' as an octal escape and allows no other backslash.
    return match.group(1).replace("\\077", "?").replace('\\"', '"')


def read_rgb(image, crop=None):
    """(width, height, bytes) of an image file as 8-bit RGB, top row first, through ImageMagick."""
    geometry = subprocess.run(["identify", "-format", "%w %h", str(image) + "[0]"],
                              check=True, capture_output=True, text=True).stdout.split()
    width, height = int(geometry[0]), int(geometry[1])
    args = ["convert", str(image) + "[0]"]
    if crop:
        x, y, width, height = crop
        args += ["-crop", f"{width}x{height}+{x}+{y}", "+repage"]
    args += ["-depth", "8", "rgb:-"]
    data = subprocess.run(args, check=True, capture_output=True).stdout
    if len(data) != width * height * 3:
        raise LabError(f"{image}: {len(data)} bytes of pixels for {width}x{height}")
    return width, height, data


class Display:
    """An X display: a number (an Xvfb of ours on :number, started unless something already
    serves it) or the name of one that runs already, such as the user's $DISPLAY."""

    def __init__(self, number_or_name):
        self.name = f":{number_or_name}" if isinstance(number_or_name, int) else number_or_name
        self.process = None

    def responds(self):
        return subprocess.run(["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0

    def start(self):
        if self.responds():
            return self
        self.process = subprocess.Popen(
            ["Xvfb", self.name, "-screen", "0", SCREEN_SIZE, "-nolisten", "tcp"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(self.responds, 10, f"Xvfb on {self.name}")
        return self

    def stop(self):
        """Ends the Xvfb that start() started; a display served by someone else is left alone."""
        if self.process is not None:
            self.process.terminate()
            self.process.wait(10)
            self.process = None

    def xdotool(self, *args, check=True):
        result = subprocess.run(["xdotool", *map(str, args)], env=dict(os.environ, DISPLAY=self.name),
                                stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if check and result.returncode != 0:
            raise LabError(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
        return result.stdout

    def size(self):
        width, height = self.xdotool("getdisplaygeometry").split()
        return int(width), int(height)

    def screenshot(self, path, box=None):
        """Saves the screen, or the box (x, y, width, height) of it, as a PNG file."""
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        whole = path.with_name(path.stem + "-screen.png")
        subprocess.run(["import", "-display", self.name, "-window", "root", str(whole)],
                       check=True, stdin=subprocess.DEVNULL, capture_output=True)
        if box is None:
            whole.replace(path)
            return path
        x, y, width, height = box
        subprocess.run(["convert", str(whole), "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                        str(path)], check=True, capture_output=True)
        whole.unlink()
        return path

    def find_window(self, title, timeout=20):
        """The window whose name is exactly `title`, waited for until it is on the screen."""
        # Wine names the X window before it maps it; focus can go only to a mapped window.
        pattern = "^" + re.escape(title) + "$"

        def probe():
            ids = self.xdotool("search", "--onlyvisible", "--name", pattern, check=False).split()
            return ids[0] if ids else None

        return Window(self, wait_until(probe, timeout, f"the window '{title}'"), title)


class Window:
    """A top-level window on a display, driven with xdotool as a user would."""

    def __init__(self, display, window_id, title):
        self.display = display
        self.id = window_id
        self.title = title

    def exists(self):
        pattern = "^" + re.escape(self.title) + "$"
        return self.id in self.display.xdotool("search", "--name", pattern, check=False).split()

    def wait_gone(self, timeout=10):
        wait_until(lambda: not self.exists(), timeout, f"the window '{self.title}' to close")

    def geometry(self):
        """(x, y, width, height) of the whole window, frame and caption included."""
        text = self.display.xdotool("getwindowgeometry", "--shell", self.id)
        values = dict(line.split("=", 1) for line in text.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def key(self, name):
        """Presses a key (xdotool's name: Return, Escape, alt+F4) with the window focused."""
        self.display.xdotool("windowfocus", "--sync", self.id)
        self.display.xdotool("key", name)

    def hover(self, x, y):
        """Moves the pointer to (x, y) of the client area."""
        self.display.xdotool("mousemove", "--window", self.id, FRAME + x, FRAME + CAPTION + y)

    def click(self, x, y):
        """Clicks the left button at (x, y) of the client area."""
        self.hover(x, y)
        self.display.xdotool("click", "1")

    def request_close(self):
        """Asks the window to close as a window manager's close button does (WM_DELETE_WINDOW)."""
        _send_delete_window(self.display.name, int(self.id))

    def screenshot(self, path, timeout=5):
        """Saves the window as a PNG file once two shots in a row agree: the window is drawn."""
        previous = None
        deadline = time.monotonic() + timeout
        while True:
            self.display.screenshot(path, self.geometry())
            pixels = read_rgb(path)
            if pixels == previous or time.monotonic() > deadline:
                return path
            previous = pixels
            time.sleep(0.1)


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def _send_delete_window(display_name, window_id):
    # This xdotool's windowclose destroys the X window outright; a close request is a
    # WM_PROTOCOLS client message, which Wine turns into the window's WM_CLOSE.
    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                ctypes.POINTER(_XEvent)]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(display_name.encode())
    if not display:
        raise LabError(f"cannot open display {display_name}")
    try:
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window_id
        event.xclient.message_type = xlib.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        event.xclient.data[1] = 0  # CurrentTime
        xlib.XSendEvent(display, window_id, 0, 0, ctypes.byref(event))
        xlib.XFlush(display)
    finally:
        xlib.XCloseDisplay(display)


class Prefix:
    """A Wine prefix under build/, with the commands a test needs on it.

    Careful: Wine boots the prefix whenever a new wineserver starts, and the boot carries out
    the deletions pending at restart and C:\\windows\\wininit.ini. keep_server() holds one
    server for the whole of a test so that nothing is carried out before restart() asks.
    """

    def __init__(self, path, display):
        self.path = Path(path).resolve()
        self.display = display
        self.logs = self.path.with_name(self.path.name + "-logs")
        self.logs.mkdir(parents=True, exist_ok=True)
        self.env = dict(os.environ, WINEPREFIX=str(self.path), DISPLAY=display.name,
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self._log_count = 0

    @property
    def drive_c(self):
        return self.path / "drive_c"

    # --- making prefixes ---

    def is_ready(self):
        return (self.path / READY_MARKER).is_file()

    def create(self):
        """Boots a new prefix here (10 to 20 s) in which Wine draws the window frames itself."""
        self.stop_server()
        shutil.rmtree(self.path, ignore_errors=True)
        self.wine("wineboot", "-i", timeout=180, check=True)
        # No window manager runs under Xvfb: Wine draws the caption and frame, and the
        # screenshots show them.
        key = r"HKCU\Software\Wine\X11 Driver"
        self.wine("reg", "add", key, "/v", "Decorated", "/d", "N", "/f", check=True)
        self.wine("reg", "add", key, "/v", "Managed", "/d", "N", "/f", check=True)
        self.wait_server()
        (self.path / READY_MARKER).touch()
        return self

    @classmethod
    def fresh(cls, path, display):
        """A new prefix at `path`, copied from the template prefix (made first if missing)."""
        template = cls(TEMPLATE, display)
        if not template.is_ready():
            template.create()
        prefix = cls(path, display)
        prefix.stop_server()
        shutil.rmtree(prefix.path, ignore_errors=True)
        # Symbolic links (dosdevices) are copied as links; they are relative or absolute to /.
        shutil.copytree(template.path, prefix.path, symlinks=True)
        return prefix

    # --- running Wine ---

    def _log(self, stem):
        self._log_count += 1
        return self.logs / f"{self._log_count:03d}-{re.sub(r'[^A-Za-z0-9.-]+', '_', stem)[:40]}.log"

    def wine(self, *args, timeout=60, check=False):
        """Runs a Wine command to its end; returns (exit code, output)."""
        log = self._log(str(PureWindowsPath(args[0]).name))
        with open(log, "wb") as out:
            try:
                code = subprocess.run([WINE, *map(str, args)], env=self.env, cwd=self.path.parent,
                                      stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                      timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                raise LabError(f"wine {' '.join(map(str, args))}: no end after {timeout} s") from None
        output = log.read_bytes().decode("latin-1").replace("\r\n", "\n")
        if check and code != 0:
            raise LabError(f"wine {' '.join(map(str, args))}: exit code {code}\n{output}")
        return code, output

    def start(self, *args):
        """Starts a Wine command in the background; returns the Popen (its exit code is the program's)."""
        log = self._log(str(PureWindowsPath(args[0]).name))
        with open(log, "wb") as out:
            return subprocess.Popen([WINE, *map(str, args)], env=self.env, cwd=self.path.parent,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)

    def _wineserver(self, option):
        return subprocess.run([WINESERVER, option], env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    def keep_server(self):
        """Starts this prefix's wineserver to stay until stop_server(). Call it before any other
        Wine command of the test; a server that already runs is left as it is."""
        self._wineserver("-p")

    def stop_server(self):
        """Ends every process of this prefix and its server (no effect if none runs)."""
        if self.path.is_dir():
            self._wineserver("-k")

    def wait_server(self):
        self._wineserver("-w")

    def restart(self):
        """What a restart of the computer does: carries out the deletions pending at restart and
        C:\\windows\\wininit.ini."""
        self.wine("wineboot", "-r", timeout=120, check=True)

    def set_windows_version(self, version):
        """The version the prefix reports: win95, win98, winme, nt40, win2k, winxp, win7, win10."""
        self.wine("reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", version, "/f",
                  check=True)

    # --- registry and files ---

    def reg_query(self, key, value=None):
        """The data of a registry value as `reg query` prints it, or None when it is missing.
        Without a value name: the key's whole listing, or None when the key is missing."""
        args = ["reg", "query", key] + (["/v", value] if value is not None else [])
        # Now and then Wine's reg ends without printing anything, not even its "Unable to
        # find" for a missing value: that is no answer, so ask again.
        for _ in range(5):
            code, output = self.wine(*args)
            if output.strip():
                break
            time.sleep(0.2)
        if code != 0:
            return None
        if value is None:
            return output
        for line in output.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == value.lower() and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def reg_delete(self, key, value=None):
        args = ["reg", "delete", key] + (["/v", value] if value is not None else []) + ["/f"]
        return self.wine(*args)[0] == 0

    def pending_renames(self):
        """The requests of MoveFileExA(..., MOVEFILE_DELAY_UNTIL_REBOOT) as (source, target)
        pairs in order, without the \\??\\ prefix; target '' means delete."""
        data = self.reg_query(SESSION_MANAGER, PENDING_RENAMES)
        if not data:
            return []
        items = [item[4:] if item.startswith("\\??\\") else item for item in data.split("\\0")]
        return [(items[i], items[i + 1] if i + 1 < len(items) else "")
                for i in range(0, len(items), 2) if items[i]]

    def clear_pending_renames(self):
        self.reg_delete(SESSION_MANAGER, PENDING_RENAMES)

    def wininit_ini(self):
        """The text of C:\\windows\\wininit.ini, or None when there is none."""
        path = self.drive_c / "windows" / "wininit.ini"
        return path.read_bytes().decode("latin-1") if path.is_file() else None

    def unix_path(self, windows_path):
        """C:\\a\\b as a path of this machine (drive C only)."""
        path = PureWindowsPath(windows_path)
        if path.drive.upper() != "C:":
            raise LabError(f"{windows_path}: only drive C is mapped here")
        return self.drive_c.joinpath(*path.parts[1:])

    def windows_path(self, unix_path):
        """A path under drive_c as C:\\..."""
        relative = Path(unix_path).resolve().relative_to(self.drive_c.resolve())
        return str(PureWindowsPath("C:\\", *relative.parts))

    def tree(self, windows_folder):
        """Everything under a folder: {relative path: file bytes, or None for a folder}."""
        top = self.unix_path(windows_folder)
        if not top.is_dir():
            return None
        entries = {}
        for path in sorted(top.rglob("*")):
            name = str(PureWindowsPath(*path.relative_to(top).parts))
            entries[name] = None if path.is_dir() else path.read_bytes()
        return entries

    # --- processes ---

    def processes(self):
        """(pid, command line) of this prefix's Wine processes: those whose WINEPREFIX is ours."""
        wanted = b"WINEPREFIX=" + str(self.path).encode()
        found = []
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                environ = (entry / "environ").read_bytes().split(b"\0")
                if wanted not in environ:
                    continue
                args = (entry / "cmdline").read_bytes().rstrip(b"\0").replace(b"\0", b" ")
                state = (entry / "stat").read_text().rsplit(")", 1)[1].split()[0]
            except OSError:
                continue
            if state != "Z":
                found.append((int(entry.name), args.decode("latin-1")))
        return found

    def processes_named(self, exe_name):
        """The processes of this prefix whose program is `exe_name` (any case, any folder)."""
        pattern = re.compile(r"(^|[\\/])" + re.escape(exe_name) + r"(\s|$)", re.IGNORECASE)
        return [(pid, args) for pid, args in self.processes() if pattern.search(args)]

    # --- the INF engine ---

    def run_inf(self, inf_windows_path, section="DefaultInstall"):
        """Runs an INF section with the platform's engine, as an installer would; returns its exit code."""
        return self.wine("rundll32", "setupapi.dll,InstallHinfSection", section, "132",
                         inf_windows_path, timeout=120)[0]


def build_hold(out_dir):
    """hold.exe (tests/e2e/hold.c) for x86-64, rebuilt when its source is newer."""
    source = Path(__file__).with_name("hold.c")
    exe = Path(out_dir) / "hold.exe"
    if exe.is_file() and exe.stat().st_mtime >= source.stat().st_mtime:
        return exe
    exe.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["x86_64-w64-mingw32-gcc", "-O2", "-mwindows", "-Wall", "-Wextra", "-Werror",
                    "-s", "-o", str(exe), str(source)], check=True, capture_output=True)
    return exe


class Launcher:
    """One run of the launcher: started in the background, its window and its exit code."""

    def __init__(self, prefix, exe_windows_path):
        self.prefix = prefix
        self.exe = exe_windows_path
        self.process = None

    def start(self):
        self.process = self.prefix.start(self.exe)
        return self

    def running(self):
        return self.process is not None and self.process.poll() is None

    def exit_code(self, timeout=15):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise LabError(f"{self.exe} did not end within {timeout} s") from None

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait(10)


# --- the whole life of an uninstall: the demo product, its removal, the restart ---
# Shared by tests/e2e/restart_test.py, tools/matrix and the demo.

DEMO_DIR = ROOT / "demo"
DEMO_SETUP = r"C:\QuillmereSetup"
DEMO_PRODUCT = r"C:\Program Files\Quillmere"
DEMO_LAUNCHER = DEMO_PRODUCT + r"\uninst.exe"
DEMO_KEYS = (r"HKLM\Software\Quillmere",
             r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmere")

# The versions a prefix can report, oldest first, and those of the 95/98/Me family.
WINDOWS_VERSIONS = ("win95", "win98", "winme", "nt40", "win2k", "winxp", "win7", "win10")
WIN9X_VERSIONS = ("win95", "win98", "winme")

# A folder beside the product that holds nothing but empty folders: not the launcher's.
SIBLING = r"C:\Program Files\Sibling"
SIBLING_TREE = {"a": None, "a\\b": None}

# A wininit.ini as other programs' setups leave it: a comment, CRLF line ends, spaces around
# '=', a rename besides a deletion, and a section after [rename]. The launcher's lines go
# between the head and the tail; every byte of both must stay.
OTHER_PROGRAMS_HEAD = b"; Left by the setup of another program\r\n[Rename]\r\n"
OTHER_PROGRAMS_TAIL = (b"NUL = C:\\OLDAPP\\OLD.TMP\r\n"
                       b"C:\\OLDAPP\\NEW.DAT=C:\\OLDAPP\\STAGED.DAT\r\n"
                       b"\r\n"
                       b"[Settings]\r\n"
                       b"Keep = two words\r\n")
OTHER_PROGRAMS_FILES = (r"C:\OLDAPP\OLD.TMP", r"C:\OLDAPP\STAGED.DAT")
OTHER_PROGRAMS_FILE_TEXT = b"left by another program\r\n"
# C:\OLDAPP once a restart has carried out those lines: one file deleted, the other renamed.
OTHER_PROGRAMS_AFTER_RESTART = {"NEW.DAT": OTHER_PROGRAMS_FILE_TEXT}


def is_win9x(version):
    return version in WIN9X_VERSIONS


def install_demo_product(prefix, exe):
    """Installs the demo product with the platform's INF engine, `exe` (a file of this machine)
    as its launcher; returns the product folder's tree (see Prefix.tree)."""
    setup = prefix.unix_path(DEMO_SETUP)
    setup.mkdir(parents=True, exist_ok=True)
    shutil.copy(DEMO_DIR / "quillmere.inf", setup)
    for source in sorted((DEMO_DIR / "files").iterdir()):
        shutil.copy(source, setup)
    shutil.copy(exe, setup / "uninst.exe")
    code = prefix.run_inf(DEMO_SETUP + r"\quillmere.inf", "DefaultInstall")
    installed = prefix.tree(DEMO_PRODUCT)
    if code != 0 or not installed or "uninst.exe" not in installed:
        raise LabError(f"the engine did not install the demo product (exit code {code})")
    return installed


def make_folders(prefix, windows_folder, tree):
    """Creates the folders of `tree` (as Prefix.tree gives it, folders only) under a folder."""
    top = prefix.unix_path(windows_folder)
    top.mkdir(parents=True, exist_ok=True)
    for name, data in tree.items():
        if data is None:
            top.joinpath(*PureWindowsPath(name).parts).mkdir(parents=True, exist_ok=True)


def place_other_programs_wininit(prefix):
    """Writes the other programs' wininit.ini and the files its lines name; returns its bytes."""
    for name in OTHER_PROGRAMS_FILES:
        path = prefix.unix_path(name)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(OTHER_PROGRAMS_FILE_TEXT)
    data = OTHER_PROGRAMS_HEAD + OTHER_PROGRAMS_TAIL
    (prefix.drive_c / "windows" / "wininit.ini").write_bytes(data)
    return data


def wininit_bytes(prefix, name="wininit.ini"):
    """The bytes of C:\\windows\\`name` (wininit.ini, or wininit.bak after a restart), or None."""
    path = prefix.drive_c / "windows" / name
    return path.read_bytes() if path.is_file() else None


def short_path(prefix, windows_path):
    """The platform's short (8.3) form of an existing path, as GetShortPathName gives it."""
    code, output = prefix.wine("winepath", "-s", windows_path)
    if code != 0 or not output.strip():
        raise LabError(f"no short path for {windows_path}: {output.strip()}")
    return output.strip()


def map_drive(prefix, letter, unix_folder):
    """Makes `letter`: a drive of its own whose root is `unix_folder`; returns 'X:'."""
    Path(unix_folder).mkdir(parents=True, exist_ok=True)
    link = prefix.path / "dosdevices" / (letter.lower() + ":")
    if link.is_symlink() or link.exists():
        link.unlink()
    link.symlink_to(Path(unix_folder).resolve())
    return letter.upper() + ":"


def picture_size(branding):
    """(width, height) of the picture a build shows."""
    return read_rgb(branding.picture)[:2]


def answer_yes(window, launcher, size, timeout=60):
    """Clicks Yes and waits for the launcher's end; returns its exit code. `size` is the
    picture's (width, height)."""
    window.click(*centre(button_rect(*size, "Yes")))
    # The launcher notices the engine's end after its next message: a pointer moving over its
    # window brings one, as it would for a user who waits in front of it.
    spot = 0
    deadline = time.monotonic() + timeout
    while launcher.running():
        if time.monotonic() > deadline:
            raise LabError(f"the launcher did not end within {timeout} s of the answer")
        spot = 1 - spot
        try:
            window.hover(20 + 10 * spot, 20)
        except LabError:
            pass  # the window has just gone
        time.sleep(0.25)
    return launcher.exit_code()


def run_launcher(prefix, display, exe_windows_path, answer, branding, timeout=60):
    """Starts the launcher, answers "yes" (a click on Yes) or "escape" (the Esc key) and
    returns its exit code; the launcher does not outlive the call."""
    launcher = Launcher(prefix, exe_windows_path).start()
    try:
        window = display.find_window(branding.title)
        if answer == "yes":
            return answer_yes(window, launcher, picture_size(branding), timeout)
        if answer == "escape":
            window.key("Escape")
            return launcher.exit_code()
        raise ValueError(answer)
    finally:
        launcher.kill()
