"""What the test cases share: prepared trees, the texts the window shows for them, the settings
file, and the base classes that start the program for each test."""

import os
import shutil
import time
import unittest

import context
from desktop import log, stop_group
from window_driver import Program


def size_text(size):
    return f" {size}".ljust(15) + "字节"


def make_tree(root, files, folders=()):
    for folder in folders:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    for path, size in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(b"x" * size)


def read_text(path):
    with open(path) as text:
        return text.read()


def cgroup_mounts(kind, controller=None):
    """Where cgroup hierarchies of a kind (cgroup2, or cgroup v1 with the controller) are mounted."""
    found = []
    for line in read_text("/proc/self/mountinfo").splitlines():
        before, _, after = line.partition(" - ")
        fields, tail = before.split(), after.split()
        if tail and tail[0] == kind and (controller is None or controller in tail[-1].split(",")):
            found.append(fields[4])
    return found


def settings_file():
    return os.path.join(context.SESSION.config, "Sorvane", "Sorvane.ini")


def grow_tree(root, folders, wanted, files_per_folder):
    """Adds folders d0000… with empty files to root until it holds wanted of them; answers wanted."""
    for f in range(folders, wanted):
        folder = os.path.join(root, f"d{f:04}")
        os.mkdir(folder)
        for n in range(files_per_folder):
            open(os.path.join(folder, f"f{n:03}.txt"), "wb").close()
    return wanted


class ProgramTest(unittest.TestCase):
    """Starts the program for each test and ends it afterwards, however the test went."""

    def setUp(self):
        # Each test starts from no stored options.
        shutil.rmtree(os.path.join(context.SESSION.config, "Sorvane"), ignore_errors=True)
        self.started = time.monotonic()

    def tearDown(self):
        log(f"{self.id().split('.', 1)[1]} took {time.monotonic() - self.started:.1f} s")

    def start_program(self, *arguments, env=None):
        process = context.SESSION.spawn("sorvane", [context.PROGRAM, *arguments], env=env)
        self.addCleanup(stop_group, process)
        return Program(process)

    def tree(self, name):
        root = os.path.join(context.SESSION.root, name)
        os.makedirs(root)
        return root


class ResultsTest(ProgramTest):
    """Searches a small prepared tree first."""

    # Names in both cases, a Chinese name, several types (their icons show in the screenshot),
    # a hidden file, a matching folder, entries that do not match, three levels.
    FILES = {
        "报告alpha.txt": 5,
        "alpha.pdf": 5000,
        "Alpha.log": 0,
        "alpha-2026.tar.gz": 123456,
        "notes.txt": 3,
        ".alpha-hidden": 1,
        "照片/ALPHA-cover.png": 20480,
        "src/alpha.cpp": 2,
        "src/beta.txt": 7,
        "src/old/alpha-dir/inside.bin": 2,
    }

    def prepared_search(self, name):
        root = self.tree(name)
        make_tree(root, self.FILES)
        program = self.start_program()
        program.search("alpha", root)
        program.wait_finished()
        return program, root

    def expected_rows(self, root):
        rows = []
        for folder, folders, files in os.walk(root):
            for entry in folders + files:
                if "alpha" in entry.lower() and not entry.startswith("."):
                    path = os.path.join(folder, entry)
                    rows.append((entry, path, "" if os.path.isdir(path) else size_text(os.path.getsize(path))))
        return rows

