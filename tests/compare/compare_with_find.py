#!/usr/bin/env python3
"""Runs searches through sorvane-bench on a generated tree and compares the rows with what GNU
find reports for the same request.

usage: compare_with_find.py SORVANE_BENCH MAKE_TREE

Rows and find's output are compared as sets of paths, in bytes (some names are not UTF-8). Every
search must also list each entry once, in breadth-first order: the depth of the rows never
decreases. The search of every entry checks the size texts and that the rows of a folder come
together, in the order in which their folders were listed.

As root the tree also holds mounts, which find walks into: a bind mount of another folder of the
same volume, a folder bound over another and a tmpfs. Elsewhere that part is left out and said so.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

TREE_ENTRIES = 4000
PICTURE_EXTENSIONS = ["BMP", "GIF", "JPG", "JPEG", "PSD", "PCX", "PNG", "TIFF", "DXF", "WMF",
                      "EMF", "SWF", "SVG"]


def either(*tests):
    """find's "( a -o b -o c )", each test a list of arguments."""
    joined = []
    for test in tests:
        joined += (["-o"] if joined else []) + test
    return ["(", *joined, ")"]


def extension_is(ext, case_blind):
    """The name's text after its last ".", or the whole name when it has none, equals ext."""
    name = "-iname" if case_blind else "-name"
    return either([name, f"*.{ext}"], [name, ext])


PICTURES = either(*[extension_is(ext, True) for ext in PICTURE_EXTENSIONS])

# name, sorvane-bench options, find's test for the same request. Entries whose own name starts
# with "." are left out unless the options hold --hidden; find still descends into hidden
# folders, as the search does.
CASES = [
    # Name contains the text.
    ("contains, case-blind", ["--name", "rep"], ["-iname", "*rep*"]),
    ("contains, case-sensitive", ["--name", "Rep", "--case"], ["-name", "*Rep*"]),
    ("contains, hidden entries included", ["--name", "data", "--hidden"], ["-iname", "*data*"]),
    ("contains, brackets are plain text", ["--name", "[x]"], ["-iname", "*[[]x]*"]),
    ("contains, Chinese text matches UTF-8 and GB18030 names", ["--name", "报告"],
     either(["-name", "*报告*".encode()], ["-name", "*".encode() + "报告".encode("gb18030") + b"*"])),
    # A dot as the second character: the extension is matched as a wildcard, or the name holds
    # the whole text.
    ("extension, case-blind", ["--name", "*.txt"],
     either(extension_is("txt", True), ["-iname", "*[*].txt*"])),
    ("extension, case-sensitive", ["--name", "*.TXT", "--case"],
     either(extension_is("TXT", False), ["-name", "*[*].TXT*"])),
    ("extension, wildcard list and star", ["--name", "x.[jp]*g"],
     ["-regextype", "posix-extended", "-iregex", r".*/([^/]*\.)?[jp][^/.]*g"]),
    ("extension, every extension with '*.*'", ["--name", "*.*"], ["-true"]),
    # Whole word: the whole name matches the pattern.
    ("whole word, star, digit and question mark", ["--name", "*_#.t?t", "--whole-word"],
     ["-iname", "*_[0-9].t?t"]),
    ("whole word, negated list, case-blind", ["--name", "[!r]*_1#.*", "--whole-word"],
     ["-iname", "[!r]*_1[0-9].*"]),
    ("whole word, case-sensitive", ["--name", "Report*", "--whole-word", "--case"],
     ["-name", "Report*"]),
    ("whole word, a lone '*' finds nothing", ["--name", "*", "--whole-word"], ["-false"]),
    ("whole word, unclosed list finds nothing", ["--name", "[ab*", "--whole-word"], ["-false"]),
    # File type categories: links are entries of their own, never folders.
    ("pictures are files by extension", ["--name", "*", "--type", "3"], ["!", "-type", "d", *PICTURES]),
    ("pictures, case-sensitive request still case-blind on extensions",
     ["--name", "*", "--type", "3", "--case", "--hidden"], ["!", "-type", "d", *PICTURES]),
    ("folders only", ["--name", "a", "--type", "9"], ["-type", "d", "-iname", "*a*"]),
    # Everything.
    ("every entry but hidden ones", ["--name", "*"], ["-true"]),
    ("every entry", ["--name", "*", "--hidden"], ["-true"]),
]

