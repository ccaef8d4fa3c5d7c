#!/usr/bin/env python3
"""The README's pictures, made under Wine: a normal installation of an
installer image (answered as `saverkit preview` answers it) and the
installed screen saver running full screen, written small into a folder:
confirmation, licence, progress, completion, information, screensaver.png.

  screenshots.py --template PREFIX --saverkit SAVERKIT IMAGE OUT_DIR
"""

import argparse
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winerun  # noqa: E402

# The windows of a normal installation, in the order they are shown.
INSTALLATION_WINDOWS = ["confirmation", "licence", "progress", "completion", "information"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--template", required=True)
    parser.add_argument("--saverkit", required=True)
    parser.add_argument("image")
    parser.add_argument("out")
    options = parser.parse_args()
    os.makedirs(options.out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="saverkit-screenshots-")
    try:
        answers, dialogs = winerun.answers_like_preview(options.saverkit, options.image)
        prefix = os.path.join(work, "prefix")
        run = os.path.join(work, "install")
        result = winerun.run_program(options.template, run, options.image, answers=answers,
                                     prompt_dialogs=dialogs, keep_prefix=prefix)
        installer = [p for p in result["prompts"] if p["pid"] == result["prompts"][0]["pid"]]
        if result["problems"] or len(installer) != len(INSTALLATION_WINDOWS):
            print("screenshots: the installation did not show the %d windows expected (%s)" %
                  (len(INSTALLATION_WINDOWS), "; ".join(result["problems"]) or len(installer)))
            return 1
        for name, prompt in zip(INSTALLATION_WINDOWS, installer):
            shutil.copy(os.path.join(run, prompt["picture"]), os.path.join(options.out, name + ".png"))

        def picture_saver(display, window, _):
            picture = display.settled_picture(window, limit=4)
            time.sleep(2)
            picture = display.picture(window) or picture
            if picture is not None:
                with open(os.path.join(options.out, "screensaver.png"), "wb") as png:
                    png.write(picture.half().coarse().png())
            display.key(window, "space")

        title = os.path.splitext(os.path.basename(result["boot"] or ""))[0]
        savers = [f["path"] for f in result["files"] if f["path"].lower().endswith(".scr")]
        if not savers:
            print("screenshots: the installation wrote no screen saver (%s)" % title)
            return 1
        result = winerun.run_program(options.template, os.path.join(work, "saver"), savers[0],
                                     args=["/s"], windows_path=True, prefix=prefix,
                                     on_window=picture_saver)
        if result["problems"]:
            print("screenshots: the screen saver run: %s" % "; ".join(result["problems"]))
            return 1
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
