#!/usr/bin/env python3
"""The real desktop program on a virtual display: tray icon, single instance, a job run from the
window, a notification for a failed run, jobs made in the wizard with a local and a network destination
run at once and restored from the window, and Quit.

Starts Xvfb, a private session bus, openbox, trayer, dunst and the accessibility bus, all with HOME and
the XDG folders in a temporary folder, and a Samba server of its own on 127.0.0.1. What the window shows
is read through AT-SPI. Exits 77 (skip) when one of those programs is missing or cannot start."""

import argparse
import os
import getpass
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77
TOOLS = ["Xvfb", "openbox", "trayer", "dunst", "dunstctl", "xdotool", "xwininfo", "dbus-daemon", "smbd",
         "smbpasswd"]
SMB_PASSWORD = "Secret-42"
FULL = "Full (create full copy of the sources every time)"
INCREMENTAL = "Incremental (copy new and modified files & folders since previous backup)"
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


def step(what, check, timeout=60.0, interval=0.3, on_failure=None):
    """wait_for with a failure message naming the step; `on_failure` prints what helps to see why."""
    try:
        return wait_for(what, check, timeout=timeout, interval=interval)
    except AssertionError:
        if on_failure is not None:
            on_failure()
        raise AssertionError("step failed: " + what + " (not within %d s)" % timeout) from None


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def port_accepts(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


class SambaServer:
    """smbd on 127.0.0.1 on a free port with one share for the current user, in `root`."""

    def __init__(self, root):
        self.root = root
        self.user = getpass.getuser()
        self.port = free_port()
        self.process = None

    @property
    def share_folder(self):
        return os.path.join(self.root, "share")

    def unc(self, relative):
        return "\\\\127.0.0.1:%d\\share\\%s" % (self.port, relative)

    def start(self):
        for folder in ("private", "lock", "state", "cache", "pid", "ncalrpc", "share"):
            os.makedirs(os.path.join(self.root, folder))
        conf = os.path.join(self.root, "smb.conf")
        with open(conf, "w") as file:
            file.write("\n".join([
                "[global]", "server role = standalone server", "smb ports = %d" % self.port,
                "interfaces = 127.0.0.1", "bind interfaces only = yes", "disable netbios = yes",
                "private dir = {0}/private", "lock directory = {0}/lock", "state directory = {0}/state",
                "cache directory = {0}/cache", "pid directory = {0}/pid", "ncalrpc dir = {0}/ncalrpc",
                "log file = {0}/log.%m", "passdb backend = tdbsam:{0}/private/passdb.tdb",
                "load printers = no", "printing = bsd", "printcap name = /dev/null", "disable spoolss = yes",
                "server min protocol = SMB2_10",
                "[share]", "path = {0}/share", "read only = no", "valid users = " + self.user, ""]).format(self.root))
        added = subprocess.run(["smbpasswd", "-c", conf, "-a", "-s", self.user], input=(SMB_PASSWORD + "\n") * 2,
                               capture_output=True, text=True, timeout=60)
        if added.returncode != 0:
            return "smbpasswd could not add the user %s: %s" % (self.user, added.stderr.strip())
        # A session of its own: smbd's per-connection children end with the group.
        self.process = subprocess.Popen(["smbd", "--foreground", "--no-process-group", "-s", conf],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if port_accepts(self.port):
                return None
            if self.process.poll() is not None:
                return "smbd ended at start; see " + os.path.join(self.root, "log.smbd")
            time.sleep(0.1)
        return "smbd did not accept connections"

    def stop(self):
        if self.process is None:
            return
        try:
            os.killpg(self.process.pid, signal.SIGTERM)
            self.process.wait(timeout=10)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait()


def snapshot(root):
    """Every entry below `root`: relative path -> file bytes, or None for a folder."""
    tree = {}
    for folder, folders, files in os.walk(root):
        for name in folders:
            tree[os.path.relpath(os.path.join(folder, name), root)] = None
        for name in files:
            with open(os.path.join(folder, name), "rb") as file:
                tree[os.path.relpath(os.path.join(folder, name), root)] = file.read()
    return tree


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


# Shared by the snippets below that look for one accessible object: the first in a depth-first walk that
# `matches` accepts (objects that go away during the walk are passed over).
FIND_FIRST = r"""
import pyatspi, sys
def find_first(node, matches, depth=0):
    if node is None or depth > 40:
        return None
    try:
        if matches(node):
            return node
        for child in node:
            found = find_first(child, matches, depth + 1)
            if found is not None:
                return found
    except Exception:
        pass
    return None
"""


def accessible_centre(desktop, name):
    """The screen position of the middle of the program's first accessible object called `name`."""
    code = FIND_FIRST + r"""
def find(node):
    return find_first(node, lambda n: n.name == sys.argv[1] and n.getRole() == pyatspi.ROLE_TABLE_CELL)
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
    code = FIND_FIRST + r"""
suffix, name, roles, action = sys.argv[1], sys.argv[2], sys.argv[3].split(','), sys.argv[4]
def find(node):
    return find_first(node, lambda n: n.name == name and n.getRoleName() in roles)
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


def focused(desktop):
    """"role|name" of the program's object that has the keyboard: in the active window, shown and focused
    (an item view's current cell calls itself focused even when its view has no keyboard)."""
    code = r"""
import pyatspi
def find(node, depth=0):
    if node is None or depth > 40:
        return None
    try:
        state = node.getState()
        if not state.contains(pyatspi.STATE_SHOWING):
            return None
        for child in node:
            found = find(child, depth + 1)
            if found is not None:
                return found
        if state.contains(pyatspi.STATE_FOCUSED):
            return node
    except Exception:
        pass
    return None
for application in pyatspi.Registry.getDesktop(0):
    if application is None or not application.name or 'morvane' not in application.name.lower():
        continue
    for window in application:
        if window is not None and window.getState().contains(pyatspi.STATE_ACTIVE):
            node = find(window)
            if node is not None:
                print(node.getRoleName() + '|' + (node.name or ''))
"""
    return desktop.run([sys.executable, "-c", code], check=False, timeout=30).stdout.strip()


def wait_focus(desktop, what, check, timeout=30, on_failure=None):
    """Waits until `check` holds for focused(desktop); the failure names the step and what had the keyboard."""
    seen = []

    def holds():
        seen.append(focused(desktop))
        return check(seen[-1])
    try:
        return wait_for(what, holds, timeout=timeout)
    except AssertionError:
        show_texts(desktop)
        raise AssertionError("step failed: %s (not within %d s; the keyboard was on \"%s\")" %
                             (what, timeout, seen[-1] if seen else "")) from None


def text_after(desktop, name):
    """The first named accessible object after the one called `name`, as a screen reader reads on."""
    texts = accessible_texts(desktop)
    if name in texts:
        index = texts.index(name)
        if index + 1 < len(texts):
            return texts[index + 1]
    return None


def accessible_enabled(desktop, window_suffix, name, roles, state="STATE_ENABLED"):
    """Whether the first accessible object called `name` with one of `roles` in the program's windows whose
    title ends with `window_suffix` has `state` (enabled unless told)."""
    code = FIND_FIRST + r"""
suffix, name, roles, wanted = sys.argv[1], sys.argv[2], sys.argv[3].split(','), sys.argv[4]
def find(node):
    return find_first(node, lambda n: n.name == name and n.getRoleName() in roles)
for application in pyatspi.Registry.getDesktop(0):
    if application is None or not application.name or 'morvane' not in application.name.lower():
        continue
    for window in application:
        if window is not None and (window.name or '').endswith(suffix):
            node = find(window)
            if node is not None and node.getState().contains(getattr(pyatspi, wanted)):
                print('enabled')
                sys.exit(0)
"""
    result = desktop.run([sys.executable, "-c", code, window_suffix, name, ",".join(roles), state], check=False,
                         timeout=30)
    return "enabled" in result.stdout.split()


def visible_window(desktop, pattern):
    return desktop.run(["xdotool", "search", "--onlyvisible", "--name", pattern], check=False).stdout.split()


def finished_rows(desktop):
    return len([text for text in accessible_texts(desktop) if text.startswith("Finished on")])


def run_wizard_job(desktop, window, name, fill_destination, method):
    """New Job, the files-and-folders wizard, the Sample folder of home checked, the destination filled in
    by `fill_destination`, the backup method called `method`, and the Save button's "Save && Run"; then waits
    for the run to finish."""
    before = finished_rows(desktop)
    desktop.run(["xdotool", "windowactivate", "--sync", window], check=False)
    desktop.run(["xdotool", "key", "ctrl+n"])
    step("the new-job dialog", lambda: visible_window(desktop, "^New Backup Job$"))
    desktop.run(["xdotool", "type", "--delay", "50", name])
    desktop.run(["xdotool", "key", "Return"])
    step("the wizard", lambda: visible_window(desktop, "New Job - " + name + "$"))
    # The tree has the keyboard on the home folder: open it, find the folder by typing its name, check it.
    wait_focus(desktop, "the source tree's keyboard", lambda focus: focus.startswith(("tree", "table cell|")),
         timeout=30)
    desktop.run(["xdotool", "key", "Right"])
    time.sleep(0.5)
    desktop.run(["xdotool", "type", "--delay", "30", "Sample"])
    desktop.run(["xdotool", "key", "space"])
    step("one source chosen", lambda: "View as list (1)" in accessible_texts(desktop))
    press_next = lambda: accessible_act(desktop, "New Job - " + name, "Next", ["push button"], "Press")
    step("the destination page", press_next)
    step("the destination page's heading", lambda: "Where to store your backup?" in accessible_texts(desktop))
    fill_destination()
    step("the method page", press_next)
    step("the method " + method, lambda: accessible_act(desktop, "New Job - " + name, method, ["radio button"],
                                                       "Toggle"))
    step("the schedule page", lambda: "When to start backup?" in accessible_texts(desktop) or
         (press_next() and False), on_failure=lambda: show_texts(desktop))
    # The drop-down entry of the Save button.
    step("Save && Run", lambda: accessible_act(desktop, "New Job - " + name, "Save & Run", ["menu item"], "Press"))
    step("the wizard to close", lambda: not visible_window(desktop, "New Job - " + name + "$"))
    step("the run of " + name + " to finish (\"Finished on\" in its row)", lambda: finished_rows(desktop) > before,
         timeout=180, on_failure=lambda: show_texts(desktop))


def restore_from_window(desktop, window, job, output, source):
    """Restore of `job` from the window into the new folder `output`, the only restore point chosen; the
    restored copy of `source` must equal it."""
    os.makedirs(output)
    desktop.run(["xdotool", "windowactivate", "--sync", window], check=False)
    x, y = step("the place of the row of " + job, lambda: accessible_centre(desktop, job))
    desktop.run(["xdotool", "mousemove", "--sync", x, y, "click", "1"])

    def restore_asked():
        # The commands follow the selection at the window's next one-second tick.
        desktop.run(["xdotool", "key", "ctrl+r"])
        return wait_until(lambda: visible_window(desktop, "^Choose an output directory$"), 2.5)
    step("the output folder window after Restore", restore_asked, timeout=60)
    wait_focus(desktop, "the output folder window's keyboard", lambda focus: focus.startswith("text|"), timeout=30)
    desktop.run(["xdotool", "key", "ctrl+a"])
    desktop.run(["xdotool", "type", "--delay", "20", output])

    def folder_chosen():
        # Enter may first take the completer's proposal.
        desktop.run(["xdotool", "key", "Return"])
        return wait_until(lambda: not visible_window(desktop, "^Choose an output directory$"), 3)
    step("the output folder to be taken", folder_chosen, timeout=30)
    step("the restore-point chooser", lambda: visible_window(desktop, "^ ?Restore$"), timeout=60,
         on_failure=lambda: show_texts(desktop))
    # The list takes the keyboard on the first point once the points are read; Space chooses it, which
    # lets OK take Enter. The window manager may leave the window shown again for the choice inactive, so
    # it is activated as a user's click would.
    def point_chosen():
        if accessible_enabled(desktop, "Restore", "OK", ["push button"]):
            return True
        if accessible_enabled(desktop, "Restore", "Loading the list of backups...", ["label"], "STATE_SHOWING"):
            return False
        for chooser in visible_window(desktop, "^ ?Restore$"):
            desktop.run(["xdotool", "windowactivate", "--sync", chooser], check=False, timeout=30)
        desktop.run(["xdotool", "key", "space"])
        return wait_until(lambda: accessible_enabled(desktop, "Restore", "OK", ["push button"]), 3)
    step("the first restore point chosen", point_chosen, timeout=120, on_failure=lambda: show_texts(desktop))
    desktop.run(["xdotool", "key", "Return"])
    step("the restore-point chooser to close", lambda: not visible_window(desktop, "^ ?Restore$"), timeout=30,
         on_failure=lambda: show_texts(desktop))
    restored = os.path.join(output, os.path.basename(source))
    expected = snapshot(source)

    def show_difference():
        got = snapshot(restored) if os.path.isdir(restored) else {}
        print("expected %s\nrestored %s" % (sorted(expected), sorted(got)))
    step("the restored folder of " + job + " to equal its source",
         lambda: os.path.isdir(restored) and snapshot(restored) == expected, timeout=120, on_failure=show_difference)


def wait_until(check, timeout):
    """True when `check` held within `timeout` seconds; False otherwise (the caller tries again)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if check():
            return True
        time.sleep(0.2)
    return False


def show_texts(desktop):
    print("\n".join(accessible_texts(desktop)))

    if os.environ.get("MORVANE_DESKTOP_FAILURE_SHOT"):
        desktop.run(["import", "-window", "root", os.environ["MORVANE_DESKTOP_FAILURE_SHOT"]], check=False)


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
    samba = SambaServer(os.path.join(root, "samba"))
    program = None
    try:
        failure = samba.start()
        if failure:
            skip("the Samba server cannot run here: " + failure)
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
        # destination folder, then "Save && Run"; then Restore from the window into a new folder.
        wizard_storage = os.path.join(home, "WizardStorage")
        os.makedirs(wizard_storage)

        def type_into_destination():
            wait_focus(desktop, "the destination field's keyboard", lambda focus: focus.startswith("text|"), timeout=30)
            desktop.run(["xdotool", "type", "--delay", "20", wizard_storage])
        run_wizard_job(desktop, window, "Wizard", type_into_destination, FULL)
        print("ok: a job made in the wizard ran at once")
        restore_from_window(desktop, window, "Wizard", os.path.join(home, "Restored"), source)
        print("ok: the job restored from the window equals its source")

        # The same with the test Samba server as the destination; a wrong password first, which the
        # connection test reports with the storage's own error text.
        os.makedirs(os.path.join(samba.share_folder, "backups"))

        def network_destination():
            wait_focus(desktop, "the destination page's keyboard", lambda focus: focus.startswith("text|"), timeout=30)
            # Back to the choice of destination, down to the network one, on to its path.
            desktop.run(["xdotool", "key", "shift+Tab"])
            wait_focus(desktop, "the local-folder choice's keyboard", lambda focus: focus.startswith("radio button|"),
                 timeout=30)
            desktop.run(["xdotool", "key", "Down"])
            wait_focus(desktop, "the network choice", lambda focus: focus == "radio button|Network storage (UNC - path):",
                 timeout=30)
            desktop.run(["xdotool", "key", "Tab"])
            wait_focus(desktop, "the network path field's keyboard", lambda focus: focus.startswith("text|"), timeout=30)
            desktop.run(["xdotool", "type", "--delay", "20", samba.unc("backups")])
            desktop.run(["xdotool", "key", "Tab", "Tab"])
            wait_focus(desktop, "the user name field's keyboard", lambda focus: focus == "text|Username:", timeout=30)
            desktop.run(["xdotool", "type", "--delay", "20", samba.user])
            desktop.run(["xdotool", "key", "Tab"])
            wait_focus(desktop, "the Set password button's keyboard", lambda focus: focus == "push button|Set password...",
                 timeout=30)
            for password, expected in (("Wrong-7", None), (SMB_PASSWORD, "The connection to the network storage works.")):
                desktop.run(["xdotool", "key", "space"])
                step("the password window", lambda: visible_window(desktop, "Set Password$"), timeout=30)
                wait_focus(desktop, "the password field's keyboard", lambda focus: focus.startswith(("password text|", "text|")),
                     timeout=30)
                desktop.run(["xdotool", "type", "--delay", "20", password])
                desktop.run(["xdotool", "key", "Tab"])
                desktop.run(["xdotool", "type", "--delay", "20", password])
                desktop.run(["xdotool", "key", "Return"])
                step("the password window to close", lambda: not visible_window(desktop, "Set Password$"), timeout=30)
                wait_focus(desktop, "the Set password button's keyboard again", lambda focus: focus == "push button|Set password...", timeout=30)
                desktop.run(["xdotool", "key", "Tab"])
                wait_focus(desktop, "the connection test button's keyboard", lambda focus: focus == "push button|Test the connection", timeout=30)
                # What follows the button before: the previous result, or the next caption while none.
                shown_before = text_after(desktop, "Test the connection")
                desktop.run(["xdotool", "key", "space"])

                def tested():
                    result = text_after(desktop, "Test the connection")
                    return result not in (None, "Connecting...", shown_before) and result
                result = step("the connection test's result", tested, timeout=90, on_failure=lambda: show_texts(desktop))
                if expected is None:
                    assert result != "The connection to the network storage works.", "a wrong password connected"
                    print("ok: the connection test refused the wrong password: " + result)
                else:
                    assert result == expected, "the right password did not connect: " + result
                    print("ok: the connection test passed with the right password")
                # The button gives the keyboard away while it is disabled for the test: walk back to it.
                def back_to_set_password():
                    if focused(desktop) == "push button|Set password...":
                        return True
                    desktop.run(["xdotool", "key", "shift+Tab"])
                    return False
                step("the Set password button's keyboard after the test", back_to_set_password, timeout=30,
                     interval=0.5, on_failure=lambda: print("focused: " + focused(desktop)))
        run_wizard_job(desktop, window, "OnShare", network_destination, INCREMENTAL)
        on_share = os.path.join(samba.share_folder, "backups", "OnShare")
        step("the network job's backup on the share", lambda: os.path.isdir(on_share) and os.listdir(on_share))
        print("ok: a job made in the wizard with the network destination ran at once")
        restore_from_window(desktop, window, "OnShare", os.path.join(home, "RestoredFromShare"), source)
        print("ok: the network job restored from the window equals its source")

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
        samba.stop()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
