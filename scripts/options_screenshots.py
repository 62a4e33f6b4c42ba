#!/usr/bin/env python3
"""Takes the pictures of the options window's four tabs in docs/screenshots/, in English and German,
from the real desktop program on a virtual display (the same throw-away desktop the desktop test
starts). Look at every picture before committing it.

Usage: scripts/options_screenshots.py [--bin build/bin] [--out docs/screenshots]"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import desktop_test as e2e  # noqa: E402

# The keys that open the Tools menu, whose first item is Options, per language. In German the events
# panel's caption shares the menu's letter, so the second press reaches the menu.
TOOLS_MENU = {"en": ["alt+t"], "de": ["alt+e", "alt+e"]}
TABS = ("general", "logging", "backup", "exclusions")


def shoot(desktop, path):
    window = desktop.run(["xdotool", "getactivewindow"]).stdout.strip()
    time.sleep(0.4)
    desktop.run(["import", "-window", window, path])


def series(bin_dir, out, language, locale):
    root = tempfile.mkdtemp(prefix="morvane-shots-")
    desktop = e2e.Desktop(root)
    desktop.env.update({"LANGUAGE": language, "LC_ALL": locale, "LANG": locale})
    program = None
    try:
        desktop.start()
        program = subprocess.Popen([os.path.join(bin_dir, "morvane-backup")], env=desktop.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = e2e.wait_for("the main window", lambda: e2e.visible_window(desktop, "^Morvane Backup"))[0]
        desktop.run(["xdotool", "windowactivate", "--sync", window], check=False)
        time.sleep(1.0)
        for key in TOOLS_MENU[language]:
            desktop.run(["xdotool", "key", key])
            time.sleep(0.6)
        desktop.run(["xdotool", "key", "Return"])
        e2e.wait_for("the options window", lambda: e2e.visible_window(desktop, "^ Opti"))
        time.sleep(1.0)
        for index, tab in enumerate(TABS):
            if index:
                desktop.run(["xdotool", "key", "ctrl+Tab"])
                time.sleep(0.6)
            shoot(desktop, os.path.join(out, "options-%s-%s.png" % (tab, language)))
        desktop.run(["xdotool", "key", "Escape"])
    finally:
        if program is not None and program.poll() is None:
            program.terminate()
            program.wait(timeout=10)
        desktop.stop()
        shutil.rmtree(root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", default=os.path.join(ROOT, "build", "bin"))
    parser.add_argument("--out", default=os.path.join(ROOT, "docs", "screenshots"))
    options = parser.parse_args()
    os.makedirs(options.out, exist_ok=True)
    for language, locale in (("en", "C.UTF-8"), ("de", "de_DE.UTF-8")):
        series(options.bin, options.out, language, locale)
    return 0


if __name__ == "__main__":
    sys.exit(main())
