#!/usr/bin/env python3
"""Runs a Windows program of this project under Wine (32-bit, under
qemu-i386) on a headless X display, as a user would: in a fresh copy of the
prepared prefix, answering each message box and dialog from a list of answers
(the words of `saverkit preview`: ok, cancel, yes, no, accept, decline,
escape, close), with a PNG of each window taken before it is answered.

What the run did is collected into OUT/result.json:
  exit      the program's exit code (null when it had to be killed)
  program_pid  the Wine process id of the program started (the first to
            load its file), null when the trace does not show it
  windows   the names of the visible top-level windows seen while it ran
            (looked for between its prompts, some times a second)
  prompts   each message box and dialog in the order shown: process, kind,
            caption, text, style, template id, texts set on it, the answer
            given and the value the call returned, its picture
  calls     every traced call of interest in order (Wine's relay trace)
  files     every file added, changed or removed under drive_c/windows, with
            its size and SHA-256; the bytes of added and changed files are
            copied under OUT/files/
  registry  the values added, changed or removed in the prefix's registry
  boot      the [boot] SCRNSAVE.EXE line of system.ini (null when none)
  screen_save_active  ScreenSaveActive of HKCU\\Control Panel\\Desktop
  problems  what went wrong in the run itself (an answer missing, a time-out)

Usage:
  winerun.py init PREFIX                          make a prepared prefix
  winerun.py run --template PREFIX --out OUT [--answer A]... [--keep-prefix P]
                 [--prompt-dialogs 106,107] [--timeout S] [--screen WxH]
                 PROGRAM [ARGS...]
  winerun.py run --template PREFIX --out OUT --like-preview SAVERKIT IMAGE
                 (the answers and waiting dialogs of `SAVERKIT preview IMAGE`,
                 and No to the note of the screen saver it starts)
PROGRAM is a host file (copied to C:\\ and started there) or, with
--windows-path, a path inside the prefix given as Windows sees it.
"""

import argparse
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xwd_png  # noqa: E402

WINE = "/usr/lib/wine/wine"
WINESERVER = "/usr/lib/wine/wineserver64"
WINE_FONTS = "/usr/share/wine/fonts"
FONTS = ("tahoma.ttf", "tahomabd.ttf", "marlett.ttf")
# Left in a prefix once it is completely prepared.
READY_MARK = ".saverkit-ready"

# The calls the relay trace prints, with their string arguments.
TRACED = ("user32.MessageBoxA user32.DialogBoxParamA user32.EndDialog user32.SetWindowTextA "
          "user32.SetDlgItemTextA advapi32.RegSetValueExA advapi32.RegDeleteKeyA "
          "kernel32.WritePrivateProfileStringA kernel32.WinExec shell32.ShellExecuteA "
          "user32.SystemParametersInfoA").split()

PREFIX_SETTINGS = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"

