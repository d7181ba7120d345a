"""Starting and stopping a search: the stop button on a large tree, the location field and the
keypad's Enter, the window's first place, and a folder renamed while the walk is below it."""

import os
import subprocess

import context
from case_support import ProgramTest, grow_tree, make_tree
from desktop import log, run, wait_for
from window_driver import centre, find_one, has_state, key, type_text, wait_until_focused


class StopSearch(ProgramTest):

    FOLDERS = 200
    FILES_PER_FOLDER = 200

    def test_stop_button_ends_a_large_search_early(self):
        """The stop button, clicked while a large tree is walked, ends the search at once."""
        root = self.tree("large")
        program = self.start_program()
        folders = 0
        for attempt in range(3):
            folders = grow_tree(root, folders, self.FOLDERS << attempt, self.FILES_PER_FOLDER)
            everything = folders * (1 + self.FILES_PER_FOLDER)
            program.search("", root, start=False)
            x, y = centre(program.Command2)
            run("xdotool", "mousemove", "--sync", str(x), str(y))
            context.EVENTS.enabled.clear()
            key("Return")
            # The stop button's enabling is announced from inside the start of the search; the
            # click then lands in one of the walk's first yields.
            context.EVENTS.wait_enabled(program.Command2, "the stop button to be enabled")
            run("xdotool", "click", "1")
            # A second attempt searches a remembered location: panel 2 may count rows left unconfirmed.
            program.wait_stopped()
            count = program.List1.queryTable().nRows
            self.assertEqual(program.Panel1.name, f"找到 {count} 个文件")
            self.assertFalse(has_state(program.Command2, "ENABLED"))
            if count < everything:
                break
            # A machine fast enough to walk the whole tree before the click arrives.
            log(f"all {everything} entries were found before the stop; again with a larger tree")
        self.assertLess(count, everything, "the search stopped before the end of the tree")
        log(f"stopped after {count} of {everything} entries")


class LocationAndKeys(ProgramTest):
    """The location field, the keypad's Enter and the window's first place, on a real desktop."""

    def test_window_first_shows_centred_on_the_screen(self):
        """The window with the frame the window manager gave it, centred on the screen."""
        program = self.start_program()
        screen = [int(n) for n in run("xdotool", "getdisplaygeometry").stdout.split()]

        def frame_centre():
            # xwininfo, since xdotool's geometry counts the frame twice under a reparenting manager.
            info = {}
            for line in run("xwininfo", "-id", program.window_id).stdout.splitlines():
                name, _, value = line.strip().partition(":")
                info[name] = value.strip()
            extents = run("xprop", "-id", program.window_id, "_NET_FRAME_EXTENTS").stdout
            left, right, top, bottom = [int(n) for n in extents.split("=")[1].split(",")]
            x = int(info["Absolute upper-left X"]) - left + (left + int(info["Width"]) + right) / 2
            y = int(info["Absolute upper-left Y"]) - top + (top + int(info["Height"]) + bottom) / 2
            return x, y

        def centred():
            x, y = frame_centre()
            return abs(x - screen[0] / 2) <= 2 and abs(y - screen[1] / 2) <= 2

        try:
            wait_for("the window centred on the screen", centred, timeout=5)
        except AssertionError:
            self.fail(f"frame centre {frame_centre()}, screen {screen}")

    def test_keypad_enter_starts_a_search(self):
        root = self.tree("keypad")
        make_tree(root, {"one.txt": 1, "two.txt": 2})
        program = self.start_program()
        program.search("txt", root, start=False)
        key("KP_Enter")
        program.wait_finished()
        self.assertEqual(program.Panel1.name, "找到 2 个文件")

    def test_a_typed_prefix_of_a_remembered_location_searches_what_was_typed(self):
        root = self.tree("prefix")
        make_tree(root, {"docs/top.txt": 1, "docs/old/inner.txt": 1})
        program = self.start_program()
        program.search("txt", os.path.join(root, "docs", "old"))
        program.wait_finished()
        self.assertEqual(program.Panel1.name, "找到 1 个文件")
        # search() waits until the field reads exactly what was typed: nothing was filled in.
        program.search("txt", os.path.join(root, "docs"))
        program.wait_finished()
        self.assertEqual(program.Combo1.name, os.path.join(root, "docs"))
        self.assertEqual(sorted(path for _, path, _ in program.rows()),
                         [os.path.join(root, "docs", "old", "inner.txt"), os.path.join(root, "docs", "top.txt")])


