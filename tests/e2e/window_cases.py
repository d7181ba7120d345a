"""The window itself and the program's start: controls named for screen readers and reached by
Tab, options kept across a restart, one instance only, the size it grows to, a folder to start on."""

import configparser
import os
import shutil
import subprocess
import tempfile
import time

import context
from case_support import ProgramTest, grow_tree, make_tree, settings_file, size_text
from desktop import TIMEOUT, log, run, stop_group, wait_for
from window_driver import (children, click, find_all, find_one, has_state, key, labelled_by, role, screenshot,
                           type_text)


class AccessibleWindow(ProgramTest):

    def test_every_control_is_named_for_screen_readers(self):
        """The fields read their labels' captions, the boxes and buttons theirs, the list its name."""
        program = self.start_program()
        self.assertEqual(program.window.getRole(), role("FRAME"), "the window reads as a frame")
        self.assertEqual(program.Text1.name, "请输入文件名")
        self.assertEqual(labelled_by(program.Text1), "请输入文件名")
        # On Linux Qt names a combo box by its value and ties the caption to it as its label.
        self.assertEqual(labelled_by(program.Combo1), "搜索位置")
        self.assertEqual(labelled_by(program.Combo2), "文件类型")
        self.assertEqual(find_one(program.Combo1, "TEXT").name, "搜索位置",
                         "the location's own text field is named too")
        self.assertEqual(program.Combo1.name, "全盘搜索")
        self.assertEqual(program.Combo2.name, "所有文件")
        self.assertEqual(program.List1.name, "搜索结果")
        headers = [h.name for h in find_all(program.List1, "TABLE_COLUMN_HEADER")]
        self.assertEqual(headers, ["文件名称", "文件位置", "文件大小", "修改日期"])
        self.assertEqual(program.Panel1.getRole(), role("LABEL"))
        self.assertEqual(program.Panel2.getRole(), role("LABEL"))
        self.assertEqual((program.Panel1.name, program.Panel2.name), ("", ""), "both panels start empty")
        self.assertEqual((program.Panel1.description, program.Panel2.description), ("搜索状态", "搜索进度"),
                         "the panels say which is which")
        self.assertFalse(has_state(program.Command2, "ENABLED"), "the stop button starts disabled")
        self.assertTrue(has_state(program.Text1, "FOCUSED"), "the focus starts in the name field")

    def test_tab_visits_every_enabled_control_in_order(self):
        """Tab walks name, start, list, location, the options and the type, then comes back."""
        program = self.start_program()
        expected = [program.Text1, program.Command1, program.List1, find_one(program.Combo1, "TEXT"),
                    program.Check1, program.Check2, program.Combo2, program.Check3, program.Check4, program.Text1]
        names = ["Text1", "Command1", "List1", "Combo1", "Check1", "Check2", "Combo2", "Check3", "Check4", "Text1"]
        visited = []
        for step, (wanted, name) in enumerate(zip(expected, names)):
            if step > 0:
                key("Tab")
            wait_for(f"the focus on {name}", lambda: has_state(wanted, "FOCUSED"))
            visited.append(name)
        self.assertEqual(visited, names)


