"""How results reach the user's order and other programs: the header's sort, the copy keys and
the clipboard, and rows dragged onto another window."""

import os
import subprocess
import time
import urllib.parse

import context
from case_support import ResultsTest, make_tree, size_text
from desktop import TIMEOUT, Lines, run, stop_group, wait_for
from window_driver import centre, click, click_at, find_one, key, screenshot

# Longer than the toolkit's double-click interval.
DOUBLE_CLICK_SECONDS = 0.6
DROP_TARGET = os.path.join(os.path.dirname(os.path.realpath(__file__)), "drop_target.py")


class SortCopyAndDrag(ResultsTest):
    """The header clicks, the copy keys and a drag: the ways a result reaches the user's order
    and other programs."""

    def gb18030_tree(self, name):
        """A tree with a name that is not UTF-8 (报告 in GB18030) beside a plain one."""
        root = self.tree(name)
        odd = os.path.join(os.fsencode(root), "报告-alpha.txt".encode("gb18030"))
        with open(odd, "wb") as out:
            out.write(b"x")
        make_tree(root, {"plain-alpha.txt": 2})
        return root, odd

    def select_row(self, program, name):
        table = program.List1.queryTable()
        row = [r[0] for r in program.rows()].index(name)
        click(table.getAccessibleAt(row, 0))
        wait_for(f"the row of {name} to be selected", lambda: list(table.getSelectedRows()) == [row])
        return row

    def header_centre(self, program, column):
        """The middle of a column's header: Qt gives the header no place of its own over AT-SPI, so
        it is found between the top of the list and the column's first cell."""
        table = program.List1.queryComponent().getExtents(context.pyatspi.DESKTOP_COORDS)
        cell = program.List1.queryTable().getAccessibleAt(0, column).queryComponent().getExtents(
            context.pyatspi.DESKTOP_COORDS)
        return cell.x + cell.width // 2, (table.y + cell.y) // 2

    def clipboard(self, target):
        return subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", target], env=context.SESSION.env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT).stdout

    def test_two_clicks_on_the_size_header_put_the_largest_first(self):
        """文件大小 once: folders first, then by bytes; twice: the largest first."""
        program, root = self.prepared_search("sort")
        found = program.rows()
        find_one(program.List1, "TABLE_COLUMN_HEADER", "文件大小")
        sizes = sorted(os.path.getsize(os.path.join(folder, entry))
                       for folder, _, files in os.walk(root) for entry in files
                       if "alpha" in entry.lower() and not entry.startswith("."))
        # Clicks apart, as a person clicks twice: two quick ones are a double-click.
        header = self.header_centre(program, 2)
        click_at(header)
        wait_for("the folder first", lambda: program.rows()[0][2] == "")
        self.assertEqual([row[2] for row in program.rows()[1:]], [size_text(n) for n in sizes])
        time.sleep(DOUBLE_CLICK_SECONDS)
        click_at(header)
        wait_for("the largest first", lambda: program.rows()[0][2] == size_text(sizes[-1]))
        self.assertEqual([row[2] for row in program.rows()], [size_text(n) for n in reversed(sizes)] + [""])
        screenshot("sorted-by-size.png", program.window_id)
        time.sleep(DOUBLE_CLICK_SECONDS)
        click_at(header)
        wait_for("the order found again", lambda: program.rows() == found)

    def test_ctrl_c_and_ctrl_insert_copy_the_path_as_text_and_as_a_uri_of_its_bytes(self):
        """The row's path as shown, for an editor or a terminal, and as a file URI of the name's own
        bytes, for a file manager."""
        root, odd = self.gb18030_tree("clipboard")
        program = self.start_program()
        program.search("alpha", root)
        program.wait_finished()
        self.select_row(program, "报告-alpha.txt")
        shown = os.path.join(root, "报告-alpha.txt")
        uri = "file://" + urllib.parse.quote(odd, safe="/") + "\r\n"
        for keys in ("ctrl+c", "ctrl+Insert"):
            # Something else on the clipboard first; xclip keeps serving it until the program takes over.
            subprocess.run(["xclip", "-selection", "clipboard", "/dev/null"], env=context.SESSION.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=TIMEOUT)
            key(keys)
            text = wait_for(f"the path on the clipboard after {keys}",
                            lambda: self.clipboard("UTF8_STRING").decode() == shown and shown)
            self.assertEqual(text, shown)
            self.assertEqual(self.clipboard("text/uri-list").decode(), uri)

    def drag_onto_target(self, start):
        """Drags from a point of the screen onto a GTK window of the test's own, which takes
        text/uri-list; the action it settled on and the bytes it received."""
        target = context.SESSION.spawn("drop-target", ["/usr/bin/python3", DROP_TARGET, "drop-target"],
                               stdout=subprocess.PIPE)
        self.addCleanup(stop_group, target)
        lines = Lines(target.stdout)
        self.assertEqual(lines.next("the drop target to show"), "ready")
        target_id = wait_for("the drop target's window", lambda: run(
            "xdotool", "search", "--onlyvisible", "--name", "^drop-target$", check=False).stdout.split())[0]
        run("xdotool", "windowmove", "--sync", target_id, "20", "780")
        to_x, to_y = 170, 880
        x, y = start
        run("xdotool", "mousemove", "--sync", str(x), str(y), "mousedown", "1")
        # A few steps, so that the drag starts in the list and the target follows the pointer.
        for step in range(1, 11):
            run("xdotool", "mousemove", "--sync", str(x + (to_x - x) * step // 10), str(y + (to_y - y) * step // 10))
            time.sleep(0.05)
        time.sleep(0.3)
        run("xdotool", "mouseup", "1")
        action, data = lines.next("the drop").split()[1:]
        return action, bytes.fromhex(data)

    def test_a_row_dragged_onto_another_window_hands_it_the_uri_as_a_copy(self):
        """Dropped on a GTK window of the test's own: the URI of the row's bytes, offered as a copy."""
        root, odd = self.gb18030_tree("drag")
        program = self.start_program()
        program.search("alpha", root)
        program.wait_finished()
        # The press selects the row and starts the drag.
        row = [r[0] for r in program.rows()].index("报告-alpha.txt")
        action, data = self.drag_onto_target(centre(program.List1.queryTable().getAccessibleAt(row, 0)))
        self.assertEqual(data.decode(), "file://" + urllib.parse.quote(odd, safe="/") + "\r\n")
        self.assertEqual(action, "copy")
        self.assertTrue(os.path.exists(odd), "the entry stays where it was")
        self.assertEqual(len(program.rows()), 2, "and so does its row")

    def test_ctrl_a_and_ctrl_c_put_every_row_on_the_clipboard_and_a_drag_carries_every_selected_row(self):
        """Ctrl+A then Ctrl+C: every path, one a line in the order shown, and a URI for each, for
        the file managers; two rows picked by a click and a Ctrl+click are dragged out together."""
        program, root = self.prepared_search("many")
        paths = [path for _, path, _ in program.rows()]
        uris = ["file://" + urllib.parse.quote(path, safe="/") for path in paths]
        table = program.List1.queryTable()
        click(table.getAccessibleAt(0, 0))
        key("ctrl+a")
        wait_for("every row to be selected", lambda: len(table.getSelectedRows()) == len(paths))
        subprocess.run(["xclip", "-selection", "clipboard", "/dev/null"], env=context.SESSION.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=TIMEOUT)
        key("ctrl+c")
        wait_for("every path on the clipboard", lambda: self.clipboard("UTF8_STRING").decode() == "\n".join(paths))
        self.assertEqual(self.clipboard("text/uri-list").decode(), "".join(uri + "\r\n" for uri in uris))
        self.assertEqual(self.clipboard("x-special/gnome-copied-files").decode(), "copy\n" + "\n".join(uris))

        click(table.getAccessibleAt(1, 0))
        x, y = centre(table.getAccessibleAt(3, 0))
        run("xdotool", "mousemove", "--sync", str(x), str(y), "keydown", "ctrl", "click", "1", "keyup", "ctrl")
        wait_for("two rows to be selected", lambda: sorted(table.getSelectedRows()) == [1, 3])
        time.sleep(DOUBLE_CLICK_SECONDS)
        action, data = self.drag_onto_target((x, y))
        self.assertEqual(data.decode(), uris[1] + "\r\n" + uris[3] + "\r\n")
        self.assertEqual(action, "copy")
