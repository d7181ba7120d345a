"""What every section of bench/run shares: the driver and the trees, one command's runs, a
search's programs side by side, and the Markdown table of them."""

import datetime
import os
import platform
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.realpath(__file__))
REPO = os.path.dirname(HERE)

def log(text):
    print(text, file=sys.stderr, flush=True)


def build_driver():
    build = os.environ.get("SORVANE_BUILD_DIR", os.path.join(REPO, "build"))
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", REPO, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
                       check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j", str(os.cpu_count() or 1), "--target",
                    "sorvane-bench"], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build, "bench", "sorvane-bench")


def drop_page_cache():
    subprocess.run(["sync"], check=True)
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3\n")


def make_chain(n):
    """n nested folders, each holding one file, made by descriptors since the paths outgrow PATH_MAX."""
    root = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"sorvane-chain-{n}")
    done = root + ".done"
    if os.path.exists(done):
        return root
    if os.path.exists(root):
        subprocess.run(["rm", "-rf", "--", root], check=True)
    os.mkdir(root)
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    for _ in range(n):
        os.close(os.open("f", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd))
        os.mkdir("d", dir_fd=fd)
        below = os.open("d", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = below
    os.close(fd)
    open(done, "w").close()
    log(f"chain {root}: {n} folders")
    return root


def make_tree(n):
    root = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"sorvane-tree-{n}")
    started = time.monotonic()
    subprocess.run([os.path.join(HERE, "make-tree"), str(n), root], check=True, stdout=subprocess.DEVNULL)
    log(f"tree {root}: ready in {time.monotonic() - started:.1f} s")
    return root


class Program:
    """One command of a search: how to run it and what its runs gave."""

    def __init__(self, label, argv, is_sorvane=False, discard_output=False):
        self.label = label
        self.argv = argv
        self.is_sorvane = is_sorvane
        self.discard_output = discard_output
        self.walls = []
        self.stats = []  # sorvane-bench's last line, one dict per run
        self.rows = None

    def run(self, cold=False, home=None):
        if cold:
            drop_page_cache()
        out = subprocess.DEVNULL if self.discard_output else subprocess.PIPE
        env = dict(os.environ, LC_ALL="C.UTF-8")
        if home:
            env.update(HOME=home, XDG_CACHE_HOME=os.path.join(home, ".cache"))
        started = time.monotonic()
        done = subprocess.run(self.argv, stdout=out, stderr=subprocess.DEVNULL, env=env)
        self.walls.append(time.monotonic() - started)
        if done.returncode != 0:
            raise SystemExit(f"failed ({done.returncode}): {' '.join(self.argv)}")
        if self.is_sorvane:
            last = done.stdout.decode("utf-8", "replace").strip().splitlines()[-1]
            fields = dict(item.split("=", 1) for item in last.split())
            if "rows" not in fields:
                raise SystemExit(f"unexpected output of {' '.join(self.argv)}: {last}")
            self.stats.append(fields)
            self.rows = int(fields["rows"])
        elif done.stdout is not None:
            self.rows = done.stdout.count(b"\n")

    @property
    def median(self):
        return statistics.median(self.walls)

    def stat_median(self, key):
        return statistics.median(float(s[key]) for s in self.stats)

    def stat_list(self, key, fmt):
        return " ".join(fmt.format(float(s[key])) for s in self.stats)


class Search:
    def __init__(self, title, tree_size, programs):
        self.title = title
        self.tree_size = tree_size
        self.programs = programs

    @property
    def sorvane(self):
        return self.programs[0]

    def ratio(self, program):
        return self.sorvane.median / program.median

    def search_ratio(self, program):
        return self.sorvane.stat_median("seconds") / program.median


def sorvane(driver, root, *args):
    return Program("sorvane-bench " + " ".join(args), [driver, "--location", root, *args], is_sorvane=True)


def warm(driver, trees):
    for root in trees.values():
        for _ in range(2):
            subprocess.run(["find", root, "-printf", "%s\n"], stdout=subprocess.DEVNULL, check=True)
        subprocess.run([driver, "--location", root, "--name", "*", "--hidden"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


def first_line(argv):
    try:
        return subprocess.run(argv, capture_output=True, text=True).stdout.splitlines()[0].strip()
    except (OSError, IndexError):
        return "unknown"


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem_kib = int(next(line for line in f if line.startswith("MemTotal")).split()[1])
    commit = first_line(["git", "-C", REPO, "describe", "--always", "--dirty"])
    return (f"{datetime.date.today().isoformat()}, {os.cpu_count()} cores ({model}), "
            f"{mem_kib / 1024 / 1024:.1f} GiB memory, Linux {platform.release()}; "
            f"sorvane {commit}, {first_line(['find', '--version'])}, {first_line(['bfs', '--version'])}, "
            f"{first_line(['fdfind', '--version'])}")


def fmt_n(n):
    return f"{n // 1000}k" if n < 1_000_000 else f"{n / 1_000_000:g}M"


def table(all_searches):
    print("| search | tree | program | wall s | ratio | search ratio | rows | search s | max_gap_ms per run | peak RSS KiB per run |")
    print("|---|---|---|---:|---:|---:|---:|---:|---|---|")
    for s in all_searches:
        for p in s.programs:
            rows = "" if p.rows is None else str(p.rows)
            label = f"`{p.label}`"
            if p.is_sorvane:
                print(f"| {s.title} | {fmt_n(s.tree_size)} | {label} | {p.median:.3f} | | | {rows} | "
                      f"{p.stat_median('seconds'):.3f} | {p.stat_list('max_gap_ms', '{:.1f}')} | "
                      f"{p.stat_list('peak_rss_kib', '{:.0f}')} |")
            else:
                print(f"| {s.title} | {fmt_n(s.tree_size)} | {label} | {p.median:.3f} | "
                      f"{s.ratio(p):.2f} | {s.search_ratio(p):.2f} | {rows} | | | |")
    print()