class OptionsAndInstances(ProgramTest):

    def test_ticked_match_case_survives_a_restart_and_is_stored(self):
        """区分大小写 ticked, the window closed with alt+F4: the next start shows it ticked."""
        program = self.start_program()
        self.assertFalse(has_state(program.Check2, "CHECKED"))
        click(program.Check2)
        wait_for("区分大小写 to be ticked", lambda: has_state(program.Check2, "CHECKED"))
        self.assertEqual(program.close(), 0)

        stored = configparser.ConfigParser()
        stored.read(settings_file(), encoding="utf-8")
        self.assertEqual({k: v for k, v in stored["Form1"].items() if k.startswith("check")},
                         {"check1": "0", "check2": "1", "check3": "0", "check4": "0"})

        again = self.start_program()
        self.assertTrue(has_state(again.Check2, "CHECKED"), "区分大小写 is ticked again")
        self.assertFalse(has_state(again.Check1, "CHECKED"))
        self.assertFalse(has_state(again.Check3, "CHECKED"))

    def test_ticked_pinyin_finds_chinese_names_by_their_initials(self):
        """"bgjh" finds nothing, then with 拼音匹配 ticked finds the two names of 办公计划."""
        root = self.tree("pinyin")
        make_tree(root, {"办公计划.docx": 10, "银行流水.xlsx": 20, "budget.txt": 3, "旧/办公计划-副本.docx": 4})
        program = self.start_program()
        program.search("bgjh", root)
        program.wait_finished()
        self.assertEqual(program.Panel1.name, "找到 0 个文件")
        click(program.Check4)
        wait_for("拼音匹配 to be ticked", lambda: has_state(program.Check4, "CHECKED"))
        program.search("bgjh", root)
        # The count differs from the first search's, so the old end text cannot pass for the new.
        wait_for("the count of the second search", lambda: program.Panel1.name == "找到 2 个文件")
        program.wait_finished()
        self.assertEqual(program.rows(), [
            ("办公计划.docx", os.path.join(root, "办公计划.docx"), size_text(10)),
            ("办公计划-副本.docx", os.path.join(root, "旧", "办公计划-副本.docx"), size_text(4))])
        screenshot("pinyin-search.png", program.window_id)

    def test_second_instance_ends_by_itself_without_a_window(self):
        """A second start while one runs ends on its own, shows nothing, leaves the settings be."""
        first = self.start_program()
        click(first.Check1)  # a state that the second instance must neither read nor overwrite
        wait_for("全字匹配 to be ticked", lambda: has_state(first.Check1, "CHECKED"))
        windows = set(run("xdotool", "search", "--name", "^Sorvane$").stdout.split())
        second = context.SESSION.spawn("sorvane-second", [context.PROGRAM])
        self.addCleanup(stop_group, second)
        seen = set()
        deadline = time.monotonic() + TIMEOUT
        while second.poll() is None and time.monotonic() < deadline:
            seen |= set(run("xdotool", "search", "--pid", str(second.pid), check=False).stdout.split())
            time.sleep(0.05)
        self.assertEqual(second.poll(), 0, f"the second instance ends with status 0 within {TIMEOUT:.0f} s")
        self.assertEqual(seen, set(), "the second instance made no window")
        self.assertEqual(set(run("xdotool", "search", "--name", "^Sorvane$").stdout.split()), windows)
        apps = [a for a in children(context.pyatspi.Registry.getDesktop(0))
                if a is not None and a.name == "Sorvane"]
        self.assertEqual([a.get_process_id() for a in apps], [first.process.pid])
        self.assertFalse(os.path.exists(settings_file()), "the second instance wrote no settings")
        self.assertTrue(has_state(first.Check1, "CHECKED"), "the first instance goes on as it was")


class WindowThatGrows(ProgramTest):

    def client_size(self, program):
        info = {}
        for line in run("xwininfo", "-id", program.window_id).stdout.splitlines():
            name, _, value = line.strip().partition(":")
            info[name] = value.strip()
        return int(info["Width"]), int(info["Height"])

    def extents(self, accessible, program):
        """A control's place within the window."""
        box = accessible.queryComponent().getExtents(context.pyatspi.DESKTOP_COORDS)
        window = program.window.queryComponent().getExtents(context.pyatspi.DESKTOP_COORDS)
        return box.x - window.x, box.y - window.y, box.width, box.height

    def test_a_window_resized_larger_grows_its_list_and_starts_again_at_that_size(self):
        """Made 300 × 200 larger: the list takes it all, the request controls stay; closed and
        started again, the window has that size."""
        program = self.start_program()
        self.assertEqual(self.client_size(program), (546, 426))
        fixed = [program.Text1, program.Combo1, program.Check1, program.Command1, program.Command2]
        before = [self.extents(c, program) for c in fixed]
        x, y, width, height = self.extents(program.List1, program)
        run("xdotool", "windowsize", "--sync", program.window_id, "846", "626")
        wait_for("the window to be 846 × 626", lambda: self.client_size(program) == (846, 626))
        grown = (x, y, width + 300, height + 200)
        wait_for("the list to grow by as much", lambda: self.extents(program.List1, program) == grown)
        self.assertEqual([self.extents(c, program) for c in fixed], before, "the request controls stay")
        screenshot("window-larger.png", program.window_id)
        self.assertEqual(program.close(), 0)

        stored = configparser.ConfigParser()
        stored.read(settings_file(), encoding="utf-8")
        self.assertEqual(stored["Form1"]["size"], "846x626")
        again = self.start_program()
        self.assertEqual(self.client_size(again), (846, 626))
        self.assertEqual(self.extents(again.List1, again), grown)


