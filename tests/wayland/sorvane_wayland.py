#!/usr/bin/python3
"""Sorvane on Wayland: a headless weston, Qt's wayland platform, and the accessibility bus.

usage: sorvane_wayland.py --program PATH --out DIR [unittest options]

There is no input injection on Wayland, so the test types through AT-SPI's editable text and
presses the buttons through their accessibility action, as a screen reader's user would. The
helpers for reading the window come from the X11 end-to-end test. A screenshot of the window
goes to DIR/screenshots/main-window-wayland.png. Exits 77 (skipped) where the machine has no
weston with a headless backend or no wayland plugin for Qt.
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import context  # noqa: E402  (these need the paths above; context holds pyatspi and the run's values)
import ctest_cases  # noqa: E402
from case_support import make_tree, size_text  # noqa: E402
from desktop import TIMEOUT, Session, log, run, stop_group, wait_for  # noqa: E402
from window_driver import children, find_all, find_one, has_state, labelled_by, role  # noqa: E402

PROGRAM = ""
OUT_DIR = ""
SESSION = None
SKIPPED = ctest_cases.SKIPPED


class WaylandSession(Session):
    """The X session's folders, buses and process handling, with weston in place of the X server."""

    def _weston_ini(self):
        # A black desktop without a panel, so that a screenshot crops to the window.
        path = os.path.join(self.root, "weston.ini")
        with open(path, "w") as ini:
            ini.write("[shell]\nbackground-color=0xff000000\npanel-position=none\n")
        return path

    def start(self):
        self.env.pop("DISPLAY", None)
        socket = f"sorvane-{os.getpid()}"
        self.spawn("weston", ["weston", "--backend=headless-backend.so", "--use-pixman", f"--socket={socket}",
                              "--width=800", "--height=600", "--idle-time=0",
                              f"--config={self._weston_ini()}",
                              "--debug"])  # --debug lets weston-screenshooter take its picture
        weston = self.processes[-1]
        wait_for("weston's socket", lambda: weston.poll() is not None
                     or os.path.exists(os.path.join(self.runtime, socket)))
        if weston.poll() is not None:
            raise unittest.SkipTest(f"weston's headless backend did not start (status {weston.returncode}); "
                                    f"see {OUT_DIR}/weston.log")
        self.env.update({"WAYLAND_DISPLAY": socket, "QT_QPA_PLATFORM": "wayland"})

        bus = self.spawn("dbus", ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self._read_line(bus.stdout.fileno(), "the session bus address")
        self.spawn("at-spi-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_for("the accessibility bus on the session bus", lambda: "true" in run(
            "dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
            "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
            "string:org.a11y.Bus", check=False).stdout)
        for key in ("DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR"):
            os.environ[key] = self.env[key]
        os.environ.pop("DISPLAY", None)
        import pyatspi
        from gi.repository import Atspi
        context.pyatspi, context.Atspi = pyatspi, Atspi


class WaylandWindow:
    """The program's window as AT-SPI shows it; Wayland gives no window ids or screen positions."""

    def __init__(self, process):
        self.process = process
        self.app = wait_for("the program on the accessibility bus", self._application)
        self.app.set_cache_mask(context.Atspi.Cache.NONE)
        self.window = wait_for("the window Sorvane to show", lambda: next(
            (w for w in children(self.app) if w.name == "Sorvane" and has_state(w, "SHOWING")), None))
        self.Text1 = find_one(self.window, "TEXT", "请输入文件名")
        combos = find_all(self.window, "COMBO_BOX")
        self.Combo1 = next(c for c in combos if labelled_by(c) == "搜索位置")
        self.Command1 = find_one(self.window, "PUSH_BUTTON", "开始搜索")
        self.List1 = find_one(self.window, "TABLE", "搜索结果")
        self.Panel1, self.Panel2 = children(find_one(self.window, "STATUS_BAR"))

    def _application(self):
        for app in children(context.pyatspi.Registry.getDesktop(0)):
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        if self.process.poll() is not None:
            raise AssertionError(f"the program ended at start-up with status {self.process.returncode}")
        return None

    def type_into(self, accessible, text):
        accessible.queryEditableText().setTextContents(text)
        wait_for(f"the field to read {text!r}", lambda: accessible.queryText().getText(0, -1) == text)

    def press(self, button):
        action = button.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        if "Press" not in names:
            raise AssertionError(f"{button.name!r} offers no Press action, only {names}")
        action.doAction(names.index("Press"))

    def rows(self):
        """Each row's name, path and size; the time it shows depends on when the test ran."""
        table = self.List1.queryTable()
        return [tuple(table.getAccessibleAt(r, c).name for c in range(3)) for r in range(table.nRows)]

    def message_box(self, text):
        for window in children(self.app):
            if window.getRole() == role("ALERT") and has_state(window, "SHOWING") \
                    and find_all(window, "LABEL", text):
                return window
        return None


