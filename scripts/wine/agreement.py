"""What the stand-in said against what Wine did: both runs become the same
kind of event list (prompts with their texts and results, dialog texts,
profile writes, the screen saver switch, program starts), and the files,
registry values and system.ini line are compared by content.

Where Wine differs from Windows in a way the stand-in models differently,
the difference is declared here and nowhere else:
  - Short names: the stand-in hands out NAME~1 names, Wine hashed ones
    (SAVE~DTX.SCR). A path component with "~" is compared as the long name
    it stands for in the folder it names, on each side.
  - Strings over a few hundred characters are cut in Wine's relay trace;
    a cut text is compared as a prefix.
  - Dialog sizes and positions depend on the fonts and are not compared.
  - Wine's own DLLs write registry values while the media check runs
    (the ACM driver cache); only values of keys the installer names are
    compared.
  - The stand-in keeps each account's hive as HKEY_USERS\<account>;
    Wine's user.reg is its one user's, read as HKEY_CURRENT_USER. The
    stand-in's hives are compared as HKEY_CURRENT_USER.
  - The uninstaller's temporary copies: Wine names them from its clock and
    keeps them under its user's folder, the stand-in numbers them from 1
    under the account's AppData Local Temp folder; they and the moves
    left for the next start that name them are not compared, only that
    nothing else is left.
"""

import os
import re

TRUNCATED = "[...]"
# The stand-in machine of a comparison: the same Windows directory as
# Wine's, so that paths agree.
MACHINE_INI = "[Machine]\nWindowsDirectory=C:\\windows\n"
# The installed screen saver, started without arguments after an
# installation, offers to show itself at once: a run under Wine says No.
STARTED_SAVER_ANSWERS = ["no"]

MB_NAMES = {"MB_OK": 0x0, "MB_OKCANCEL": 0x1, "MB_ABORTRETRYIGNORE": 0x2, "MB_YESNOCANCEL": 0x3,
            "MB_YESNO": 0x4, "MB_RETRYCANCEL": 0x5, "MB_ICONHAND": 0x10, "MB_ICONSTOP": 0x10,
            "MB_ICONERROR": 0x10, "MB_ICONQUESTION": 0x20, "MB_ICONEXCLAMATION": 0x30,
            "MB_ICONWARNING": 0x30, "MB_ICONINFORMATION": 0x40, "MB_ICONASTERISK": 0x40,
            "MB_DEFBUTTON2": 0x100, "MB_DEFBUTTON3": 0x200, "MB_SYSTEMMODAL": 0x1000,
            "MB_TASKMODAL": 0x2000, "MB_SETFOREGROUND": 0x10000, "MB_TOPMOST": 0x40000}
RESULTS = {"IDOK": 1, "IDCANCEL": 2, "IDABORT": 3, "IDRETRY": 4, "IDIGNORE": 5, "IDYES": 6,
           "IDNO": 7}
SHOW = {"SW_HIDE": 0, "SW_SHOWNORMAL": 1, "SW_SHOWMINIMIZED": 2, "SW_SHOWMAXIMIZED": 3,
        "SW_SHOWNOACTIVATE": 4, "SW_SHOW": 5, "SW_MINIMIZE": 6, "SW_SHOWMINNOACTIVE": 7,
        "SW_SHOWNA": 8, "SW_RESTORE": 9, "SW_SHOWDEFAULT": 10}
SPI = {"SPI_SETSCREENSAVEACTIVE": 17}


def transcript_text(text):
    """A text as the stand-in's transcript writes it inside quotes."""
    out = []
    for c in text:
        code = ord(c)
        if c == "\r":
            out.append("\\r")
        elif c == "\n":
            out.append("\\n")
        elif c == "\t":
            out.append("\\t")
        elif code < 0x20 or code >= 0x7F:
            out.append("\\x%02X" % code)
        else:
            out.append(c)
    return "".join(out)


def style_value(names):
    value = 0
    for name in names.split("|"):
        value |= int(name, 16) if name.startswith("0x") else MB_NAMES[name]
    return value


def result_value(name):
    return RESULTS.get(name, int(name) if name.lstrip("-").isdigit() else name)


# ------------------------------------------------------------ preview
BOX = re.compile(r'^message box "(.*)" "(.*)" (\S+) -> (\S+) = (\S+)$')
DIALOG_OPEN = re.compile(r'^dialog (\d+) open ')
DIALOG_TEXT = re.compile(r'^dialog (\d+) text "(.*)"$')
DIALOG_ITEM = re.compile(r'^dialog (\d+) item (-?\d+) text "(.*)"$')
DIALOG_WAIT = re.compile(r'^dialog (\d+) wait focus \S+(?: \([^)]*\))? -> (\S+) = ')
DIALOG_END = re.compile(r'^dialog (\d+) end (-?\d+)$')
PROFILE = re.compile(r'^profile (.*) \[(.*)\] (.*) = "(.*)"$')
PROFILE_DELETED = re.compile(r'^profile (.*) \[(.*)\] (.*) deleted$')
CHILD = "child: "
WINEXEC = re.compile(r'^WinExec "(.*)" (SW_\w+) = (\d+)$')
SHELL = re.compile(r'^ShellExecuteA "(.*?)" "(.*?)" .*(SW_\w+) = (-?\d+)$')
SPI_LINE = re.compile(r'^SystemParametersInfoA (SPI_\w+) (\S+) ')
EXIT = re.compile(r'^exit (-?\d+)$')
CHANGE = re.compile(r'^(file|directory|registry|system\.ini) (added|changed|removed) (.*)$')
REGISTRY_CHANGE = re.compile(r'^(.*) "(.*)" = (REG_\w+) (?:"(.*)"|(\S+))$')