class StartOnAFolder(ProgramTest):

    def second_start(self, folder):
        """Starts the program again on folder; returns its status and how long it ran."""
        started = time.monotonic()
        second = context.SESSION.spawn("sorvane-second", [context.PROGRAM, folder])
        self.addCleanup(stop_group, second)
        try:
            status = second.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the second start still runs after {TIMEOUT:.0f} s")
        return status, time.monotonic() - started

    def test_started_on_a_folder_the_location_shows_it_and_nothing_is_searched(self):
        """sorvane FOLDER: the window opens on that folder, ready; Enter then searches there."""
        root = self.tree("start-here")
        make_tree(root, {"a.txt": 1, "sub/b.txt": 2})
        program = self.start_program(os.path.join(root, "sub", ".."))
        self.assertEqual(program.Combo1.name, os.path.join(root, "sub", ".."), "the folder as given, made absolute")
        self.assertEqual((program.Panel1.name, program.Panel2.name, program.List1.queryTable().nRows), ("", "", 0),
                         "no search started by itself")
        self.assertTrue(has_state(program.Text1, "FOCUSED"), "the focus starts in the name field")
        type_text("txt")
        key("Return")
        program.wait_finished()
        self.assertCountEqual([row[0] for row in program.rows()], ["a.txt", "b.txt"])

    def test_a_second_start_hands_its_folder_to_the_running_window_which_comes_forward(self):
        """The running window, minimized, comes back active showing the folder; a running search
        goes on to its end; the second start ends within 2 s without a window of its own."""
        # 40,000 files: on memory where the machine has it, since a slow disk takes a minute.
        root = self.tree("hand-over")
        if os.access("/dev/shm", os.W_OK):
            root = tempfile.mkdtemp(prefix="sv-hand-over-", dir="/dev/shm")
            self.addCleanup(shutil.rmtree, root, True)
        everything = grow_tree(root, 0, 200, 200) * 201
        target = self.tree("handed-over")
        program = self.start_program()
        program.search("", root, start=False)
        context.EVENTS.enabled.clear()
        key("Return")
        context.EVENTS.wait_enabled(program.Command2, "the search to start")
        run("xdotool", "windowminimize", "--sync", program.window_id)
        running = has_state(program.Command2, "ENABLED")
        wait_for("the window to be minimized", lambda: not has_state(program.window, "ACTIVE"))

        status, seconds = self.second_start(target)
        log(f"the second start ended with {status} after {seconds:.2f} s; the search was "
            f"{'still running' if running else 'already over'} once the window was minimized")
        self.assertEqual(status, 0)
        self.assertLess(seconds, 2.0)
        wait_for("the handed-over folder in the location field", lambda: program.Combo1.name == target)
        wait_for("the window to be active again", lambda: has_state(program.window, "ACTIVE"))
        self.assertTrue(has_state(program.window, "SHOWING"))
        self.assertEqual(run("xdotool", "search", "--pid", str(program.process.pid), "--onlyvisible",
                             "--name", "^Sorvane$").stdout.split(), [program.window_id])
        program.wait_finished()
        self.assertEqual(program.Panel1.name, f"找到 {everything} 个文件", "the search was not disturbed")

        # Anything but a folder is ignored: the location stays.
        status, _ = self.second_start(os.path.join(root, "d0000", "f000.txt"))
        self.assertEqual(status, 0)
        time.sleep(0.5)
        self.assertEqual(program.Combo1.name, target)
