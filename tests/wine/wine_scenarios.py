#!/usr/bin/env python3
"""End-to-end runs of the real Windows programs under Wine, each compared
with what the stand-in (`saverkit preview`) says about the same image and
answers. One scenario a call:

  wine_scenarios.py SCENARIO --source S --host-build H --win32-build W --work DIR

Scenarios: install (then uninstall), cancel, decline, codecs-cancel,
codecs-ok, twice, saver, tool, signed (a signed demo image), silent (/S
/LOG, then the registered QuietUninstallString). Exit 0 when Wine agrees, 1 with the
differences, 77 (skipped) only with SAVERKIT_SKIP_WINE=1.
"""

import argparse
import filecmp
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "scripts", "wine"))
import agreement  # noqa: E402
import winerun  # noqa: E402

SKIPPED = 77
# A media type neither the stand-in's nor Wine's MCI can open.
UNPLAYABLE_MEDIA = "tune.xyz"
# format::ExitCode: an installation stopped by the user's answer.
EXIT_CANCELLED = 2
SILENT_LOG = "C:\\setup.log"
SILENT_SWITCHES = ["/S", "/LOG=" + SILENT_LOG]
UNINSTALL_KEY = "hkey_local_machine\\software\\microsoft\\windows\\currentversion\\uninstall"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Scenario:
    def __init__(self, options):
        self.options = options
        self.work = os.path.abspath(options.work)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.saverkit = os.path.join(options.host_build, "saverkit")
        self.template = os.path.abspath(options.template)

    # -------------------------------------------------------------- images
    def pack(self, name, extra=()):
        image = os.path.join(self.work, name, "SaverkitDemoSetup.exe")
        os.makedirs(os.path.dirname(image), exist_ok=True)
        subprocess.run([os.path.join(SOURCE, "scripts", "pack-demo.sh"), self.options.host_build,
                        self.options.win32_build, image] + list(extra),
                       check=True, stdout=subprocess.DEVNULL)
        return image

    def codecs_image(self):
        media = os.path.join(self.work, UNPLAYABLE_MEDIA)
        with open(media, "wb") as out:
            out.write(b"no media format this is\r\n" * 40)
        return self.pack("codecs", ["--media", media])

    # -------------------------------------------------------------- runs
    def preview(self, image, machine, answers=(), switches=(), uninstall=False):
        if not os.path.exists(machine):
            os.makedirs(machine)
            with open(os.path.join(machine, "machine.ini"), "w", newline="\r\n") as ini:
                ini.write(agreement.MACHINE_INI)
        command = [self.saverkit, "preview", image, "--machine", machine] + (["--uninstall"] if uninstall else [])
        for answer in answers:
            command += ["--answer", answer]
        if switches:
            command += ["--"] + list(switches)
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        run = agreement.PreviewRun(done.stdout)
        check(run.transcript, "saverkit preview gave no transcript: %s" % done.stderr.strip())
        return run

    def wine(self, image, out, preview, prefix=None, keep_prefix=None, switches=()):
        result = winerun.run_program(self.template, out, image, args=switches,
                                     answers=preview.answers_with_started_saver(),
                                     prompt_dialogs=preview.waiting_dialogs(), prefix=prefix,
                                     keep_prefix=keep_prefix)
        check(not result["problems"], "Wine run: " + "; ".join(result["problems"]))
        return result

    # -------------------------------------------------------------- agreement
    def agree(self, preview, result, machine, wine_out, prefix_c, outside=()):
        """Raises Failure listing each difference between a preview and a
        Wine run of the same image and answers."""
        problems = []
        check(not preview.loud(), "the stand-in run has loud lines: %s" % preview.loud())
        if result["exit"] != preview.exit_code():
            problems.append("exit code: stand-in %s, Wine %s" % (preview.exit_code(), result["exit"]))
        # Wine's own processes may make traced calls before the installer.
        installer = result["program_pid"]
        check(installer is not None, "the Wine trace does not show the installer start")
        preview_c = os.path.join(machine, "drive_c")
        problems += agreement.compare_events(preview.events(), agreement.wine_events(result, installer),
                                             preview_c, prefix_c)
        problems += self.agree_files(preview, result, preview_c, wine_out, outside)
        problems += self.agree_registry(preview, result, preview_c, prefix_c)
        problems += self.agree_system_ini(preview, result, preview_c, prefix_c)
        started = [p for p in result["prompts"] if p["pid"] != installer]
        if any(e[0] == "WinExec" for e in preview.events()):
            if not started:
                problems.append("the installed screen saver did not show its note under Wine")
        elif started:
            problems.append("Wine started a program the stand-in did not: %s" % started)
        check(not problems, "\n".join(problems))

    @staticmethod
    def agree_files(preview, result, preview_c, wine_out, outside=()):
        """Files under the Windows directory (Wine's run sees no other);
        `outside`: the files the stand-in may write elsewhere, which the
        caller compares itself."""
        problems = []
        expected = {p.lower(): p for p in preview.file_changes() if not p.lower().endswith("system.ini")}
        for path in outside:
            expected.pop(path.lower(), None)
        found = {f["path"].lower(): f for f in result["files"]
                 if not f["path"].lower().endswith("system.ini")}
        for path in sorted(set(expected) | set(found)):
            if path not in found:
                problems.append("file %s: written in the stand-in, not under Wine" % expected[path])
            elif path not in expected:
                problems.append("file %s: written under Wine, not in the stand-in" % found[path]["path"])
            elif found[path]["kind"] == "removed":
                problems.append("file %s: removed under Wine" % found[path]["path"])
            else:
                mine = agreement.long_path(expected[path], preview_c)
                host = os.path.join(preview_c, *mine.split("\\")[1:])
                theirs = os.path.join(wine_out, found[path]["copy"])
                if not filecmp.cmp(host, theirs, shallow=False):
                    problems.append("file %s: different bytes" % expected[path])
        return problems

    @staticmethod
    def agree_registry(preview, result, preview_c, prefix_c):
        problems = []
        expected = preview.registry_changes()
        found = {(c["key"].lower(), c["name"]): agreement.registry_text(c["data"])
                 for c in result["registry"]}
        keys = {key for key, _ in expected}
        for (key, name), data in sorted(expected.items()):
            theirs = found.get((key, name), "(absent)")
            if data is None or theirs is None:
                same = data is theirs
            else:
                kind, _, text = data.partition(" ")
                their_kind, _, their_text = theirs.partition(" ")
                same = kind == their_kind and agreement.same_event(
                    ("value", text), ("value", their_text), preview_c, prefix_c)
            if not same:
                problems.append("registry %s \"%s\": stand-in %s, Wine %s" %
                                (key, name, data, found.get((key, name), "(unchanged)")))
        for (key, name), data in sorted(found.items()):
            if (key in keys or key.startswith(UNINSTALL_KEY)) and (key, name) not in expected:
                problems.append("registry %s \"%s\" = %s under Wine only" % (key, name, data))
        return problems

    @staticmethod
    def agree_system_ini(preview, result, preview_c, prefix_c):
        line = preview.system_ini()
        mine = None
        if line and line.startswith("[boot] SCRNSAVE.EXE = "):
            mine = line[len("[boot] SCRNSAVE.EXE = "):]
        theirs = result["boot"].split("=", 1)[1] if result["boot"] else None
        if mine is None and result["boot"] == result["boot_before"]:
            return []  # unchanged in both
        if (mine is None) != (theirs is None) or (mine is not None and
                agreement.long_path(mine, preview_c).lower() != agreement.long_path(theirs, prefix_c).lower()):
            return ["system.ini [boot] SCRNSAVE.EXE: stand-in %s, Wine %s" % (mine, theirs)]
        return []

    # -------------------------------------------------------------- scenarios
    def installation(self, name, image, answers=(), prefix=None, machine=None, keep=True,
                     switches=(), outside=()):
        """One installation in both worlds; returns (preview, result, prefix)."""
        machine = machine or os.path.join(self.work, name, "machine")
        preview = self.preview(image, machine, answers, switches)
        out = os.path.join(self.work, name, "wine")
        kept = os.path.join(self.work, name, "prefix") if keep else None
        result = self.wine(image, out, preview, prefix=prefix, keep_prefix=kept, switches=switches)
        prefix_c = os.path.join(kept or prefix, "drive_c")
        self.agree(preview, result, machine, out, prefix_c, outside)
        return preview, result, kept

    def run_install(self):
        image = self.pack("image")
        _, result, prefix = self.installation("install", image)
        check(result["screen_save_active"] == "REG_SZ 1", "ScreenSaveActive not switched on")
        self.run_uninstall(prefix)

    @staticmethod
    def uninstall_entry(prefix, name):
        """A value of the installation's uninstall key in the prefix."""
        uninstall = [v for k, v in winerun.read_registry(prefix).items()
                     if k.lower().startswith(UNINSTALL_KEY + "\\saverkit")]
        check(uninstall and name in uninstall[0], "no %s under Wine" % name)
        return uninstall[0][name].split(" ", 1)[1]

    def run_uninstall(self, prefix):
        """The uninstaller, started from the raw UninstallString as Windows
        does, leaves drive_c and the registry as they were before the
        installation, but for what it must leave."""
        command = self.uninstall_entry(prefix, "UninstallString")
        out = os.path.join(self.work, "uninstall", "wine")
        result = winerun.run_program(self.template, out, command, answers=["yes", "ok"],
                                     windows_path=True, prefix=prefix)
        check(not result["problems"], "uninstaller run: " + "; ".join(result["problems"]))
        check(result["exit"] == 0, "uninstaller exit code %s" % result["exit"])
        self.check_removed(prefix)

    def check_removed(self, prefix, kept=()):
        """drive_c and the registry are as before the installation, but for
        what an uninstallation leaves and the drive_c paths in `kept`."""
        before = listing(os.path.join(self.template, "drive_c"))
        after = listing(os.path.join(prefix, "drive_c"))
        problems = []
        for path in sorted(set(before) | set(after)):
            if before.get(path) == after.get(path) or leftover_after_uninstall(path) or path in kept:
                continue
            problems.append("drive_c %s: before %s, after %s" % (path, before.get(path), after.get(path)))
        registry_before = winerun.read_registry(self.template)
        for change in winerun.registry_changes(registry_before, winerun.read_registry(prefix)):
            key = change["key"].lower()
            if "\\uninstall" in key or key.endswith("control panel\\desktop"):
                if change["name"] == "ScreenSaveActive" and change["data"] == "REG_SZ 0":
                    continue  # switched off again
                problems.append("registry after uninstallation: %s" % change)
        check(winerun.read_boot_line(prefix) is None, "system.ini still names a screen saver")
        check(not problems, "\n".join(problems))

    def run_signed(self):
        """The demo image signed with a throwaway certificate installs under
        Wine as the stand-in says, and the stand-in installs it as it
        installs the unsigned image."""
        keys = os.path.join(self.work, "keys")
        os.makedirs(keys)
        key, cert, pfx = (os.path.join(keys, n) for n in ("key.pem", "cert.pem", "signer.pfx"))
        quiet = {"check": True, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Saverkit Wine test signer", "-keyout", key, "-out", cert], **quiet)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                        "-passout", "pass:"], **quiet)
        image = self.pack("signed", ["--sign", pfx])
        subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", image], **quiet)
        listed = json.loads(subprocess.run([self.saverkit, "list", "--json", image], check=True,
                                           stdout=subprocess.PIPE).stdout)
        check(listed["signed"] is True, "saverkit list does not see the signature")
        uninstallers = [e for e in listed["entries"] if e["role"] == "uninstaller"]
        check(uninstallers and uninstallers[0].get("signed") is True,
              "saverkit list does not see the signature of the UNINSTAL.EXE inside")
        # The signed image installs as the unsigned one does, but for the
        # sizes its signed uninstaller changes (that file, the total the
        # confirmation names, EstimatedSize).
        plain = self.preview(self.pack("image"), os.path.join(self.work, "plain-machine"))
        preview, result, prefix = self.installation("signed", image)
        def sizes_masked(lines):
            return [re.sub(r"[0-9][0-9,]* bytes|0x[0-9a-f]{8}", "SIZE", line) for line in lines]
        check(sizes_masked(preview.transcript) == sizes_masked(plain.transcript) and
              sizes_masked(preview.changes) == sizes_masked(plain.changes),
              "the stand-in installs the signed image differently from the unsigned one")
        check(result["screen_save_active"] == "REG_SZ 1", "ScreenSaveActive not switched on")
        # The uninstaller Wine installed is the signed one, and verifies.
        installed = [os.path.join(root, name) for root, _, names in os.walk(os.path.join(prefix, "drive_c"))
                     for name in names if name.upper() == "UNINSTAL.EXE"]
        check(len(installed) == 1, "UNINSTAL.EXE not installed once under Wine: %s" % installed)
        subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", installed[0]], **quiet)

    def run_stopped(self, name, answers):
        """An installation stopped at a question agrees too, ends with the
        code of a cancelled run in both worlds and writes nothing."""
        preview, result, _ = self.installation(name, self.pack("image"), answers)
        check(preview.exit_code() == EXIT_CANCELLED,
              "the stand-in's stopped run ends with %s" % preview.exit_code())
        check(result["exit"] == EXIT_CANCELLED, "Wine's stopped run ends with %s" % result["exit"])
        check(not preview.changes, "the stand-in's stopped run wrote: %s" % preview.changes)
        check(not result["files"], "Wine's stopped run wrote: %s" % result["files"])
        written = [c for c in result["registry"] if c["key"].lower().startswith(UNINSTALL_KEY)
                   or c["key"].lower().endswith("control panel\\desktop")]
        check(not written and result["boot"] == result["boot_before"],
              "Wine's stopped run wrote: %s %s" % (written, result["boot"]))

    def run_silent(self):
        """/S /LOG: no window, no answer, exit 0 with everything in place as
        the stand-in says, the same log in both worlds; then the registered
        QuietUninstallString removes it all without a window either."""
        log_name = SILENT_LOG.split("\\", 1)[1]
        preview, result, prefix = self.installation(
            "silent", self.pack("image"), switches=SILENT_SWITCHES, outside=[SILENT_LOG])
        check(preview.exit_code() == 0 and result["exit"] == 0,
              "silent exit codes: stand-in %s, Wine %s" % (preview.exit_code(), result["exit"]))
        check(not shown(result), "the silent run showed windows: %s" % shown(result))
        check(preview.answers() == [], "the stand-in's silent run asked: %s" % preview.answers())
        check(result["screen_save_active"] == "REG_SZ 1", "ScreenSaveActive not switched on")
        machine_c = os.path.join(self.work, "silent", "machine", "drive_c")
        prefix_c = os.path.join(prefix, "drive_c")
        mine = log_lines(os.path.join(machine_c, log_name), machine_c)
        theirs = log_lines(os.path.join(prefix_c, log_name), prefix_c)
        check(mine == theirs, "the logs differ:\n%s" % "\n".join(
            "%s | %s" % pair for pair in zip(mine + [""] * len(theirs), theirs + [""] * len(mine))
            if pair[0] != pair[1]))
        for wanted in (("switches " + " ".join(SILENT_SWITCHES)).lower(), "file c:\\windows\\",
                       '"installdate" = reg_sz "20', '"quietuninstallstring" = reg_sz ""c:\\',
                       "system.ini [boot] scrnsave.exe = c:\\windows\\saverkit aurora.scr"):
            check(any(wanted in line for line in theirs), "the log has no line with %r" % wanted)
        check(theirs and theirs[-1] == "exit code 0", "the log does not end with exit code 0")

        quiet = self.uninstall_entry(prefix, "QuietUninstallString")
        program, switches = re.fullmatch(r'"([^"]+)"\s+(.*)', quiet).groups()
        out = os.path.join(self.work, "quiet-uninstall", "wine")
        done = winerun.run_program(self.template, out, program, args=switches.split(),
                                   windows_path=True, prefix=prefix)
        check(not done["problems"], "quiet uninstaller run: " + "; ".join(done["problems"]))
        check(done["exit"] == 0, "quiet uninstaller exit code %s" % done["exit"])
        check(not shown(done), "the quiet uninstaller showed windows: %s" % shown(done))
        # The log the user asked for is the user's file, not the installation's.
        self.check_removed(prefix, kept=[log_name])
        self.agree_uninstall(self.pack("image"), done, prefix_c)

    def agree_uninstall(self, image, done, prefix_c):
        """The stand-in's silent installation and uninstallation
        (`preview --uninstall -- /S ...`) against Wine's quiet uninstall:
        the exit code, the calls of the uninstaller and of the copy of
        itself that does the work, and the files and values removed."""
        machine = os.path.join(self.work, "silent", "uninstall-machine")
        both = self.preview(image, machine, switches=SILENT_SWITCHES, uninstall=True)
        check(not both.loud(), "the stand-in's uninstallation has loud lines: %s" % both.loud())
        problems = []
        if both.uninstall_exit() != done["exit"]:
            problems.append("uninstaller exit code: stand-in %s, Wine %s" % (both.uninstall_exit(), done["exit"]))
        preview_c = os.path.join(machine, "drive_c")
        launcher = done["program_pid"]
        copies = {c["pid"] for c in done["calls"]
                  if c["pid"] != launcher and c["function"].endswith("RegDeleteKeyA")}
        check(launcher is not None and len(copies) == 1,
              "the Wine trace does not show the uninstaller and its one copy: %s %s" % (launcher, copies))
        lines = both.uninstall_lines()
        for generation, pid in ((0, launcher), (1, copies.pop())):
            problems += ["%s: %s" % ("uninstaller" if generation == 0 else "its copy", problem)
                         for problem in agreement.compare_events(both.events(lines, generation),
                                                                 agreement.wine_events(done, pid),
                                                                 preview_c, prefix_c)]
        # What was removed under the Windows directory, and nothing written there.
        mine = {p.lower(): kind for p, kind in both.file_changes(both.removal_changes).items()
                if p.lower().startswith("c:\\windows\\") and not p.lower().endswith("system.ini")}
        theirs = {f["path"].lower(): f["kind"] for f in done["files"]
                  if not f["path"].lower().endswith("system.ini")}
        if mine != theirs:
            problems.append("files: stand-in %s, Wine %s" % (sorted(mine.items()), sorted(theirs.items())))
        # The values removed from the installation's keys.
        removed = {(k, n.lower()) for (k, n), data in both.registry_changes(both.removal_changes).items()
                   if data is None and ("\\uninstall\\" in k or k.endswith("control panel\\desktop"))}
        gone = {(c["key"].lower(), c["name"].lower()) for c in done["registry"] if c.get("data") is None}
        if not removed <= gone:
            problems.append("registry values removed in the stand-in, not under Wine: %s" % sorted(removed - gone))
        check(not problems, "\n".join(problems))

    def run_codecs(self, answer):
        image = self.codecs_image()
        preview = self.preview(image, os.path.join(self.work, "probe"), [])
        answers = [a if i != 2 else answer for i, a in enumerate(preview.answers())]
        _, result, _ = self.installation("codecs", image, answers)
        check(result["screen_save_active"] is None, "ScreenSaveActive set although a type cannot play")
        check(result["boot"] is None, "system.ini names the screen saver although a type cannot play")

    def run_twice(self):
        image = self.pack("image")
        machine = os.path.join(self.work, "twice", "machine")
        _, _, prefix = self.installation("first", image, machine=machine)
        preview, result, _ = self.installation("twice", image, prefix=prefix, machine=machine)
        first = result["prompts"][0] if result["prompts"] else {}
        check(first.get("kind") == "message box" and "replace" in first.get("text", "").lower()
              and first.get("result") == 6, "the second installation asked no replace question")
        log = [f for f in result["files"] if f["path"].endswith("INSTALL.LOG")]
        check(log, "INSTALL.LOG unchanged by the second installation")
        with open(os.path.join(self.work, "twice", "wine", log[0]["copy"]), "rb") as data:
            lines = data.read().split(b"\r\n")
        check(len(lines) - 1 == 2 * len(set(lines) - {b""}), "INSTALL.LOG not doubled: %r" % lines)

    def run_saver(self):
        """The screen saver: /s draws a moving picture and ends on a key;
        /c shows its settings note."""
        image = self.pack("image")
        _, _, prefix = self.installation("install", image)
        saver = "C:\\windows\\Saverkit Aurora.scr"
        pictures = []

        def watch(display, window, name):
            if pictures:
                return
            first = display.settled_picture(window, limit=4)
            time.sleep(3)
            second = display.picture(window)
            pictures.extend([first, second])
            for index, picture in enumerate(pictures):
                if picture is not None:
                    with open(os.path.join(self.work, "saver-%d.png" % (index + 1)), "wb") as png:
                        png.write(picture.png())
            display.key(window, "space")

        out = os.path.join(self.work, "saver", "wine")
        result = winerun.run_program(self.template, out, saver, args=["/s"], windows_path=True,
                                     prefix=prefix, on_window=watch, timeout=120)
        check(not result["problems"], "/s run: " + "; ".join(result["problems"]))
        check(len(pictures) == 2 and None not in pictures, "/s showed no window")
        check(pictures[0].bright_fraction() > 0.05, "/s draws a black screen")
        check(pictures[0].differing_pixels(pictures[1]) > 100, "/s draws the same picture twice")
        check(result["exit"] == 0, "/s ended with %s after a key" % result["exit"])
        out = os.path.join(self.work, "config", "wine")
        result = winerun.run_program(self.template, out, saver, args=["/c"], windows_path=True,
                                     prefix=prefix, answers=["ok"], timeout=120)
        check(not result["problems"], "/c run: " + "; ".join(result["problems"]))
        notes = [p for p in result["prompts"] if p["kind"] == "message box"]
        check(notes and notes[0]["caption"].endswith("Settings") and ".DAT" in notes[0]["text"],
              "/c showed no settings note naming the data file: %s" % notes)

    def run_tool(self):
        """saverkit.exe under Wine against the Linux tool: list --json, test,
        extract (byte-identical files), pack (a byte-identical image) and
        diff."""
        image = self.pack("image")
        prefix = os.path.join(self.work, "tool", "prefix")
        os.makedirs(os.path.dirname(prefix))
        winerun.copy_prefix(self.template, prefix)
        drive_c = os.path.join(prefix, "drive_c")
        exe = os.path.join(drive_c, "saverkit.exe")
        shutil.copy(os.path.join(self.options.win32_build, "saverkit.exe"), exe)
        shutil.copy(image, os.path.join(drive_c, "setup.exe"))
        env = winerun.wine_env(prefix)

        def under_wine(args):
            return subprocess.run([winerun.WINE, "C:\\saverkit.exe"] + args, cwd=drive_c, env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)

        def both(command, args, wine_args):
            """Runs a command on Linux and under Wine; both must succeed."""
            linux = subprocess.run([self.saverkit] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            wine = under_wine(wine_args)
            check(wine.returncode == linux.returncode == 0, "%s exit codes %s/%s: %s" %
                  (command, linux.returncode, wine.returncode, wine.stderr[-300:]))
            return linux, wine

        try:
            linux, wine = both("list --json", ["list", "--json", image], ["list", "--json", "setup.exe"])
            check(json.loads(linux.stdout) == json.loads(wine.stdout),
                  "list --json differs:\n%s\n%s" % (linux.stdout, wine.stdout))
            linux, wine = both("test", ["test", image], ["test", "setup.exe"])
            check(normalise_lines(linux.stdout, image) == normalise_lines(wine.stdout, "setup.exe"),
                  "test output differs:\n%s\n%s" % (linux.stdout, wine.stdout))
            out_linux = os.path.join(self.work, "tool", "linux-out")
            both("extract", ["extract", image, "-d", out_linux], ["extract", "setup.exe", "-d", "out"])
            check(tree_digest(out_linux) == tree_digest(os.path.join(drive_c, "out")),
                  "extract wrote different files")
            inputs = os.path.join(drive_c, "in")
            os.makedirs(inputs)
            files = os.path.join(self.options.host_build, "demo-files")
            title = "Saverkit Aurora"
            sources = {"saver.scr": os.path.join(self.options.win32_build, title + ".scr"),
                       "aurora.dat": os.path.join(files, "aurora.dat"),
                       "UNINSTAL.EXE": os.path.join(self.options.win32_build, "UNINSTAL.EXE"),
                       "chime.wav": os.path.join(files, "chime.wav"),
                       "installer.exe": os.path.join(self.options.win32_build, "installer.exe")}
            for name, source in sources.items():
                shutil.copy(source, os.path.join(inputs, name))

            def pack_args(folder, out, programs=True):
                args = ["pack", "-o", out, "--title", title, "--saver", folder + "/saver.scr",
                        "--data", folder + "/aurora.dat", "--media", folder + "/chime.wav"]
                if programs:
                    args += ["--stub", folder + "/installer.exe", "--uninstaller", folder + "/UNINSTAL.EXE"]
                return args

            linux_image = os.path.join(self.work, "tool", "linux.exe")
            both("pack", pack_args(inputs, linux_image), pack_args("in", "wine.exe"))
            check(filecmp.cmp(linux_image, os.path.join(drive_c, "wine.exe"), shallow=False),
                  "pack under Wine wrote a different image")
            # diff reads its two images on two threads (CreateThread on
            # Windows): the same report and status as on Linux.
            linux = subprocess.run([self.saverkit, "diff", image, linux_image], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
            wine = under_wine(["diff", "setup.exe", "wine.exe"])
            check(linux.returncode == wine.returncode and linux.returncode in (0, 1),
                  "diff exit codes %s/%s: %s" % (linux.returncode, wine.returncode, wine.stderr[-300:]))
            check(normalise_lines(linux.stdout, image).replace(linux_image, "B") ==
                  normalise_lines(wine.stdout, "setup.exe").replace("wine.exe", "B"),
                  "diff output differs:\n%s\n%s" % (linux.stdout, wine.stdout))
            # Without --stub and --uninstaller the Windows tool takes the ones
            # beside its own file, which it asks the C runtime for.
            for name in ("installer.exe", "UNINSTAL.EXE"):
                shutil.copy(sources[name], os.path.join(drive_c, name))
            wine = under_wine(pack_args("in", "beside.exe", False))
            check(wine.returncode == 0, "pack with the stub beside saverkit.exe: exit code %s: %s" %
                  (wine.returncode, wine.stderr[-300:]))
            check(filecmp.cmp(linux_image, os.path.join(drive_c, "beside.exe"), shallow=False),
                  "pack with the stub beside saverkit.exe wrote a different image")
        finally:
            winerun.kill_wineserver(prefix)


def normalise_lines(output, image):
    return output.decode("latin-1").replace("\r\n", "\n").replace(image, "IMAGE")


def tree_digest(root):
    digest = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as data:
                digest[os.path.relpath(path, root)] = hashlib.sha256(data.read()).hexdigest()
    return digest


def shown(result):
    """What a Wine run showed: the windows seen on the display, and every
    message box and dialog called, even one gone before it was seen."""
    return result["windows"] + [c["function"] for c in result["calls"]
                                if c["function"].endswith(("MessageBoxA", "DialogBoxParamA"))]


def log_lines(path, drive_c):
    """The lines of a /LOG file, lower case, each short path as the long
    one it stands for (Wine and the stand-in hand out different short
    names); [] when there is none."""
    try:
        with open(path, "rb") as log:
            text = log.read().decode("latin-1")
    except OSError:
        return []
    check(text.endswith("\r\n"), "%s does not end its last line with CR LF" % path)
    return [re.sub(r"[A-Za-z]:\\[^\"]*~[^\" ]*", lambda m: agreement.long_path(m.group(0), drive_c),
                   line).lower() for line in text[:-2].split("\r\n")]


def listing(root):
    """{relative path: size or "dir"} of everything under root."""
    found = {}
    for folder, folders, names in os.walk(root):
        for name in folders:
            found[os.path.relpath(os.path.join(folder, name), root)] = "dir"
        for name in names:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = os.lstat(path).st_size
    return found


def leftover_after_uninstall(path):
    """What an uninstallation leaves by design: the installer image the run
    put on C:, system.ini (its [boot] key is checked apart), the temporary
    copy of the uninstaller that Windows deletes at the next start, and
    Wine's own temporary files."""
    lower = path.lower()
    return (lower == "setupdemo" or lower.endswith("saverkitdemosetup.exe") or
            lower == "windows/system.ini" or "/temp/" in lower or lower.endswith("/temp") or
            lower.startswith("users/"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=["install", "cancel", "decline", "codecs-cancel",
                                             "codecs-ok", "twice", "saver", "tool", "signed",
                                             "silent"])
    parser.add_argument("--host-build", required=True)
    parser.add_argument("--win32-build", required=True)
    parser.add_argument("--template", required=True)
    parser.add_argument("--work", required=True)
    options = parser.parse_args()
    if os.environ.get("SAVERKIT_SKIP_WINE") == "1":
        print("skipped: SAVERKIT_SKIP_WINE=1")
        return SKIPPED
    if not os.path.isfile(os.path.join(options.template, ".saverkit-ready")):
        print("Wine is not set up: no prepared prefix at %s (run scripts/wine/setup.sh)" % options.template)
        return 1
    try:
        subprocess.run([winerun.WINE, "--version"], check=True, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except (OSError, subprocess.SubprocessError):
        print("Wine is not set up: %s --version does not run (run scripts/wine/setup.sh)" % winerun.WINE)
        return 1
    scenario = Scenario(options)
    runs = {"install": scenario.run_install,
            "cancel": lambda: scenario.run_stopped("cancel", ["cancel"]),
            "decline": lambda: scenario.run_stopped("decline", ["ok", "decline"]), "codecs-cancel": lambda: scenario.run_codecs("cancel"),
            "codecs-ok": lambda: scenario.run_codecs("ok"), "twice": scenario.run_twice,
            "saver": scenario.run_saver, "tool": scenario.run_tool,
            "signed": scenario.run_signed, "silent": scenario.run_silent}
    try:
        runs[options.scenario]()
    except (Failure, winerun.RunError, subprocess.CalledProcessError) as error:
        print("wine %s: %s (runs in %s)" % (options.scenario, error, options.work))
        return 1
    print("wine %s: passed" % options.scenario)
    return 0


if __name__ == "__main__":
    sys.exit(main())
