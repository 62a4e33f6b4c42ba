#!/usr/bin/env python3
"""Takes the pictures of the new-job dialog and the job wizards' pages in docs/screenshots/, in English
and German, from the real desktop program on a virtual display (the same throw-away desktop the
desktop test starts). Look at every picture before committing it.

Usage: scripts/wizard_screenshots.py [--bin build/bin] [--out docs/screenshots]"""

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

# The button captions pressed through the accessibility bus, per language.
CAPTIONS = {
    "en": {"next": "Next", "cancel": "Cancel"},
    "de": {"next": "Weiter", "cancel": "Abbrechen"},
}


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
        home = desktop.env["HOME"]
        for folder in ("Documents/Reports", "Pictures", "Storage"):
            os.makedirs(os.path.join(home, folder))
        program = subprocess.Popen([os.path.join(bin_dir, "morvane-backup")], env=desktop.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = e2e.wait_for("the main window", lambda: e2e.visible_window(desktop, "^Morvane Backup"))[0]
        captions = CAPTIONS[language]
        name = lambda page: os.path.join(out, "%s-%s.png" % (page, language))

        def press(caption, suffix):
            e2e.wait_for(caption, lambda: e2e.accessible_act(desktop, suffix, caption, ["push button"], "Press"))
            time.sleep(0.6)

        desktop.run(["xdotool", "windowactivate", "--sync", window], check=False)
        desktop.run(["xdotool", "key", "ctrl+n"])
        time.sleep(1.0)
        desktop.run(["xdotool", "type", "--delay", "40", "Documents"])
        shoot(desktop, name("new-job"))
        desktop.run(["xdotool", "key", "Return"])
        time.sleep(1.0)
        desktop.run(["xdotool", "key", "Right"])
        time.sleep(0.4)
        desktop.run(["xdotool", "type", "--delay", "30", "Documents"])
        desktop.run(["xdotool", "key", "space"])
        shoot(desktop, name("files-wizard-sources"))
        press(captions["next"], " - Documents")
        desktop.run(["xdotool", "type", "--delay", "10", os.path.join(home, "Storage")])
        shoot(desktop, name("files-wizard-destination"))
        press(captions["next"], " - Documents")
        shoot(desktop, name("files-wizard-method"))
        press(captions["next"], " - Documents")
        shoot(desktop, name("files-wizard-schedule"))
        press(captions["cancel"], " - Documents")

        desktop.run(["xdotool", "key", "ctrl+n"])
        time.sleep(1.0)
        desktop.run(["xdotool", "type", "--delay", "40", "System"])
        # From the name field to the kind choice, then the second kind.
        desktop.run(["xdotool", "key", "Tab", "Down", "Return"])
        time.sleep(1.0)
        desktop.run(["xdotool", "key", "space"])
        shoot(desktop, name("image-wizard-disks"))
        press(captions["next"], " - System")
        shoot(desktop, name("image-wizard-destination"))
        press(captions["cancel"], " - System")
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
