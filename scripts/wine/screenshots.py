#!/usr/bin/env python3
"""The README's pictures, made under Wine: a normal installation of an
installer image (answered as `saverkit preview` answers it) and the
installed screen saver running full screen, written small into a folder:
confirmation, licence, progress, completion, information, screensaver.png.
With --fit DIR the screen saver is also pictured on X screens of 800x600,
1024x768 and 1920x1080 (DIR/800x600.png, ...), to show that its message
fits each width.

  screenshots.py --template PREFIX --saverkit SAVERKIT [--fit DIR] IMAGE OUT_DIR
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

# The screen sizes (width, height) of --fit.
FIT_SCREENS = [(800, 600), (1024, 768), (1920, 1080)]
# A PNG of a whole screen is shrunk until it is at most this many pixels
# wide, so that it stays small.
SMALL_WIDTH = 560


def picture_saver(template, prefix, work, saver, png_path, screen=winerun.DEFAULT_SCREEN):
    """Runs the installed screen saver `saver` (a Windows path) with /s in
    `prefix`, writes a small picture of its screen to `png_path` and ends it
    with a key; a list of what went wrong."""
    def on_window(display, window, _):
        picture = display.settled_picture(window, limit=4)
        time.sleep(2)
        picture = display.picture(window) or picture
        if picture is not None:
            while picture.width > SMALL_WIDTH:
                picture = picture.half()
            with open(png_path, "wb") as png:
                png.write(picture.coarse().png())
        display.key(window, "space")

    result = winerun.run_program(template, os.path.join(work, "saver-%dx%d" % screen), saver,
                                 args=["/s"], windows_path=True, prefix=prefix,
                                 on_window=on_window, screen=screen)
    if not os.path.exists(png_path):
        return result["problems"] + ["no picture of the screen saver at %dx%d" % screen]
    return result["problems"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--template", required=True)
    parser.add_argument("--saverkit", required=True)
    parser.add_argument("--fit", metavar="DIR",
                        help="also picture the screen saver at each of three screen sizes")
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

        savers = [f["path"] for f in result["files"] if f["path"].lower().endswith(".scr")]
        if not savers:
            print("screenshots: the installation wrote no screen saver (%s)" % result["boot"])
            return 1
        problems = picture_saver(options.template, prefix, work, savers[0],
                                 os.path.join(options.out, "screensaver.png"))
        if options.fit:
            os.makedirs(options.fit, exist_ok=True)
            for screen in FIT_SCREENS:
                problems += picture_saver(options.template, prefix, work, savers[0],
                                          os.path.join(options.fit, "%dx%d.png" % screen), screen)
        if problems:
            print("screenshots: the screen saver run: %s" % "; ".join(problems))
            return 1
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
