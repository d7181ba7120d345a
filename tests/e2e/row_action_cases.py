"""The actions of a row's menu carried out on the disk: rename, copy, delete, and how each fails
or is ended safely (a bind mount inside a deleted folder, a copy onto a slow volume, SIGTERM)."""

import os
import signal
import subprocess
import time

import context
from case_support import ResultsTest, cgroup_mounts, make_tree, read_text
from desktop import TIMEOUT, log, wait_for
from window_driver import (children, click, find_all, find_one, has_state, key, screenshot, type_text,
                           wait_until_focused)


class RowActions(ResultsTest):

    def choose_from_menu(self, program, row, caption):
        click(program.List1.queryTable().getAccessibleAt(row, 0), button=3)
        menu = wait_for("the popup menu", program.popup_menu)
        click(next(item for item in children(menu) if item.name == caption))
        wait_for("the menu to close", lambda: program.popup_menu() is None)

    def row_of(self, program, name):
        names = [row[0] for row in program.rows()]
        self.assertIn(name, names)
        return names.index(name)

    def open_rename_dialog(self, program, name):
        row = self.row_of(program, name)
        self.choose_from_menu(program, row, "重命名")
        dialog = wait_for("the rename dialog", lambda: program.top_level("DIALOG", "重命名文件"))
        text = find_one(dialog, "TEXT", "请输入新名字：").queryText()
        self.assertEqual(text.getText(0, -1), name)
        wait_for("the whole name to be selected", lambda: text.getNSelections() == 1
                 and tuple(text.getSelection(0)) == (0, len(name)))
        return row, text

    def type_refused_colon(self, program, text, before):
        type_text(":")
        refusal = wait_for("the refusal of the colon", lambda: program.message_box("文件名包含非法字符"))
        self.assertEqual(refusal.name, "提示")
        key("Return")
        wait_for("the message to close", lambda: not program.message_box("文件名包含非法字符"))
        self.assertEqual(text.getText(0, -1), before, "the colon never reached the name")

    def test_rename_refuses_a_typed_colon_then_renames_on_disk_and_in_the_list(self):
        """The rename dialog drops a typed ":" with its message; Enter then renames the entry."""
        program, root = self.prepared_search("rename")
        row, text = self.open_rename_dialog(program, "Alpha.log")
        size = program.rows()[row][2]
        screenshot("rename-dialog.png")

        type_text("alpha-renamed.log")
        wait_for("the typed name", lambda: text.getText(0, -1) == "alpha-renamed.log")
        self.type_refused_colon(program, text, "alpha-renamed.log")
        key("Return")
        wait_for("the dialog to close", lambda: not program.top_level("DIALOG", "重命名文件"))
        renamed = os.path.join(root, "alpha-renamed.log")
        wait_for("the row to show the new name",
                 lambda: program.rows()[row] == ("alpha-renamed.log", renamed, size))
        self.assertTrue(os.path.isfile(renamed))
        self.assertFalse(os.path.exists(os.path.join(root, "Alpha.log")))

    def test_typing_goes_on_after_a_refused_key(self):
        """Keys a, colon, b leave "ab": the refusal's message must not leave the name selected."""
        program, root = self.prepared_search("refused-key")
        _, text = self.open_rename_dialog(program, "Alpha.log")
        type_text("a")
        wait_for("the typed a", lambda: text.getText(0, -1) == "a")
        self.type_refused_colon(program, text, "a")
        type_text("b")
        typed = wait_for("the typed b", lambda: "b" in text.getText(0, -1) and text.getText(0, -1))
        self.assertEqual(typed, "ab")
        click(find_one(program.top_level("DIALOG", "重命名文件"), "PUSH_BUTTON", "取消"))
        wait_for("the dialog to close", lambda: not program.top_level("DIALOG", "重命名文件"))
        self.assertTrue(os.path.exists(os.path.join(root, "Alpha.log")), "取消 renames nothing")

    def test_copy_dialog_names_its_field_and_cancel_leaves_everything(self):
        """"复制" opens its dialog with the field named by its caption; 取消 copies nothing."""
        program, root = self.prepared_search("copy")
        before = sorted(os.listdir(root))
        self.choose_from_menu(program, self.row_of(program, "Alpha.log"), "复制")
        dialog = wait_for("the copy dialog", lambda: program.top_level("DIALOG", "复制文件"))
        find_one(dialog, "TEXT", "目标位置：")
        self.assertEqual([b.name for b in find_all(dialog, "PUSH_BUTTON")], ["确定", "取消"])
        click(find_one(dialog, "PUSH_BUTTON", "取消"))
        wait_for("the dialog to close", lambda: not program.top_level("DIALOG", "复制文件"))
        self.assertEqual(sorted(os.listdir(root)), before)

    def test_delete_answered_yes_removes_the_file_and_its_row(self):
        """"删除" asks first; "是" deletes the file and takes its row out of the list and the count."""
        program, root = self.prepared_search("delete")
        before = program.rows()
        row = self.row_of(program, "报告alpha.txt")
        self.choose_from_menu(program, row, "删除")

        question = wait_for("the delete confirmation", lambda: program.message_box("请确认是否删除？"))
        self.assertEqual(question.name, "提示")
        buttons = [b.name for b in find_all(question, "PUSH_BUTTON")]
        yes = next((b for b in find_all(question, "PUSH_BUTTON") if b.name.startswith("是")), None)
        self.assertIsNotNone(yes, f"a button reading 是 among {buttons}")
        log(f"the confirmation's buttons: {buttons}")
        click(yes)
        wait_for("the confirmation to close", lambda: not program.message_box("请确认是否删除？"))
        wait_for("the row to go", lambda: len(program.rows()) == len(before) - 1)
        self.assertEqual(program.rows(), before[:row] + before[row + 1:])
        self.assertEqual(program.Panel1.name, f"找到 {len(before) - 1} 个文件", "the count follows the rows")
        self.assertFalse(os.path.exists(os.path.join(root, "报告alpha.txt")))
        self.assertTrue(os.path.exists(os.path.join(root, "notes.txt")), "nothing else went")


    def confirm_delete(self, program):
        question = wait_for("the delete confirmation", lambda: program.message_box("请确认是否删除？"))
        yes = next((b for b in find_all(question, "PUSH_BUTTON") if b.name.startswith("是")), None)
        self.assertIsNotNone(yes, "a button reading 是")
        click(yes)
        wait_for("the confirmation to close", lambda: not program.message_box("请确认是否删除？"))

    def mount(self, *arguments):
        """Mounts for the rest of the test, or skips it where this machine does not let it."""
        if os.geteuid() != 0:
            self.skipTest("mounting needs root")
        done = subprocess.run(["mount", *arguments], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != 0:
            self.skipTest(f"mount {' '.join(arguments)} failed: {done.stdout.strip()}")
        self.addCleanup(subprocess.run, ["umount", arguments[-1]], check=False)

    def slow_volume(self, name, size_mib):
        """A small ext4 volume on a loop device that writes past the page cache (direct I/O) and
        mounted synchronous: a copy onto it takes seconds at the disk's own pace."""
        if os.geteuid() != 0:
            self.skipTest("mounting a loop device needs root")
        image = os.path.join(context.SESSION.root, name + ".img")
        with open(image, "wb") as out:
            out.truncate(size_mib << 20)
        subprocess.run(["mkfs.ext4", "-q", "-F", image], check=True)
        folder = self.tree(name)
        done = subprocess.run(["losetup", "--direct-io=on", "-f", "--show", image],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != 0:
            self.skipTest(f"no loop device: {done.stdout.strip()}")
        device = done.stdout.strip()
        self.addCleanup(subprocess.run, ["losetup", "-d", device], check=False)
        self.mount("-o", "sync", device, folder)
        self.slow_device = os.stat(device).st_rdev
        return folder

    def throttle_writes(self, process, bytes_per_second):
        """Holds the process's writes to the slow volume to a rate, since a fast disk copies too
        soon for any progress to show: by cgroup v2's io.max where its io controller is there (a
        stock Debian 12), else by cgroup v1's blkio. Answers how, or None where neither is."""
        device = f"{os.major(self.slow_device)}:{os.minor(self.slow_device)}"
        for base in cgroup_mounts("cgroup2"):
            if "io" not in read_text(os.path.join(base, "cgroup.controllers")).split():
                continue
            try:
                with open(os.path.join(base, "cgroup.subtree_control"), "w") as out:
                    out.write("+io")
            except OSError:
                continue  # the root's own processes may keep it from handing io to groups
            self.move_into_group(base, process, "io.max", f"{device} wbps={bytes_per_second}")
            return "cgroup v2 io.max"
        for base in cgroup_mounts("cgroup", "blkio"):
            if os.path.exists(os.path.join(base, "blkio.throttle.write_bps_device")):
                self.move_into_group(base, process, "blkio.throttle.write_bps_device", f"{device} {bytes_per_second}")
                return "cgroup v1 blkio"
        return None

    def move_into_group(self, base, process, limit, value):
        """Puts the process into a group of its own below base with the limit set, for the test."""
        group = os.path.join(base, f"sorvane-e2e-{os.getpid()}")
        os.makedirs(group, exist_ok=True)

        def release():
            for pid in read_text(os.path.join(group, "cgroup.procs")).split():
                with open(os.path.join(base, "cgroup.procs"), "w") as out:
                    out.write(pid)
            os.rmdir(group)

        self.addCleanup(release)
        with open(os.path.join(group, limit), "w") as out:
            out.write(value)
        with open(os.path.join(group, "cgroup.procs"), "w") as out:
            out.write(str(process.pid))

    def start_large_copy(self, target, name):
        """A program copying a 288 MiB file onto target at 40 MiB/s, its progress window showing."""
        root = self.tree(name)
        source = os.path.join(root, "alpha-big.bin")
        with open(source, "wb") as out:
            for _ in range(18):
                out.write(os.urandom(16 << 20))
        program = self.start_program()
        throttled = self.throttle_writes(program.process, 40 << 20)
        log(f"writes to the slow volume slowed by {throttled}" if throttled else "writes cannot be slowed here")
        program.search("alpha", root)
        program.wait_finished()
        self.choose_from_menu(program, self.row_of(program, "alpha-big.bin"), "复制")
        dialog = wait_for("the copy dialog", lambda: program.top_level("DIALOG", "复制文件"))
        field = find_one(dialog, "TEXT", "目标位置：")
        wait_until_focused(field, "the target's field")
        text = field.queryText()
        type_text(target)
        wait_for("the typed target", lambda: text.getText(0, -1) == target)
        key("Return")
        try:
            progress = wait_for("the progress window", lambda: program.top_level("DIALOG", "正在复制..."))
        except AssertionError:
            if not throttled and os.path.exists(os.path.join(target, "alpha-big.bin")):
                self.skipTest("the disk copied the file within half a second, and neither cgroup v2's io "
                              "controller nor cgroup v1's blkio is there to slow its writes")
            raise
        return program, source, progress

    def test_delete_of_a_folder_holding_a_bind_mount_is_refused_and_the_outside_folder_stays(self):
        """"删除" on a folder with another folder bind-mounted inside deletes nothing and says "删除失败"."""
        root = self.tree("bind-delete")
        outside = self.tree("bind-outside")
        make_tree(outside, {"one.txt": 1, "two.txt": 2, "three.txt": 3})
        make_tree(root, {"alpha-box/keep.txt": 4}, folders=["alpha-box/mnt"])
        self.mount("--bind", outside, os.path.join(root, "alpha-box", "mnt"))
        before = {name: open(os.path.join(outside, name), "rb").read() for name in os.listdir(outside)}
        program = self.start_program()
        program.search("alpha-box", root)
        program.wait_finished()
        rows = program.rows()
        self.choose_from_menu(program, self.row_of(program, "alpha-box"), "删除")
        self.confirm_delete(program)
        failure = wait_for("the failure message", lambda: program.message_box("删除失败"))
        self.assertEqual(failure.name, "提示")
        key("Return")
        wait_for("the message to close", lambda: not program.message_box("删除失败"))
        self.assertEqual(program.rows(), rows, "the row stays")
        after = {name: open(os.path.join(outside, name), "rb").read() for name in os.listdir(outside)}
        self.assertEqual(after, before, "the outside folder is intact, byte for byte")
        self.assertTrue(os.path.exists(os.path.join(root, "alpha-box", "keep.txt")), "nothing was deleted")

    def test_a_large_copy_shows_its_progress_while_the_main_window_answers(self):
        """A copy onto a slow volume shows "正在复制..." with a moving bar; the window answers meanwhile."""
        target = self.slow_volume("slow", 400)
        program, source, progress = self.start_large_copy(target, "large-copy")
        bar = find_one(progress, "PROGRESS_BAR")
        values, answers = [], []
        while has_state(progress, "SHOWING"):
            try:
                value = bar.queryValue().currentValue
                asked = time.monotonic()
                answers.append((program.window.name, time.monotonic() - asked))
            except Exception:  # the window closed between two reads
                break
            if not 0 <= value <= 1000 or not has_state(progress, "SHOWING"):
                break  # read from a window on its way out
            values.append(value)
            if len(values) == 3:
                screenshot("progress-window.png")
            time.sleep(0.03)
        log(f"bar read {len(values)} times while copying, from {values[:1]} to {values[-1:]}")
        self.assertGreaterEqual(len(set(values)), 2, "the bar moved")
        self.assertEqual(values, sorted(values), "the bar only moves forward")
        self.assertTrue(answers and all(name == "Sorvane" for name, _ in answers))
        self.assertLess(max(seconds for _, seconds in answers), 1.0, "the main window answered at once")
        wait_for("the copy dialog to close", lambda: not program.top_level("DIALOG", "复制文件"))
        self.assertIsNone(program.message_box("操作失败，无法复制文件"))
        self.assertEqual(os.path.getsize(os.path.join(target, "alpha-big.bin")), os.path.getsize(source))

    def test_a_copy_ended_by_sigterm_leaves_nothing_in_the_target(self):
        """SIGTERM (a logout, a kill) during a copy ends the program with nothing of the copy left."""
        target = self.slow_volume("slow-term", 400)
        before = sorted(os.listdir(target))
        program, _, progress = self.start_large_copy(target, "term-copy")
        bar = find_one(progress, "PROGRESS_BAR")
        wait_for("the copy to be under way", lambda: bar.queryValue().currentValue > 0)
        program.process.send_signal(signal.SIGTERM)
        try:
            status = program.process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program still runs after SIGTERM")
        self.assertEqual(status, 128 + signal.SIGTERM, "it ended by itself, as its own handler does")
        self.assertEqual(sorted(os.listdir(target)), before, "no copy, whole or in part, and no hidden file")