[HKEY_CURRENT_USER\Software\Wine\Debug]
"RelayInclude"="%s"
""" % ";".join(TRACED)

# Keys that answer a prompt. Return presses the default button (OK, Accept,
# Yes where it is the default); the letters are the mnemonics of &Yes and
# &No; Escape is Cancel, Decline or No-way-out; Alt+F4 the close box.
ANSWER_KEYS = {"ok": "Return", "accept": "Return", "yes": "y", "no": "n", "cancel": "Escape",
               "decline": "Escape", "escape": "Escape", "close": "alt+F4"}


class RunError(Exception):
    pass


# The X screen of a run unless told: width, height in pixels.
DEFAULT_SCREEN = (1024, 768)

# Seconds after its call returned within which an answered window is gone
# from the screen; a window of its id seen later is a new one.
ANSWERED_WINDOW_CLOSES_WITHIN = 5.0


def screen_size(text):
    """"WIDTHxHEIGHT" as (width, height), for --screen."""
    match = re.fullmatch(r"(\d+)x(\d+)", text)
    if not match or not (320 <= int(match.group(1)) <= 8192 and 200 <= int(match.group(2)) <= 8192):
        raise argparse.ArgumentTypeError("%r is no screen size such as 1024x768" % text)
    return int(match.group(1)), int(match.group(2))


# The start of the problem line of a run whose X display failed.
DISPLAY_LOST = "display lost:"


def wine_env(prefix, display=None, relay=False):
    env = {k: v for k, v in os.environ.items() if not k.startswith("WINE") and k != "DISPLAY"}
    env.update(WINEPREFIX=prefix, WINEARCH="win32", WINESERVER=WINESERVER,
               WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d",
               WINEDEBUG="+pid,+relay,+loaddll,-fixme" if relay else "-all")
    if display:
        env["DISPLAY"] = display
    return env


def wait_wineserver(prefix, timeout):
    """Waits until the prefix's wineserver has ended (which is when the
    registry reaches system.reg and user.reg); False on time-out."""
    try:
        subprocess.run([WINESERVER, "-w"], env=wine_env(prefix), timeout=timeout,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return True
    except subprocess.TimeoutExpired:
        return False


def kill_wineserver(prefix):
    subprocess.run([WINESERVER, "-k"], env=wine_env(prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    wait_wineserver(prefix, 20)


def init_prefix(prefix):
    """A new 32-bit prefix with the fonts Debian's Wine does not find, Wine
    drawing window captions itself (no window manager here) and the relay
    trace limited to the calls of interest."""
    prefix = os.path.abspath(prefix)
    if os.path.exists(prefix):
        raise RunError("%s already exists" % prefix)
    env = wine_env(prefix)
    subprocess.run([WINE, "wineboot", "-i"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    if not wait_wineserver(prefix, 300):
        raise RunError("wineboot did not finish")
    settings = os.path.join(prefix, "drive_c", "saverkit-settings.reg")
    with open(settings, "w", newline="\r\n") as out:
        out.write(PREFIX_SETTINGS)
    subprocess.run([WINE, "regedit", "/S", "C:\\saverkit-settings.reg"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    if not wait_wineserver(prefix, 300):
        raise RunError("regedit did not finish")
    os.remove(settings)
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    for name in FONTS:
        shutil.copy(os.path.join(WINE_FONTS, name), fonts)


# ------------------------------------------------------------ the display
class Display:
    """A private Xvfb server, 24 bits, 1024x768 unless told."""

    def __init__(self, log, width=1024, height=768):
        read_end, write_end = os.pipe()
        self.log = log
        with open(log, "wb") as errors:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (width, height),
                 "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=errors)
        os.close(write_end)
        number = b""
        deadline = time.time() + 30
        while not number.endswith(b"\n") and time.time() < deadline:
            piece = os.read(read_end, 16)
            if not piece:
                break
            number += piece
        os.close(read_end)
        if not number.strip():
            self.close()
            raise RunError("Xvfb did not start")
        self.name = ":" + number.decode().strip()
        if not any(self._tool("xdotool", "getdisplaygeometry") for _ in range(3)):
            self.close()
            raise RunError("Xvfb %s does not answer (%s)" % (self.name, self.last_words()))

    def alive(self):
        return self.process.poll() is None

    def last_words(self):
        try:
            with open(self.log, "r", errors="replace") as errors:
                lines = [line.strip() for line in errors if line.strip()]
            return lines[-1] if lines else "no message"
        except OSError:
            return "no message"

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()

    def _tool(self, *args, timeout=10):
        env = dict(os.environ, DISPLAY=self.name)
        try:
            done = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        return done.stdout if done.returncode == 0 else None

    def visible_windows(self):
        """Visible top-level windows with a name: {id: name}."""
        out = self._tool("xdotool", "search", "--onlyvisible", "--maxdepth", "1", "--name", ".")
        windows = {}
        for line in (out or b"").decode().split():
            name = self._tool("xdotool", "getwindowname", line)
            if name is not None:
                windows[line] = name.decode("latin-1").rstrip("\n")
        return windows

    def picture(self, window):
        """The window's picture, or None when it is gone."""
        data = self._tool("xwd", "-silent", "-id", window)
        if not data:
            return None
        try:
            return xwd_png.read_xwd(data)
        except ValueError:
            return None

    def settled_picture(self, window, limit=8.0):
        """A picture once two in a row agree (Wine under emulation paints
        slowly), or the last one after `limit` seconds."""
        last = None
        deadline = time.time() + limit
        while time.time() < deadline:
            time.sleep(0.5)
            current = self.picture(window)
            if current is None:
                return last
            if last is not None and current.rows == last.rows and current.bright_fraction() > 0.01:
                return current
            last = current
        return last

    def key(self, window, keys):
        self._tool("xdotool", "windowfocus", "--sync", window, timeout=5)
        self._tool("xdotool", "key", "--window", window, "--clearmodifiers", keys, timeout=5)