def own_line(line):
    """A transcript line without the marks of the processes it came through."""
    while line.startswith(CHILD):
        line = line[len(CHILD):]
    return line


class PreviewRun:
    """The parsed output of `saverkit preview`."""

    def __init__(self, output):
        self.transcript = []
        self.changes = []
        self.removal_changes = []  # with --uninstall: what the uninstallation changed
        section = None
        for line in output.splitlines():
            if line == "Transcript:":
                section = self.transcript
            elif line == "Changes to the machine:":
                section = self.changes
            elif line == "Changes by the uninstallation:":
                section = self.removal_changes
            elif line.startswith("  ") and section is not None and line.strip() != "(none)":
                section.append(line[2:])

    def answers(self):
        """The answers in the order the prompts took them."""
        found = []
        for line in self.transcript:
            box = BOX.match(line)
            wait = DIALOG_WAIT.match(line)
            if box:
                found.append(box.group(4))
            elif wait:
                found.append(wait.group(2))
        return found

    def answers_with_started_saver(self):
        """The answers, and those for the screen saver the run starts."""
        started = any(event[0] == "WinExec" for event in self.events())
        return self.answers() + (STARTED_SAVER_ANSWERS if started else [])

    def waiting_dialogs(self):
        return {int(m.group(1)) for m in map(DIALOG_WAIT.match, self.transcript) if m}

    def exit_code(self):
        for line in self.transcript:
            match = EXIT.match(line)
            if match:
                return int(match.group(1))
        return None

    def loud(self):
        return [line for line in self.transcript if own_line(line).startswith("!! ")]

    def uninstall_lines(self):
        """With --uninstall: the uninstaller's lines, after "uninstall COMMAND"."""
        starts = [i for i, line in enumerate(self.transcript) if line.startswith("uninstall ")]
        return self.transcript[starts[0] + 1:] if starts else []

    def uninstall_exit(self):
        codes = [int(m.group(1)) for m in map(EXIT.match, self.uninstall_lines()) if m]
        return codes[-1] if codes else None

    def events(self, lines=None, generation=0):
        """The events of `lines` (the transcript) of the process `generation`
        steps down from the program ("child: " once per step)."""
        events = []
        mark = CHILD * generation
        own = [line[len(mark):] for line in (self.transcript if lines is None else lines)
               if line.startswith(mark) and not line[len(mark):].startswith(CHILD)]
        for line in own:
            m = BOX.match(line)
            if m:
                events.append(("message box", m.group(1), m.group(2), style_value(m.group(3)),
                               result_value(m.group(5))))
                continue
            m = DIALOG_OPEN.match(line)
            if m:
                events.append(("dialog", int(m.group(1))))
                continue
            m = DIALOG_TEXT.match(line)
            if m:
                events.append(("window text", m.group(2)))
                continue
            m = DIALOG_ITEM.match(line)
            if m:
                events.append(("item text", int(m.group(2)), m.group(3)))
                continue
            m = DIALOG_END.match(line)
            if m:
                events.append(("dialog end", int(m.group(1)), int(m.group(2))))
                continue
            m = PROFILE.match(line)
            if m:
                events.append(("profile", m.group(2).lower(), m.group(3).lower(), m.group(4)))
                continue
            m = PROFILE_DELETED.match(line)
            if m:
                events.append(("profile", m.group(2).lower(), m.group(3).lower(), None))
                continue
            m = WINEXEC.match(line)
            if m:
                events.append(("WinExec", m.group(1), SHOW[m.group(2)]))
                continue
            m = SHELL.match(line)
            if m:
                events.append(("ShellExecuteA", m.group(1), m.group(2), SHOW[m.group(3)]))
                continue
            m = SPI_LINE.match(line)
            if m and m.group(1) in SPI:
                events.append(("SystemParametersInfoA", SPI[m.group(1)], int(m.group(2), 0)))
        return events

    def file_changes(self, changes=None):
        """{Windows path: kind} of the files the run added, changed or removed."""
        files = {}
        for line in self.changes if changes is None else changes:
            m = CHANGE.match(line)
            if m and m.group(1) == "file":
                path = re.sub(r" \d+ bytes$", "", m.group(3))
                files[path] = m.group(2)
        return files

    def registry_changes(self, changes=None):
        """{(key, name): data text or None when removed}."""
        values = {}
        for line in self.changes if changes is None else changes:
            m = CHANGE.match(line)
            if not m or m.group(1) != "registry":
                continue
            value = REGISTRY_CHANGE.match(m.group(3))
            if not value:
                continue
            data = value.group(4) if value.group(4) is not None else value.group(5)
            key = re.sub(r"^hkey_users\\[^\\]+", "hkey_current_user", value.group(1).lower())
            values[(key, value.group(2))] = (
                None if m.group(2) == "removed" else "%s %s" % (value.group(3), data))
        return values

    def system_ini(self):
        for line in self.changes:
            m = CHANGE.match(line)
            if m and m.group(1) == "system.ini":
                return m.group(3)
        return None