class RenameDuringASearch(ProgramTest):
    """A folder renamed from its row while the walk is still below it."""

    FOLDERS = 40000

    def cold_volume(self):
        """A tree on an ext4 image read past the page cache (a loop device with direct I/O), built
        and then mounted afresh, so that the walk waits on the disk as on a cold one."""
        if os.geteuid() != 0:
            self.skipTest("mounting a loop device needs root")
        image = os.path.join(context.SESSION.root, "cold.img")
        with open(image, "wb") as out:
            out.truncate(256 << 20)
        subprocess.run(["mkfs.ext4", "-q", "-F", "-N", str(2 * self.FOLDERS + 1000), image], check=True)
        folder = self.tree("cold")
        if subprocess.run(["mount", "-o", "loop", image, folder]).returncode != 0:
            self.skipTest("this machine mounts no loop device")
        os.rmdir(os.path.join(folder, "lost+found"))  # the root then holds "target" alone
        for f in range(self.FOLDERS):
            sub = os.path.join(folder, "target", f"d{f:05}")
            os.makedirs(sub)
            open(os.path.join(sub, "f.txt"), "wb").close()
        subprocess.run(["umount", folder], check=True)
        device = subprocess.run(["losetup", "--direct-io=on", "-f", "--show", image], check=True,
                                stdout=subprocess.PIPE, text=True).stdout.strip()
        self.addCleanup(subprocess.run, ["losetup", "-d", device], check=False)
        subprocess.run(["mount", device, folder], check=True)
        self.addCleanup(subprocess.run, ["umount", folder], check=False)
        return folder

    def test_the_search_goes_on_in_the_renamed_folder_and_its_rows_follow(self):
        root = self.cold_volume()
        everything = 1 + 2 * self.FOLDERS
        program = self.start_program()
        # Where the first row shows, from a search elsewhere that leaves the cold tree cold.
        probe = self.tree("probe")
        make_tree(probe, {}, folders=["target"])
        program.search("*", probe)
        program.wait_finished()
        x, y = centre(program.List1.queryTable().getAccessibleAt(0, 0))
        program.search("*", root, start=False)
        run("xdotool", "mousemove", "--sync", str(x), str(y))
        key("Return")
        # The walk waits on the disk folder by folder: the row "target" is selected and renamed
        # long before the walk has been through its sub-folders.
        wait_for("the first row", lambda: program.List1.queryTable().nRows > 0, interval=0.02)
        run("xdotool", "click", "1", "key", "F2")
        dialog = wait_for("the rename dialog", lambda: program.top_level("DIALOG", "重命名文件"))
        self.assertNotEqual(program.Panel2.name, "已完成搜索", "the search ended before the rename")
        log(f"renaming at {program.Panel1.name}")
        wait_until_focused(find_one(dialog, "TEXT"), "the new name's field")
        type_text("renamed")
        wait_for("the new name in the dialog",
                 lambda: find_one(dialog, "TEXT").queryText().getText(0, -1) == "renamed")
        key("Return")
        program.wait_finished()
        self.assertTrue(os.path.isdir(os.path.join(root, "renamed")))
        self.assertEqual(program.Panel1.name, f"找到 {everything} 个文件")
        # Rows from before the rename and from after it; reading all of them over the bus takes long.
        table = program.List1.queryTable()
        sample = list(range(0, 200)) + list(range(everything - 200, everything))
        paths = [table.getAccessibleAt(r, 1).name for r in sample]
        renamed = os.path.join(root, "renamed")
        self.assertEqual([p for p in paths if p != renamed and not p.startswith(renamed + "/")], [])