# ------------------------------------------------------------ the relay trace
CALL = re.compile(r"^([0-9a-f]{4}):([0-9a-f]{4}):Call ([\w.]+)\((.*)\) ret=([0-9a-f]+)$")
RET = re.compile(r"^([0-9a-f]{4}):([0-9a-f]{4}):Ret  ([\w.]+)\(\) retval=([0-9a-f]+) ret=[0-9a-f]+$")
# +loaddll: each module a process maps, the program's own file among them.
LOADED = re.compile(r'^([0-9a-f]{4}):[0-9a-f]{4}:trace:loaddll:\w+ Loaded L"(.*)" at [0-9a-f]+: native$')
ARG = re.compile(r'\s*(?:([0-9a-f]{8}) )?(?:"((?:[^"\\]|\\.)*)"(\.\.\.)?|L"((?:[^"\\]|\\.)*)"|([0-9a-f]{8}))\s*(?:,|$)')
# The relay trace shows at most a few hundred characters of a string and
# marks the cut with "..." behind the closing quote; such a text ends in
# TRUNCATED here, and comparisons take it as a prefix.
TRUNCATED = "[...]"


def unescape(text):
    """A string of the relay trace as the program passed it (bytes as
    latin-1 characters)."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            simple = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "0": "\0"}
            if n in simple:
                out.append(simple[n])
                i += 2
                continue
            if n == "x" and re.match(r"[0-9a-fA-F]{2}", text[i + 2:i + 4]):
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
            if n in "01234567":
                digits = re.match(r"[0-7]{1,3}", text[i + 1:]).group(0)
                out.append(chr(int(digits, 8)))
                i += 1 + len(digits)
                continue
        out.append(c)
        i += 1
    return "".join(out)


def parse_args(text):
    """Arguments of a relay Call line: an int for a number, a str for a
    string (its pointer dropped)."""
    args = []
    position = 0
    while position < len(text):
        match = ARG.match(text, position)
        if not match or match.end() == position:
            break
        if match.group(2) is not None:
            args.append(unescape(match.group(2)) + (TRUNCATED if match.group(3) else ""))
        elif match.group(4) is not None:
            args.append(unescape(match.group(4)))
        elif match.group(5) is not None:
            args.append(int(match.group(5), 16))
        else:
            args.append(int(match.group(1), 16))
        position = match.end()
    return args


class RelayTrace:
    """Traced calls of a run, read as the trace grows: each call is
    {pid, tid, function, args, result (None while running)}."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.partial = ""
        self.calls = []
        self.open_calls = {}  # (pid, tid, function) -> stack of call indexes
        self.sequence = 0     # counts Call and Ret lines, to order events
        self.no_display = False  # Wine could not open the X display
        self.loaded = []         # (pid, Windows path) of each native module mapped

    def update(self):
        try:
            with open(self.path, "r", encoding="latin-1") as trace:
                trace.seek(self.offset)
                data = trace.read()
                self.offset = trace.tell()
        except OSError:
            return
        lines = (self.partial + data).split("\n")
        self.partial = lines.pop()
        for line in lines:
            self._line(line.rstrip("\r"))

    def _line(self, line):
        if "nodrv_CreateWindow" in line:
            self.no_display = True
        loaded = LOADED.match(line)
        if loaded:
            self.loaded.append((int(loaded.group(1), 16), unescape(loaded.group(2))))
            return
        call = CALL.match(line)
        if call:
            pid, tid, function, args = call.group(1), call.group(2), call.group(3), call.group(4)
            if function.split(".")[-1] not in {t.split(".")[1] for t in TRACED}:
                return
            self.sequence += 1
            self.calls.append({"pid": int(pid, 16), "tid": int(tid, 16), "function": function,
                               "args": parse_args(args), "result": None, "seq": self.sequence,
                               "ret_seq": None})
            self.open_calls.setdefault((pid, tid, function), []).append(len(self.calls) - 1)
            return
        ret = RET.match(line)
        if ret:
            key = (ret.group(1), ret.group(2), ret.group(3))
            if self.open_calls.get(key):
                self.sequence += 1
                call = self.calls[self.open_calls[key].pop()]
                call["result"] = int(ret.group(4), 16)
                call["ret_seq"] = self.sequence

    def pending_prompts(self):
        """Indexes of MessageBoxA and DialogBoxParamA calls still running."""
        return [i for i, c in enumerate(self.calls)
                if c["result"] is None and c["function"].endswith(("MessageBoxA", "DialogBoxParamA"))]