# ------------------------------------------------------------ Wine
def wine_events(result, pid):
    """The event list of one process of a Wine run, in call order."""
    calls = [c for c in result["calls"] if c["pid"] == pid]
    events = []
    for call in calls:
        name = call["function"].split(".")[-1]
        args = call["args"]
        if name == "MessageBoxA":
            events.append((call["seq"], ("message box", transcript_text(args[2]),
                                         transcript_text(args[1]), args[3], call["result"])))
        elif name == "DialogBoxParamA":
            events.append((call["seq"], ("dialog", args[1])))
            if call["result"] is not None:
                events.append((call["ret_seq"], ("dialog end", args[1], signed(call["result"]))))
        elif name == "SetWindowTextA":
            events.append((call["seq"], ("window text", transcript_text(args[1]))))
        elif name == "SetDlgItemTextA":
            events.append((call["seq"], ("item text", signed(args[1]), transcript_text(args[2]))))
        elif name == "WritePrivateProfileStringA":
            # A NULL value (not a string) deletes the key.
            value = transcript_text(args[2]) if isinstance(args[2], str) else None
            events.append((call["seq"], ("profile", args[0].lower(), args[1].lower(), value)))
        elif name == "WinExec":
            events.append((call["seq"], ("WinExec", transcript_text(args[0]), args[1])))
        elif name == "ShellExecuteA":
            events.append((call["seq"], ("ShellExecuteA", transcript_text(args[1]),
                                         transcript_text(args[2]), args[5])))
        elif name == "SystemParametersInfoA" and args[0] in SPI.values():
            events.append((call["seq"], ("SystemParametersInfoA", args[0], args[1])))
    return [event for _, event in sorted(events, key=lambda e: e[0])]


def signed(value):
    return value - (1 << 32) if value >= 1 << 31 else value


# ------------------------------------------------------------ short names
def long_path(path, drive_c):
    """`path` ("C:\\...") with each short component ("SAVE~DTX.SCR",
    "SAVERK~1.SCR") replaced by the long name it stands for in the folder
    `drive_c` holds; other components as they are."""
    parts = path.replace("/", "\\").split("\\")
    if not parts or parts[0].upper() != "C:":
        return path
    folder = drive_c
    resolved = ["C:"]
    for part in parts[1:]:
        name = part
        try:
            entries = os.listdir(folder)
        except OSError:
            entries = []
        exact = [e for e in entries if e.lower() == part.lower()]
        if exact:
            name = exact[0]
        elif "~" in part:
            stem, _, extension = part.partition(".")
            lead = stem.split("~")[0].upper()
            matches = [e for e in entries
                       if os.path.splitext(e)[1][1:].upper() == extension.upper()
                       and re.sub(r"[^A-Z0-9]", "", e.upper()).startswith(lead)]
            if len(matches) == 1:
                name = matches[0]
        resolved.append(name)
        folder = os.path.join(folder, name)
    return "\\".join(resolved)


def registry_text(data):
    """Registry data of a Wine run ("REG_SZ text") written as the stand-in
    writes it (the text as in its transcript)."""
    for kind in ("REG_SZ ", "REG_EXPAND_SZ "):
        if data is not None and data.startswith(kind):
            return kind + transcript_text(data[len(kind):])
    return data


def same_text(preview, wine):
    if wine.endswith(TRUNCATED):
        return preview.startswith(wine[:-len(TRUNCATED)])
    return preview == wine


def same_event(preview, wine, preview_c, wine_c):
    if preview[0] != wine[0] or len(preview) != len(wine):
        return False
    for mine, theirs in zip(preview[1:], wine[1:]):
        if isinstance(mine, str) and isinstance(theirs, str):
            if "~" in mine or "~" in theirs:
                mine, theirs = long_path(mine, preview_c).lower(), long_path(theirs, wine_c).lower()
            if not same_text(mine, theirs):
                return False
        elif mine != theirs:
            return False
    return True


def compare_events(preview, wine, preview_c, wine_c):
    """Lines describing every difference of two event lists (empty: they agree)."""
    problems = []
    for index in range(max(len(preview), len(wine))):
        mine = preview[index] if index < len(preview) else None
        theirs = wine[index] if index < len(wine) else None
        if mine is None or theirs is None or not same_event(mine, theirs, preview_c, wine_c):
            problems.append("event %d: stand-in %r, Wine %r" % (index + 1, mine, theirs))
            break  # the rest follows from the first difference
    return problems
