"""Driving the program as a person does, and reading it back as a screen reader does: keys and
clicks through xdotool, the window's controls found and read over AT-SPI, screenshots."""

import os
import subprocess
import time
import warnings

import context
from desktop import TIMEOUT, log, run, wait_for

# pyatspi's own calls into the AT-SPI library it wraps.
warnings.filterwarnings("ignore", category=DeprecationWarning, module=r"pyatspi\.")


def connect():
    """Connects this process to the session's accessibility bus and listens to its events."""
    import pyatspi
    from gi.repository import Atspi
    context.pyatspi, context.Atspi = pyatspi, Atspi
    context.EVENTS = Events()


class Events:
    """What the program announces on the accessibility bus, as a screen reader hears it. Qt
    leaves popup menus out of its application's children: the event of their showing is the
    way to them. Events also arrive while the program is busy in a search, since Qt sends them
    from a thread of its own."""

    def __init__(self):
        from gi.repository import GLib
        self.main_context = GLib.MainContext.default()
        self.menus = []
        self.enabled = []
        context.pyatspi.Registry.registerEventListener(self._showing, "object:state-changed:showing")
        context.pyatspi.Registry.registerEventListener(self._enabled, "object:state-changed:enabled")

    def _showing(self, event):
        if event.detail1 and event.source is not None and event.source.getRole() == role("POPUP_MENU"):
            self.menus.append(event.source)

    def _enabled(self, event):
        if event.detail1 and event.source is not None:
            self.enabled.append(event.source)

    def pump(self):
        while self.main_context.iteration(False):
            pass

    def showing_menus(self):
        self.pump()
        shown = []
        for menu in self.menus:
            try:
                if has_state(menu, "SHOWING"):
                    shown.append(menu)
            except Exception:  # a menu gone with its program
                pass
        self.menus = shown
        return shown

    def wait_enabled(self, accessible, what, timeout=TIMEOUT):
        """Waits for the event that accessible became enabled, without asking the program."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.pump()
            if any(source == accessible for source in self.enabled):
                return
            time.sleep(0.001)
        raise AssertionError(f"gave up after {timeout:.0f} s waiting for {what}")


def role(name):
    return getattr(context.pyatspi, "ROLE_" + name)


def has_state(accessible, state):
    return accessible.getState().contains(getattr(context.pyatspi, "STATE_" + state))


def children(accessible):
    return [accessible.getChildAtIndex(i) for i in range(accessible.childCount)]


def find_all(accessible, wanted_role=None, name=None, depth=12):
    """Descendants by role and name; never into a table's cells or a combo box's popup list."""
    found = []
    for child in children(accessible):
        if child is None:
            continue
        if (wanted_role is None or child.getRole() == role(wanted_role)) and (
                name is None or child.name == name):
            found.append(child)
        if depth > 1 and child.getRole() not in (role("TABLE"), role("LIST"), role("TABLE_CELL")):
            found.extend(find_all(child, wanted_role, name, depth - 1))
    return found


def find_one(accessible, wanted_role, name=None):
    found = find_all(accessible, wanted_role, name)
    if len(found) != 1:
        raise AssertionError(f"expected one {wanted_role} named {name!r}, found {len(found)}")
    return found[0]


def centre(accessible):
    box = accessible.queryComponent().getExtents(context.pyatspi.DESKTOP_COORDS)
    if box.width <= 0 or box.height <= 0:
        raise AssertionError(f"{accessible.name!r} has no extents on the screen")
    return box.x + box.width // 2, box.y + box.height // 2


def click(accessible, button=1):
    click_at(centre(accessible), button)


def click_at(point, button=1):
    run("xdotool", "mousemove", "--sync", str(point[0]), str(point[1]))
    run("xdotool", "click", str(button))


def key(*keys):
    run("xdotool", "key", "--delay", "60", *keys)


def wait_until_focused(accessible, what):
    """Keys typed before the window manager has given a new dialog the focus go nowhere."""
    wait_for(f"{what} to have the keyboard focus",
             lambda: accessible.getState().contains(context.pyatspi.STATE_FOCUSED))


def type_text(text):
    # xdotool types a character missing from the keyboard map by remapping a spare key just
    # before pressing it, and a client may read the key before the new map: typed text stays ASCII.
    assert text.isascii(), f"{text!r} cannot be typed reliably"
    run("xdotool", "type", "--delay", "40", "--", text)


def screenshot(name, window_id=None):
    folder = os.path.join(context.OUT_DIR, "screenshots")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    if window_id:
        run("import", "-frame", "-window", window_id, path)
    else:
        run("import", "-window", "root", path)
    log(f"screenshot {path}")
    return path


class Program:
    """One running instance of the program, found on the accessibility bus by its process id."""

    def __init__(self, process):
        self.process = process
        self.app = wait_for("the program on the accessibility bus", self._application)
        # Every read goes to the program itself: this client runs no main loop, so events that
        # would keep a cache true are never dispatched.
        self.app.set_cache_mask(context.Atspi.Cache.NONE)
        self.window = wait_for("the window Sorvane to show", lambda: next(
            (w for w in children(self.app)
             if w.name == "Sorvane" and has_state(w, "SHOWING")), None))
        self.window_id = wait_for("the X window of the program", lambda: run(
            "xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid),
            "--name", "^Sorvane$", check=False).stdout.split())[0]
        self.Text1 = find_one(self.window, "TEXT", "请输入文件名")
        combos = find_all(self.window, "COMBO_BOX")
        self.Combo1 = next(c for c in combos if labelled_by(c) == "搜索位置")
        self.Combo2 = next(c for c in combos if labelled_by(c) == "文件类型")
        self.Check1 = find_one(self.window, "CHECK_BOX", "全字匹配")
        self.Check2 = find_one(self.window, "CHECK_BOX", "区分大小写")
        self.Check3 = find_one(self.window, "CHECK_BOX", "包括隐藏文件")
        self.Check4 = find_one(self.window, "CHECK_BOX", "拼音匹配")
        self.Command1 = find_one(self.window, "PUSH_BUTTON", "开始搜索")
        self.Command2 = find_one(self.window, "PUSH_BUTTON", "停止搜索")
        self.List1 = find_one(self.window, "TABLE", "搜索结果")
        panels = children(find_one(self.window, "STATUS_BAR"))
        if len(panels) != 2:
            raise AssertionError(f"the status bar holds {len(panels)} panels, not 2")
        self.Panel1, self.Panel2 = panels
        self.activate()

    def _application(self):
        for app in children(context.pyatspi.Registry.getDesktop(0)):
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        if self.process.poll() is not None:
            raise AssertionError(f"the program ended at start-up with status {self.process.returncode}")
        return None

    def activate(self):
        run("xdotool", "windowactivate", "--sync", self.window_id, check=False)
        wait_for("the window to be active", lambda: has_state(self.window, "ACTIVE"))

    def rows(self):
        """Each row's name, path and size; the time it shows depends on when the test ran."""
        table = self.List1.queryTable()
        return [tuple(table.getAccessibleAt(r, c).name for c in range(3)) for r in range(table.nRows)]

    def search(self, name, location, start=True):
        click(self.Text1)
        wait_for("the name field to take the focus", lambda: has_state(self.Text1, "FOCUSED"))
        key("ctrl+a")
        type_text(name)
        wait_for(f"the name field to read {name!r}", lambda: self.Text1.queryText().getText(0, -1) == name)
        location_text = find_one(self.Combo1, "TEXT")
        click(location_text)
        wait_for("the location field to take the focus", lambda: has_state(location_text, "FOCUSED"))
        key("ctrl+a")
        type_text(location)
        wait_for(f"the location field to read {location!r}", lambda: self.Combo1.name == location)
        if start:
            key("Return")

    def wait_finished(self, timeout=TIMEOUT):
        wait_for("'已完成搜索' in panel 2", lambda: self.Panel2.name == "已完成搜索", timeout)
        wait_for("the start button to be enabled again", lambda: has_state(self.Command1, "ENABLED"))

    def wait_stopped(self, timeout=TIMEOUT):
        """The end of a stopped search, which names the rows from memory it left unconfirmed."""
        wait_for("the search to end", lambda: self.Panel2.name.startswith("已完成搜索")
                 and has_state(self.Command1, "ENABLED"), timeout)

    def top_level(self, wanted_role, name=None):
        """A window of the program other than the main one, such as a dialog, that shows now."""
        for window in children(self.app):
            if window.getRole() == role(wanted_role) and (name is None or window.name == name) \
                    and has_state(window, "SHOWING"):
                return window
        return None

    def message_box(self, text):
        """The message box that shows text now, or None."""
        for window in children(self.app):
            if window.getRole() == role("ALERT") and has_state(window, "SHOWING") \
                    and find_all(window, "LABEL", text):
                return window
        return None

    def popup_menu(self):
        """The popup menu that shows now, or None."""
        menus = [m for m in context.EVENTS.showing_menus() if m.get_process_id() == self.process.pid]
        return menus[0] if len(menus) == 1 else None

    def menu_captions(self):
        menu = self.popup_menu()
        return [item.name for item in children(menu)] if menu else None

    def close(self, timeout=TIMEOUT):
        self.activate()
        key("alt+F4")
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program still runs {timeout:.0f} s after alt+F4")


def labelled_by(accessible):
    for relation in accessible.getRelationSet():
        if relation.getRelationType() == context.pyatspi.RELATION_LABELLED_BY:
            return relation.getTarget(0).name
    return None