# ------------------------------------------------------------ the prefix
def snapshot(root, hash_newer_than=None):
    """{relative path: (size, mtime_ns, SHA-256 or None)} of the files under
    root; the hash only of files modified after `hash_newer_than` (ns), so
    that a file rewritten with the same bytes is told from a changed one
    without hashing all of Wine's own files."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            try:
                info = os.lstat(path)
            except OSError:
                continue
            digest = None
            if hash_newer_than is not None and info.st_mtime_ns > hash_newer_than \
                    and not os.path.islink(path):
                digest = sha256(path)
            files[os.path.relpath(path, root)] = (info.st_size, info.st_mtime_ns, digest)
    return files


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as data:
        for block in iter(lambda: data.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest()


REG_SECTION = re.compile(r"^\[(.*)\] \d+")
REG_VALUE = re.compile(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$')


def read_registry_file(path, root):
    """{key path: {value name: data text}} of a Wine registry file (keys
    prefixed with `root`, "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER")."""
    keys = {}
    current = None
    try:
        with open(path, "r", encoding="latin-1") as reg:
            lines = reg.read().split("\n")
    except OSError:
        return keys
    pending = ""
    for raw in lines:
        line = pending + raw.rstrip("\r")
        if line.endswith("\\") and current is not None and not line.startswith("["):
            pending = line[:-1]
            continue
        pending = ""
        section = REG_SECTION.match(line)
        if section:
            current = root + "\\" + section.group(1).replace("\\\\", "\\")
            keys.setdefault(current, {})
            continue
        value = REG_VALUE.match(line)
        if value and current is not None:
            name = "@" if value.group(1) == "@" else unescape(value.group(1)[1:-1])
            keys[current][name] = decode_reg_data(value.group(2))
    return keys


def decode_reg_data(data):
    """"text" -> REG_SZ text; dword:0000002a -> REG_DWORD 0x0000002a; other
    types as Wine wrote them."""
    if data.startswith('"') and data.endswith('"'):
        return "REG_SZ " + unescape(data[1:-1])
    if data.startswith('str(2):"'):
        return "REG_EXPAND_SZ " + unescape(data[8:-1])
    if data.startswith("dword:"):
        return "REG_DWORD 0x" + data[6:].lower()
    return data


def read_registry(prefix):
    keys = read_registry_file(os.path.join(prefix, "system.reg"), "HKEY_LOCAL_MACHINE")
    keys.update(read_registry_file(os.path.join(prefix, "user.reg"), "HKEY_CURRENT_USER"))
    return keys


def registry_changes(before, after):
    """Values added, changed or removed. Keys alone are left out: Wine does
    not write a key that has sub-keys and no values."""
    changes = []
    for key in sorted(set(before) | set(after)):
        old, new = before.get(key, {}), after.get(key, {})
        for name in sorted(set(old) | set(new)):
            if old.get(name) != new.get(name):
                kind = "added" if name not in old else "removed" if name not in new else "changed"
                changes.append({"kind": kind, "key": key, "name": name, "data": new.get(name)})
    return changes


def read_boot_line(prefix):
    try:
        with open(os.path.join(prefix, "drive_c", "windows", "system.ini"), "r",
                  encoding="latin-1") as ini:
            section = None
            for line in ini.read().splitlines():
                stripped = line.strip()
                if stripped.startswith("["):
                    section = stripped.lower()
                elif section == "[boot]" and stripped.lower().startswith("scrnsave.exe="):
                    return stripped
    except OSError:
        pass
    return None


# ------------------------------------------------------------ a run
def copy_prefix(template, prefix):
    if not os.path.isfile(os.path.join(template, "system.reg")):
        raise RunError("%s is no prepared Wine prefix (run scripts/wine/setup.sh)" % template)
    shutil.copytree(template, prefix, symlinks=True)


def prompt_window(display, call, shown, exclude):
    """The visible window of a running prompt: a message box by its caption,
    a dialog as the one named window that was not there before."""
    windows = display.visible_windows()
    if call["function"].endswith("MessageBoxA"):
        caption = call["args"][2] if len(call["args"]) > 2 and isinstance(call["args"][2], str) else "Error"
        for window, name in windows.items():
            if name == caption and window not in exclude:
                return window
        return None
    fresh = [w for w in windows if w not in shown and w not in exclude]
    return fresh[-1] if fresh else None


def safe_name(text):
    return re.sub(r"[^A-Za-z0-9]+", "-", text).strip("-")[:40] or "window"


def run_program(template, out, program, args=(), answers=(), prompt_dialogs=None, timeout=180,
                windows_path=False, keep_prefix=None, prefix=None, on_window=None,
                screen=DEFAULT_SCREEN):
    """Runs `program` and returns the result dictionary (also written to
    OUT/result.json). `prompt_dialogs`: the dialog template ids that wait
    for an answer (None: every dialog); other dialogs are pictured, never
    answered. With `prefix` the run uses that prefix as it is instead of a
    copy of `template`. `screen` is the X screen's (width, height) in pixels.

    A run on a fresh copy whose X display failed (Xvfb can die while it
    starts on a loaded machine) is run once more on another fresh copy;
    a run on a given prefix is not, since it may have changed it."""
    for attempt in range(2):
        try:
            result = run_once(template, out, program, args, answers, prompt_dialogs, timeout,
                              windows_path, keep_prefix, prefix, on_window, screen)
        except RunError as error:
            if attempt == 0 and str(error).startswith("Xvfb"):
                continue  # nothing ran yet
            raise
        lost = any(problem.startswith(DISPLAY_LOST) for problem in result["problems"])
        if not lost or prefix is not None:
            break
    return result


def run_once(template, out, program, args, answers, prompt_dialogs, timeout, windows_path,
             keep_prefix, prefix, on_window, screen):
    out = os.path.abspath(out)
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="saverkit-wine-")
    display = None
    try:
        if prefix is None:
            prefix = os.path.join(work, "prefix")
            copy_prefix(template, prefix)
        before = PrefixState(prefix)
        command = place_program(prefix, program, windows_path)
        display = Display(os.path.join(out, "xvfb.txt"), *screen)
        process, trace = start_program(prefix, out, display, command, args)
        session = PromptSession(out, display, trace, answers, prompt_dialogs, on_window)
        session.follow(process, prefix, timeout)
        problems = session.problems
        end_program(process, prefix, problems)
        trace.update()
        for entry in session.prompts:
            entry["result"] = trace.calls[entry["call"]]["result"]
        result = collect_result(prefix, out, before, process, trace, session.prompts, problems)
        result["program_pid"] = next((pid for pid, path in trace.loaded
                                      if path.lower() == command.lower()), None)
        result["windows"] = sorted(set(session.windows.values()) |
                                   {p["window_name"] for p in session.prompts})
        if keep_prefix:
            if os.path.exists(keep_prefix):
                shutil.rmtree(keep_prefix)
            shutil.move(prefix, keep_prefix)
        with open(os.path.join(out, "result.json"), "w") as report:
            json.dump(result, report, indent=1)
        return result
    finally:
        if display is not None:
            display.close()
        shutil.rmtree(work, ignore_errors=True)


class PrefixState:
    """What the prefix holds before the run, to compare the run's changes
    against: the Windows directory's files, the [boot] line and the
    registry."""

    def __init__(self, prefix):
        self.windows_dir = os.path.join(prefix, "drive_c", "windows")
        # Files that earlier runs in this prefix wrote are newer than the
        # mark setup.sh leaves on a finished prefix (copies keep its time).
        mark = os.path.join(prefix, READY_MARK)
        made = os.stat(mark).st_mtime_ns if os.path.exists(mark) else None
        self.files = snapshot(self.windows_dir, hash_newer_than=made)
        self.boot = read_boot_line(prefix)
        self.registry = read_registry(prefix)


def place_program(prefix, program, windows_path):
    """The command line's program: a host file is copied to C:\\ first."""
    if windows_path:
        return program
    shutil.copy(program, os.path.join(prefix, "drive_c"))
    return "C:\\" + os.path.basename(program)