class OnWayland(unittest.TestCase):

    def test_a_search_pressed_over_accessibility_lists_its_rows_and_count(self):
        """Started on a folder, the name typed and 开始搜索 pressed: the rows and the count read back;
        a missing location shows its message box, which 确定 closes."""
        root = os.path.join(SESSION.root, "docs")  # short, so that the paths show whole
        make_tree(root, {"报告alpha.txt": 5, "alpha.pdf": 5000, "beta.txt": 1, "sub/ALPHA.png": 20480})
        process = SESSION.spawn("sorvane", [PROGRAM, root])
        self.addCleanup(stop_group, process)
        program = WaylandWindow(process)
        self.assertEqual(program.Combo1.name, root, "sorvane FOLDER shows the folder")

        program.type_into(program.Text1, "alpha")
        program.press(program.Command1)
        wait_for("'已完成搜索' in panel 2", lambda: program.Panel2.name == "已完成搜索")
        expected = [("报告alpha.txt", os.path.join(root, "报告alpha.txt"), size_text(5)),
                    ("alpha.pdf", os.path.join(root, "alpha.pdf"), size_text(5000)),
                    ("ALPHA.png", os.path.join(root, "sub", "ALPHA.png"), size_text(20480))]
        self.assertCountEqual(program.rows(), expected)
        self.assertEqual(program.Panel1.name, "找到 3 个文件")
        self.screenshot("main-window-wayland.png")

        program.type_into(find_one(program.Combo1, "TEXT"), os.path.join(root, "missing"))
        program.press(program.Command1)
        box = wait_for("the message box", lambda: program.message_box("指定搜索位置不存在"))
        self.assertEqual(box.name, "错误")
        program.press(next(b for b in find_all(box, "PUSH_BUTTON") if b.name.startswith("确定")
                           or b.name.startswith("OK")))
        wait_for("the message box to close", lambda: not program.message_box("指定搜索位置不存在"))
        self.assertEqual(len(program.rows()), 3, "a refused search leaves the rows")

    def screenshot(self, name):
        folder = os.path.join(OUT_DIR, "screenshots")
        os.makedirs(folder, exist_ok=True)
        before = set(glob.glob(os.path.join(folder, "wayland-screenshot-*.png")))
        shot = subprocess.run(["weston-screenshooter"], env=SESSION.env, cwd=folder, timeout=TIMEOUT,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        taken = set(glob.glob(os.path.join(folder, "wayland-screenshot-*.png"))) - before
        if shot.returncode != 0 or len(taken) != 1:
            log(f"no screenshot: {shot.stderr.strip()}")
            return
        path = os.path.join(folder, name)
        # Just the window: the rest of the screen is plain black.
        if shutil.which("convert"):
            run("convert", taken.pop(), "-trim", "+repage", path)
        else:
            os.replace(taken.pop(), path)
        log(f"screenshot {path}")


def missing_requirement():
    if not shutil.which("weston"):
        return "weston is not installed (scripts/setup installs it)"
    if not glob.glob("/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so"):
        return "Qt's wayland platform plugin (qt6-wayland) is not installed"
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        return "the AT-SPI bus launcher (at-spi2-core) is not installed"
    return None


def main():
    global PROGRAM, OUT_DIR, SESSION
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    args, rest = parser.parse_known_args()
    PROGRAM, OUT_DIR = os.path.abspath(args.program), os.path.abspath(args.out)
    os.makedirs(OUT_DIR, exist_ok=True)
    reason = missing_requirement()
    if reason:
        print(f"skipped: {reason}", flush=True)
        return SKIPPED
    context.OUT_DIR = OUT_DIR
    SESSION = context.SESSION = WaylandSession()
    try:
        try:
            SESSION.start()
        except unittest.SkipTest as skip:
            print(f"skipped: {skip}", flush=True)
            return SKIPPED
        return ctest_cases.run(rest, warnings=False)
    finally:
        SESSION.stop()


if __name__ == "__main__":
    sys.exit(main())