ROW = re.compile(rb"([^\t\n]*)\t([^\t\n]*)\t([^\t\n]*)")
STATS = re.compile(rb"rows=(\d+) entries=(\d+) folders=(\d+) .*")


def show(path, root):
    return os.fsdecode(os.path.relpath(path, root)).encode("utf-8", "surrogateescape").decode("utf-8", "backslashreplace")


def run_find(root, test, hidden):
    argv = [b"find", root, b"-mindepth", b"1", *[os.fsencode(a) for a in test]]
    if not hidden:
        argv += [b"!", b"-name", b".*"]
    # The C locale compares bytes, so names that are not UTF-8 match like any other.
    out = subprocess.run(argv + [b"-print0"], capture_output=True, check=True,
                         env=dict(os.environ, LC_ALL="C")).stdout
    return [p for p in out.split(b"\0") if p]


def run_sorvane(bench, root, options):
    done = subprocess.run([bench, "--location", os.fsdecode(root), *options, "--rows"],
                          capture_output=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    lines = done.stdout.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    problems = []
    if done.returncode != 0:
        problems.append(f"sorvane-bench exited with {done.returncode}: {done.stderr.decode(errors='replace')}")
    if not lines or not STATS.fullmatch(lines[-1]):
        problems.append(f"no statistics line at the end; output ends with {lines[-1:]!r}")
        return [], problems
    rows = []
    for line in lines[:-1]:
        m = ROW.fullmatch(line)
        if not m:
            problems.append(f"not a row: {line!r}")
            continue
        rows.append((m.group(1), m.group(2), m.group(3).decode("utf-8", "replace")))
    if int(STATS.fullmatch(lines[-1]).group(1)) != len(rows):
        problems.append(f"rows= says {STATS.fullmatch(lines[-1]).group(1)}, {len(rows)} rows printed")
    return rows, problems


def row_shape_problems(rows, root):
    """Each row is its entry's name and full path, listed once, never deeper before shallower."""
    problems = []
    seen = set()
    depth = 0
    for index, (name, path, _) in enumerate(rows):
        if not path.startswith(root + b"/") or os.path.basename(path) != name:
            problems.append(f"row {index}: name {name!r} does not end the path {path!r} under the root")
        if path in seen:
            problems.append(f"row {index}: {show(path, root)} listed twice")
        seen.add(path)
        d = path.count(b"/")
        if d < depth:
            problems.append(f"row {index}: {show(path, root)} has depth {d} after a row of depth {depth}")
        depth = max(depth, d)
    return problems


def set_problems(rows, expected, root):
    actual = {path for _, path, _ in rows}
    wanted = set(expected)
    problems = []
    for label, paths in (("found by find, missing from the rows", wanted - actual),
                         ("in the rows, not found by find", actual - wanted)):
        if paths:
            listed = sorted(paths)
            problems.append(f"{len(listed)} {label}:\n" + "\n".join(
                f"      {show(p, root)}" for p in listed[:25]) + ("\n      ..." if len(listed) > 25 else ""))
    return problems


def every_entry_problems(rows, root):
    """Size texts as find sees the lengths; the rows of a folder follow its parent's order."""
    out = subprocess.run([b"find", root, b"-mindepth", b"1", b"-printf", b"%y %s %p\\0"],
                         capture_output=True, check=True).stdout
    kinds = {}
    for record in filter(None, out.split(b"\0")):
        kind, size, path = record.split(b" ", 2)
        kinds[path] = (kind.decode(), int(size))
    problems = []
    folder_position = {root: -1}
    last_parent_position = -1
    for index, (name, path, size_text) in enumerate(rows):
        kind, size = kinds.get(path, ("?", 0))
        expected = "" if kind == "d" else f" {size}".ljust(15) + "字节"
        if size_text != expected:
            problems.append(f"{show(path, root)} ({kind}, {size} bytes): size text {size_text!r}, expected {expected!r}")
        parent = os.path.dirname(path)
        position = folder_position.get(parent)
        if position is None:
            problems.append(f"row {index}: {show(path, root)} comes before its folder's own row")
        elif position < last_parent_position:
            problems.append(f"row {index}: {show(path, root)} belongs to a folder listed before the previous row's folder")
        else:
            last_parent_position = position
        if kind == "d":
            folder_position[path] = index
    return problems[:25]


def mount_inside(root, work, mounted):
    """Mounts below the tree, each added to mounted once made, for the caller to undo; why there
    are none, or None."""
    if os.geteuid() != 0:
        return "not root: the tree holds no mounts"
    outside = os.path.join(work, "outside")
    os.makedirs(os.path.join(outside, "deeper"))
    for name in ("Report_mounted_1.txt", "deeper/mounted_data_7.jpg"):
        open(os.path.join(outside, name), "w").close()
    folders = sorted(d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d)) and not d.startswith("."))
    memory = os.path.join(root, folders[1], "in-memory")
    for source, target in ((os.path.join(root, folders[0]), os.path.join(root, folders[1], "bound-sibling")),
                           (outside, os.path.join(root, folders[2])),
                           (None, memory)):
        os.makedirs(target, exist_ok=True)
        how = ["--bind", source] if source else ["-t", "tmpfs", "sorvane-compare"]
        subprocess.run(["mount", *how, target], check=True)
        mounted.append(target)
    for name in ("report_tmpfs_2.txt", "photo_tmpfs.png"):
        open(os.path.join(memory, name), "w").close()
    return None


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    bench, make_tree = argv[1], argv[2]
    work = tempfile.mkdtemp(prefix="sorvane-compare-")
    mounted = []
    try:
        root = os.path.join(work, "tree")
        subprocess.run([make_tree, str(TREE_ENTRIES), root], check=True, stdout=subprocess.DEVNULL)
        why_not = mount_inside(root, work, mounted)
        print(f"mounts inside the tree: {why_not or ', '.join(mounted)}")
        entries = int(subprocess.run(["find", root, "-mindepth", "1", "-printf", "."], capture_output=True,
                                     check=True).stdout.count(b"."))
        root = os.fsencode(root)
        failed = 0
        for title, options, test in CASES:
            hidden = "--hidden" in options
            rows, problems = run_sorvane(bench, root, options)
            # Folders read ahead on worker threads change nothing: the same rows in the same order.
            direct_rows, direct_problems = run_sorvane(bench, root, options + ["--no-read-ahead"])
            problems += direct_problems
            if direct_rows != rows:
                problems.append(f"without read-ahead: {len(direct_rows)} rows, not the same rows in the same order")
            problems += row_shape_problems(rows, root)
            problems += set_problems(rows, run_find(root, test, hidden), root)
            if options == ["--name", "*", "--hidden"]:
                if len(rows) != entries:
                    problems.append(f"{len(rows)} rows for a tree of {entries} entries")
                problems += every_entry_problems(rows, root)
            request = " ".join(options)
            if problems:
                failed += 1
                print(f"FAIL  {title}  [{request}], {len(rows)} rows")
                for p in problems:
                    print("    " + p)
            else:
                print(f"ok    {title}  [{request}], {len(rows)} rows")
        print(f"{len(CASES) - failed} of {len(CASES)} requests agree with find")
        return 1 if failed else 0
    finally:
        for target in reversed(mounted):
            subprocess.run(["umount", "-l", target])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