def start_program(prefix, out, display, command, args):
    """Starts the program under Wine with its relay trace going to
    OUT/relay.txt; returns the process and the trace."""
    relay_path = os.path.join(out, "relay.txt")
    with open(relay_path, "w") as relay, open(os.path.join(out, "stdout.txt"), "wb") as stdout:
        process = subprocess.Popen([WINE, command] + list(args), cwd=os.path.join(prefix, "drive_c"),
                                   env=wine_env(prefix, display.name, relay=True),
                                   stdout=stdout, stderr=relay, start_new_session=True)
    return process, RelayTrace(relay_path)


class PromptSession:
    """Follows a running program: pictures each window, and answers each
    message box and waiting dialog from the list of answers."""

    def __init__(self, out, display, trace, answers, prompt_dialogs, on_window):
        self.out = out
        self.display = display
        self.trace = trace
        self.queue = list(answers)
        self.prompt_dialogs = prompt_dialogs
        self.on_window = on_window
        self.prompts = []
        self.windows = {}          # every visible window seen: {id: name}
        self.problems = []
        self.handled = set()       # call indexes of prompts dealt with
        self.shown = set()         # windows pictured so far (ids may come back)
        self.answered_window = None
        self.answered_at = 0.0

    def follow(self, process, prefix, timeout):
        """Until the program and all it started have ended, or a problem
        stops the run."""
        display, trace = self.display, self.trace
        deadline = time.time() + timeout
        while True:
            trace.update()
            # Done when the program has ended and, with it, every program it
            # started (the wineserver ends with its last client).
            if process.poll() is not None and not trace.pending_prompts() \
                    and wait_wineserver(prefix, 1):
                break
            if time.time() > deadline:
                self.problems.append("timed out after %d s" % timeout)
                break
            if trace.no_display or not display.alive():
                self.problems.append("%s %s: Wine could not draw on the X display (%s)" %
                                     (DISPLAY_LOST, display.name, display.last_words()))
                break
            if self.answered_window_still_open():
                time.sleep(0.2)
                continue
            pending = [i for i in trace.pending_prompts() if i not in self.handled]
            if not pending:
                self.picture_new_windows()
                time.sleep(0.3)
                continue
            if not self.take_prompt(pending[0]):
                break

    def answered_window_still_open(self):
        """A window X has just closed may come back under the same id: look
        for the next one only once the last answered is gone. The id may
        also be taken at once by the next program's first window (X hands a
        departed client's ids to the next one), so the wait ends after a few
        seconds: an answered window closes well within them."""
        if self.answered_window is None:
            return False
        if self.answered_window in self.display.visible_windows() and \
                time.time() < self.answered_at + ANSWERED_WINDOW_CLOSES_WITHIN:
            return True
        self.shown.discard(self.answered_window)
        self.answered_window = None
        return False

    def picture_new_windows(self):
        for window, name in self.display.visible_windows().items():
            self.windows.setdefault(window, name)
            if window not in self.shown and self.on_window is not None:
                self.shown.add(window)
                self.on_window(self.display, window, name)

    def take_prompt(self, index):
        """Pictures the prompt of call `index` and answers it when it waits;
        False when the run cannot go on."""
        call = self.trace.calls[index]
        is_box = call["function"].endswith("MessageBoxA")
        template_id = None if is_box else call["args"][1] if len(call["args"]) > 1 else None
        window = prompt_window(self.display, call, self.shown, set())
        if window is None:
            time.sleep(0.3)
            return True
        waits = is_box or self.prompt_dialogs is None or template_id in self.prompt_dialogs
        picture = self.display.settled_picture(window) if waits else self.last_picture(index, window)
        entry = {"pid": call["pid"], "kind": "message box" if is_box else "dialog",
                 "call": index, "window_name": self.display.visible_windows().get(window, "")}
        if is_box:
            entry.update(caption=call["args"][2], text=call["args"][1], style=call["args"][3])
        else:
            entry.update(template=template_id)
        if picture is not None:
            name = "%02d-%s.png" % (len(self.prompts) + 1, safe_name(entry["window_name"]))
            with open(os.path.join(self.out, name), "wb") as png:
                png.write(picture.png())
            entry["picture"] = name
        self.shown.add(window)
        self.handled.add(index)
        self.prompts.append(entry)
        if not waits:
            entry["answer"] = None
            return True
        return self.answer(entry, index, window)

    def last_picture(self, index, window):
        """A dialog that closes by itself: its last picture, which shows the
        most of what it painted."""
        picture = None
        while self.trace.calls[index]["result"] is None:
            current = self.display.picture(window)
            if current is None:
                break
            picture = current
            time.sleep(0.3)
            self.trace.update()
        return picture

    def answer(self, entry, index, window):
        """Gives the prompt the next answer; False when none is left or it is
        unknown."""
        if not self.queue:
            self.problems.append("%s %r waits for an answer and none is left" %
                                 (entry["kind"], entry.get("caption", entry["window_name"])))
            return False
        answer = self.queue.pop(0)
        entry["answer"] = answer
        if answer not in ANSWER_KEYS:
            self.problems.append("unknown answer %r" % answer)
            return False
        self.display.key(window, ANSWER_KEYS[answer])
        # The key may reach the window before it takes input: press again
        # while the call is still running after a while.
        for attempt in range(3):
            limit = time.time() + 6
            while time.time() < limit and self.trace.calls[index]["result"] is None:
                time.sleep(0.2)
                self.trace.update()
            if self.trace.calls[index]["result"] is not None:
                break
            self.display.key(window, ANSWER_KEYS[answer])
        self.answered_window = window
        self.answered_at = time.time()
        return True


