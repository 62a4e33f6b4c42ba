#!/usr/bin/env python3
"""The real desktop program on a virtual display: tray icon, single instance, a job run from the
window, a notification for a failed run, and Quit.

Starts Xvfb, a private session bus, openbox, trayer, dunst and the accessibility bus, all with HOME and
the XDG folders in a temporary folder. What the window shows is read through AT-SPI. Exits 77 (skip)
when one of those programs is missing."""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
TOOLS = ["Xvfb", "openbox", "trayer", "dunst", "dunstctl", "xdotool", "xwininfo", "dbus-daemon"]
ATSPI_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def skip(reason):
    print("SKIP: " + reason)
    sys.exit(SKIP)


def wait_for(what, check, timeout=30.0, interval=0.2):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = check()
        if result:
            return result
        time.sleep(interval)
    raise AssertionError("timed out waiting for " + what)


class Desktop:
    def __init__(self, root):
        self.root = root
        self.processes = []
        self.env = dict(os.environ)
        home = os.path.join(root, "home")
        runtime = os.path.join(root, "runtime")
        for folder in (home, runtime, os.path.join(root, "tmp")):
            os.makedirs(folder, mode=0o700)
        self.env.update({
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_RUNTIME_DIR": runtime,
            "TMPDIR": os.path.join(root, "tmp"),
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            "NO_AT_BRIDGE": "0",
        })
        for name in ("WAYLAND_DISPLAY", "SESSION_MANAGER"):
            self.env.pop(name, None)

    def spawn(self, arguments, **kwargs):
        process = subprocess.Popen(arguments, env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, **kwargs)
        self.processes.append(process)
        return process

    def start(self):
        display = 90
        while os.path.exists("/tmp/.X11-unix/X%d" % display) or os.path.exists("/tmp/.X%d-lock" % display):
            display += 1
        self.env["DISPLAY"] = ":%d" % display
        self.spawn(["Xvfb", self.env["DISPLAY"], "-screen", "0", "1280x800x24", "-nolisten", "tcp"])
        wait_for("the display", lambda: os.path.exists("/tmp/.X11-unix/X%d" % display))
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=self.env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.processes.append(bus)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        self.spawn(["openbox"])
        time.sleep(0.5)
        self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request"])
        self.spawn(["dunst"])
        if os.path.exists(ATSPI_LAUNCHER):
            self.spawn([ATSPI_LAUNCHER, "--launch-immediately"])
        time.sleep(1.0)

    def run(self, arguments, check=True, timeout=60):
        result = subprocess.run(arguments, env=self.env, capture_output=True, text=True, timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError("%s failed (%d): %s%s" % (arguments, result.returncode, result.stdout,
                                                          result.stderr))
        return result

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
        for process in self.processes:
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()


def tray_icons(desktop):
    """The windows embedded in trayer's panel."""
    tree = desktop.run(["xwininfo", "-root", "-tree"]).stdout.splitlines()
    for index, line in enumerate(tree):
        if '"panel": ("panel" "trayer")' in line:
            panel = desktop.run(["xwininfo", "-tree", "-id", line.split()[0]]).stdout
            children = [entry for entry in panel.splitlines() if entry.strip().startswith("0x")]
            # trayer keeps one 1x1 placeholder of its own.
            return [entry for entry in children if " 1x1+" not in entry]
    return []


def visible_main_windows(desktop):
    result = desktop.run(["xdotool", "search", "--onlyvisible", "--name", "^Morvane Backup 2.3$"], check=False)
    return result.stdout.split()


def accessible_texts(desktop):
    """The names of every accessible object of the program, read the way a screen reader reads them."""
    code = r"""
import pyatspi
texts = []
def walk(node, depth=0):
    if node is None or depth > 40:
        return
    try:
        if node.name:
            texts.append(node.name)
        for child in node:
            walk(child, depth + 1)
    except Exception:
        pass
for application in pyatspi.Registry.getDesktop(0):
    if application is not None and application.name and 'morvane' in application.name.lower():
        walk(application)
print('\n'.join(texts))
"""
    result = desktop.run([sys.executable, "-c", code], check=False, timeout=30)
    return result.stdout.splitlines()


def accessible_centre(desktop, name):
    """The screen position of the middle of the program's first accessible object called `name`."""
    code = r"""
import pyatspi, sys
def find(node, depth=0):
    if node is None or depth > 40:
        return None
    try:
        if node.name == sys.argv[1] and node.getRole() == pyatspi.ROLE_TABLE_CELL:
            return node
        for child in node:
            found = find(child, depth + 1)
            if found is not None:
                return found
    except Exception:
        pass
    return None
for application in pyatspi.Registry.getDesktop(0):
    if application is not None and application.name and 'morvane' in application.name.lower():
        cell = find(application)
        if cell is not None:
            box = cell.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            print(box.x + box.width // 2, box.y + box.height // 2)
            break
"""
    result = desktop.run([sys.executable, "-c", code, name], check=False, timeout=30)
    return result.stdout.split()


def accessible_act(desktop, window_suffix, name, roles, action):
    """Does `action` ("Press", "Toggle", "ShowMenu") on the first accessible object called `name` with
    one of `roles`, inside the program's windows whose title ends with `window_suffix`; True when done."""
    code = r"""
import pyatspi, sys
suffix, name, roles, action = sys.argv[1], sys.argv[2], sys.argv[3].split(','), sys.argv[4]
def find(node, depth=0):
    if node is None or depth > 40:
        return None
    try:
        if node.name == name and node.getRoleName() in roles:
            return node
        for child in node:
            found = find(child, depth + 1)
            if found is not None:
                return found
    except Exception:
        pass
    return None
def simple(text):
    return text.replace(' ', '').lower()
for application in pyatspi.Registry.getDesktop(0):
    if application is None or not application.name or 'morvane' not in application.name.lower():
        continue
    for window in application:
        if window is None or not (window.name or '').endswith(suffix):
            continue
        node = find(window)
        if node is None:
            continue
        actions = node.queryAction()
        for index in range(actions.nActions):
            if simple(actions.getName(index)) == simple(action):
                actions.doAction(index)
                print('done')
                sys.exit(0)
"""
    result = desktop.run([sys.executable, "-c", code, window_suffix, name, ",".join(roles), action], check=False,
                         timeout=30)
    return "done" in result.stdout.split()


def visible_window(desktop, pattern):
    return desktop.run(["xdotool", "search", "--onlyvisible", "--name", pattern], check=False).stdout.split()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="the folder holding morvane-backup and morvane-cli")
    options = parser.parse_args()
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if missing:
        skip("missing programs: " + ", ".join(missing))
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        skip("python3-pyatspi is not installed")
    backup = os.path.join(options.bin, "morvane-backup")
    cli = os.path.join(options.bin, "morvane-cli")

    root = tempfile.mkdtemp(prefix="morvane-desktop-")
    desktop = Desktop(root)
    program = None
    try:
        desktop.start()
        program = subprocess.Popen([backup, "/hide"], env=desktop.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, text=True)
        socket = os.path.join(desktop.env["XDG_CONFIG_HOME"], "Morvane Backup", "instance.socket")
        wait_for("the instance socket", lambda: os.path.exists(socket) or program.poll() is not None)
        assert program.poll() is None, "the program ended: " + program.stderr.read()
        wait_for("the tray icon in trayer's panel", lambda: tray_icons(desktop))
        assert not visible_main_windows(desktop), "/hide shows no window"
        print("ok: started hidden, the tray icon is embedded")

        second = desktop.run([backup], timeout=30)
        assert second.returncode == 0
        wait_for("the main window", lambda: visible_main_windows(desktop))
        assert program.poll() is None
        print("ok: a second start shows the first instance's window")

        home = desktop.env["HOME"]
        source = os.path.join(home, "Sample")
        os.makedirs(os.path.join(source, "Reports"))
        for name, text in (("notes.txt", "Meeting notes\n"), ("Reports/q1.txt", "Quarterly figures\n")):
            with open(os.path.join(source, name), "w") as file:
                file.write(text)
        storage = os.path.join(home, "Storage")
        os.makedirs(storage)
        desktop.run([cli, "new", "Sample", "--source", source, "--dest", storage])
        wait_for("the job's row", lambda: "Sample" in accessible_texts(desktop))
        print("ok: a job made with the command-line tool shows in the window")

        window = visible_main_windows(desktop)[0]
        desktop.run(["xdotool", "windowactivate", "--sync", window], check=False)
        # Select the job's row, then the Backup command's shortcut.
        x, y = wait_for("the row's place on the screen", lambda: accessible_centre(desktop, "Sample"))
        desktop.run(["xdotool", "mousemove", "--sync", x, y, "click", "1"])
        # The commands follow the selection at the next one-second tick.
        time.sleep(1.5)
        desktop.run(["xdotool", "key", "ctrl+b"])
        try:
            finished = wait_for("\"Finished on\" in the job's row",
                                lambda: [text for text in accessible_texts(desktop) if text.startswith("Finished on")],
                                timeout=60)
        except AssertionError:
            print("\n".join(accessible_texts(desktop)))
            if os.environ.get("MORVANE_DESKTOP_FAILURE_SHOT"):
                desktop.run(["import", "-window", "root", os.environ["MORVANE_DESKTOP_FAILURE_SHOT"]], check=False)
            raise
        print("ok: the job ran from the window: " + finished[0])

        # A start flag left on the storage that names a path outside the job's folder: the run refuses
        # it, counts an error and ends cancelled.
        with open(os.path.join(storage, "Sample", "_startflag.qkl"), "wb") as flag:
            flag.write(b"\xef\xbb\xbf../../victim.txt\r\n")
        queued = desktop.run([cli, "backup", "Sample"])
        assert "queued" in queued.stdout, queued.stdout

        def notified():
            history = desktop.run(["dunstctl", "history"], check=False).stdout
            return "Sample" in history and "was cancelled" in history and history
        try:
            wait_for("a notification about the failed run", notified, timeout=60)
        except AssertionError:
            print(desktop.run(["dunstctl", "history"], check=False).stdout[:3000])
            print(desktop.run([cli, "list"], check=False).stdout)
            raise
        print("ok: the failed run was notified")

        # A new user's way: New Job, the files-and-folders wizard, a folder checked in the tree, a
        # destination folder, then "Save && Run".
        wizard_storage = os.path.join(home, "WizardStorage")
        os.makedirs(wizard_storage)
        desktop.run(["xdotool", "windowactivate", "--sync", window], check=False)
        desktop.run(["xdotool", "key", "ctrl+n"])
        wait_for("the new-job dialog", lambda: visible_window(desktop, "^New Backup Job$"))
        desktop.run(["xdotool", "type", "--delay", "50", "Wizard"])
        desktop.run(["xdotool", "key", "Return"])
        wait_for("the wizard", lambda: visible_window(desktop, "New Job - Wizard$"))
        time.sleep(0.5)
        # The tree has the keyboard on the home folder: open it, find the folder by typing its name, check it.
        desktop.run(["xdotool", "key", "Right"])
        time.sleep(0.5)
        desktop.run(["xdotool", "type", "--delay", "30", "Sample"])
        desktop.run(["xdotool", "key", "space"])
        wait_for("one source chosen", lambda: "View as list (1)" in accessible_texts(desktop))
        press_next = lambda: accessible_act(desktop, "New Job - Wizard", "Next", ["push button"], "Press")
        wait_for("the destination page", press_next)
        wait_for("the destination field's keyboard", lambda: "Where to store your backup?" in accessible_texts(desktop))
        desktop.run(["xdotool", "type", "--delay", "20", wizard_storage])
        wait_for("the method page", press_next)
        wait_for("the schedule page", lambda: "When to start backup?" in accessible_texts(desktop) or
                 (press_next() and False))
        # The drop-down entry of the Save button.
        wait_for("Save && Run", lambda: accessible_act(desktop, "New Job - Wizard", "Save & Run", ["menu item"],
                                                      "Press"))
        copied = os.path.join(wizard_storage, "Wizard", "Sample", "notes.txt")
        try:
            wait_for("the wizard's job to finish", lambda: os.path.exists(copied) and
                     [text for text in accessible_texts(desktop) if text.startswith("Finished on")], timeout=60)
        except AssertionError:
            print("\n".join(accessible_texts(desktop)))
            raise
        print("ok: a job made in the wizard ran at once")

        desktop.run(["xdotool", "windowactivate", "--sync", window], check=False)
        desktop.run(["xdotool", "key", "ctrl+q"])
        time.sleep(1.0)
        # The confirmation's default button is Yes.
        desktop.run(["xdotool", "key", "Return"])
        program.wait(timeout=20)
        print("ok: Quit ended the program (status %d)" % program.returncode)
        return 0
    finally:
        if program is not None and program.poll() is None:
            program.kill()
            program.wait()
        desktop.stop()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