def end_program(process, prefix, problems):
    """Waits for the program and the wineserver to end (after a problem the
    wineserver is ended first), killing what does not."""
    if problems:
        kill_wineserver(prefix)
    try:
        process.wait(30)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        problems.append("the program did not end")
    if not wait_wineserver(prefix, 60):
        kill_wineserver(prefix)
        problems.append("wineserver did not end")


def collect_result(prefix, out, before, process, trace, prompts, problems):
    """The result dictionary of the run (see the top of this file)."""
    return {
        "exit": None if problems else process.returncode,
        "prompts": prompts,
        "calls": trace.calls,
        "files": file_changes(before.windows_dir, before.files, out),
        "registry": registry_changes(before.registry, read_registry(prefix)),
        "boot": read_boot_line(prefix),
        "boot_before": before.boot,
        "screen_save_active": read_registry(prefix).get(
            "HKEY_CURRENT_USER\\Control Panel\\Desktop", {}).get("ScreenSaveActive"),
        "problems": problems,
    }


def file_changes(windows_dir, before, out):
    """Files added, changed or removed under drive_c/windows, paths as
    "C:\\windows\\..."; added and changed ones copied under OUT/files."""
    after = snapshot(windows_dir)
    changes = []
    for path in sorted(set(before) | set(after)):
        if before.get(path, ())[:2] == after.get(path, ())[:2]:
            continue
        windows_file = os.path.join(windows_dir, path)
        if path in after and before.get(path, (None, None, None))[2] is not None \
                and not os.path.islink(windows_file) and before[path][2] == sha256(windows_file):
            continue  # written again with the same bytes
        windows = "C:\\windows\\" + path.replace("/", "\\")
        if path not in after:
            changes.append({"kind": "removed", "path": windows})
            continue
        source = os.path.join(windows_dir, path)
        if os.path.islink(source):
            continue
        copy = os.path.join(out, "files", path)
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        shutil.copyfile(source, copy)
        changes.append({"kind": "added" if path not in before else "changed", "path": windows,
                        "size": after[path][0], "sha256": sha256(source),
                        "copy": os.path.relpath(copy, out)})
    return changes


def answers_like_preview(saverkit, image):
    """The answers and waiting dialogs of a normal installation of `image`
    in the stand-in, with No for the note of the screen saver it starts."""
    import agreement
    with tempfile.TemporaryDirectory(prefix="saverkit-preview-") as machine:
        with open(os.path.join(machine, "machine.ini"), "w", newline="\r\n") as ini:
            ini.write(agreement.MACHINE_INI)
        done = subprocess.run([saverkit, "preview", image, "--machine", machine],
                              stdout=subprocess.PIPE, text=True)
    preview = agreement.PreviewRun(done.stdout)
    if not preview.transcript:
        raise RunError("saverkit preview %s gave no transcript" % image)
    return preview.answers_with_started_saver(), preview.waiting_dialogs()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    init = commands.add_parser("init", help="make a prepared 32-bit prefix")
    init.add_argument("prefix")
    run = commands.add_parser("run", help="run a program in a fresh copy of a prepared prefix")
    run.add_argument("--template", required=True)
    run.add_argument("--out", required=True)
    run.add_argument("--answer", action="append", default=[])
    run.add_argument("--prompt-dialogs", default=None,
                     help="comma-separated dialog template ids that wait for an answer")
    run.add_argument("--timeout", type=int, default=180)
    run.add_argument("--screen", type=screen_size, default=DEFAULT_SCREEN, metavar="WxH",
                     help="the X screen's size in pixels (default 1024x768)")
    run.add_argument("--windows-path", action="store_true")
    run.add_argument("--keep-prefix")
    run.add_argument("--like-preview", metavar="SAVERKIT",
                     help="answer as `SAVERKIT preview PROGRAM` does on a normal installation")
    run.add_argument("program")
    run.add_argument("args", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    try:
        if options.command == "init":
            init_prefix(options.prefix)
            return 0
        dialogs = None
        if options.like_preview:
            options.answer, dialogs = answers_like_preview(options.like_preview, options.program)
        elif options.prompt_dialogs is not None:
            dialogs = {int(d) for d in options.prompt_dialogs.split(",") if d}
        result = run_program(options.template, options.out, options.program, options.args,
                             options.answer, dialogs, options.timeout, options.windows_path,
                             options.keep_prefix, screen=options.screen)
    except (RunError, OSError, subprocess.SubprocessError) as error:
        print("winerun: %s" % error, file=sys.stderr)
        return 1
    for problem in result["problems"]:
        print("winerun: %s" % problem, file=sys.stderr)
    print("exit %s; %d prompt(s); result in %s" % (result["exit"], len(result["prompts"]),
                                                   os.path.join(options.out, "result.json")))
    return 1 if result["problems"] else 0


if __name__ == "__main__":
    sys.exit(main())
