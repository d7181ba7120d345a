"""The searches of the tree against find, bfs and fd, warm and cold, and 拼音匹配 against the
same search unticked: what each runs and how its table and goals are printed."""

import os

from bench_common import Program, Search, fmt_n, log, machine, sorvane, table

PICTURE_EXTENSIONS = ["BMP", "GIF", "JPG", "JPEG", "PSD", "PCX", "PNG", "TIFF", "DXF", "WMF",
                      "EMF", "SWF", "SVG"]
RARE = "quokka"
WHOLE_WORD = "report*.txt"


def picture_test():
    test = []
    for ext in PICTURE_EXTENSIONS:
        test += ["-iname", f"*.{ext}", "-o", "-iname", ext, "-o"]
    return ["(", *test[:-1], ")"]


def rare_name(driver, root):
    """The rare name's search, and find's and bfs's."""
    return [sorvane(driver, root, "--name", RARE),
            Program(f"find -iname '*{RARE}*'", ["find", root, "-iname", f"*{RARE}*"]),
            Program(f"bfs -iname '*{RARE}*'", ["bfs", root, "-iname", f"*{RARE}*"])]


def every_entry(driver, root):
    """Every entry a row, and find and bfs printing what a row shows: name, path, size, time."""
    return [sorvane(driver, root, "--name", "*", "--hidden")] + [
        Program(f"{walker} -printf '%f\\t%p\\t%s\\t%T@\\n' >/dev/null",
                [walker, root, "-printf", "%f\t%p\t%s\t%T@\n"], discard_output=True) for walker in ("find", "bfs")]


def searches(driver, trees, small, large, has_fd):
    result = []
    for n in (small, large):
        root = trees[n]
        rare = rare_name(driver, root)
        if has_fd:
            rare.append(Program(f"fdfind -u -j1 -i {RARE}", ["fdfind", "-u", "-j1", "-i", RARE, root]))
        result.append(Search("rare name", n, rare))
        result.append(Search("every entry a row", n, every_entry(driver, root)))
    root = trees[small]
    pictures = ["-mindepth", "1", "!", "-type", "d", "!", "-name", ".*", *picture_test()]
    result.append(Search("pictures (type 3)", small, [
        sorvane(driver, root, "--name", "*", "--type", "3"),
        Program("find ! -type d ! -name '.*' -iname picture extensions", ["find", root, *pictures]),
        Program("bfs ! -type d ! -name '.*' -iname picture extensions", ["bfs", root, *pictures])]))
    whole = ["-mindepth", "1", "-iname", WHOLE_WORD, "!", "-name", ".*"]
    result.append(Search("whole word", small, [
        sorvane(driver, root, "--name", WHOLE_WORD, "--whole-word"),
        Program(f"find -iname '{WHOLE_WORD}' ! -name '.*'", ["find", root, *whole]),
        Program(f"bfs -iname '{WHOLE_WORD}' ! -name '.*'", ["bfs", root, *whole])]))
    return result


def chain_search(driver, root, n):
    return Search("rare name, chain", n, rare_name(driver, root))


def cold_searches(driver, root, n):
    fd = [(f"fdfind -u -j{j} -i {RARE}", j) for j in sorted({1, os.cpu_count() or 1, 8})]
    rare = rare_name(driver, root)
    rare[0].argv.append("--watch-stalls")
    rare += [Program(label, ["fdfind", "-u", f"-j{j}", "-i", RARE, root]) for label, j in fd]
    every = every_entry(driver, root)
    every[0].argv.append("--watch-stalls")
    every += [Program(f"fdfind -u -j{j} . >/dev/null", ["fdfind", "-u", f"-j{j}", ".", root], discard_output=True)
              for _, j in fd]
    stop = [sorvane(driver, root, "--name", "*", "--hidden", "--stop-after-rows", "1000", "--watch-stalls")]
    return [Search("rare name, cold", n, rare), Search("every entry a row, cold", n, every),
            Search("stopped after 1,000 rows, cold", n, stop)]


PINYIN = "hyjl"  # the initials of 会议记录, one of the tree's Chinese words


def pinyin_search(driver, root, n):
    """The same search with 拼音匹配 ticked and unticked: what matching by readings costs."""
    return Search("pinyin initials", n, [sorvane(driver, root, "--name", PINYIN, "--pinyin"),
                                         sorvane(driver, root, "--name", PINYIN)])


def time_pinyin(search, runs):
    log(f"timing: {search.title}, {fmt_n(search.tree_size)}")
    for r in range(runs):
        for p in search.programs[r % 2:] + search.programs[:r % 2]:
            p.run()


def report_pinyin(search, runs):
    ticked, unticked = search.programs
    print(f"拼音匹配, medians of the same {runs} runs (the two interleaved):")
    print()
    print("| search | tree | program | wall s | rows | search s |")
    print("|---|---|---|---:|---:|---:|")
    for p in search.programs:
        print(f"| {search.title} | {fmt_n(search.tree_size)} | `{p.label}` | {p.median:.3f} | {p.rows} | "
              f"{p.stat_median('seconds'):.3f} |")
    wall = ticked.median / unticked.median
    own = ticked.stat_median("seconds") / unticked.stat_median("seconds")
    print()
    print("| target | measured (wall) | measured (search s) | met (wall) |")
    print("|---|---:|---:|---|")
    print(f"| pinyin, {fmt_n(search.tree_size)}: ticked ≤ 1.3 × unticked | {wall:.2f} | {own:.2f} | "
          f"{'yes' if wall <= 1.3 else 'no'} |")
    print()


def report_cold(cold, runs):
    print(f"Cold cache (page cache dropped before every run), medians of {runs} runs:")
    print()
    table(cold)
    rare, every, stop = cold
    find = rare.programs[1]
    fd8 = next(p for p in rare.programs if p.label.startswith("fdfind -u -j8 "))
    stops = [float(st["stop_ms"]) for st in stop.sorvane.stats]
    print(f"stop_ms per run (停止搜索 pressed after 1,000 rows, to the end of the search): "
          f"{' '.join(f'{v:.1f}' for v in stops)}")
    print()
    print("The processors' stalls (the longest time a processor ran not even a real-time watcher, "
          "ms) and the window's longest gap less the time its processor stood still, per run:")
    print()
    print("| search | processor_stall_ms per run | max_gap_ms per run | gap_less_stalls_ms per run |")
    print("|---|---|---|---|")
    for s in cold:
        p = s.sorvane
        print(f"| {s.title} | {p.stat_list('processor_stall_ms', '{:.1f}')} | {p.stat_list('max_gap_ms', '{:.1f}')} | "
              f"{p.stat_list('gap_less_stalls_ms', '{:.1f}')} |")
    print()
    checks = [("cold rare name: ≤ 0.7 × find", rare.ratio(find), rare.search_ratio(find), 0.7),
              ("cold rare name: ≤ 1.0 × fdfind -u -j8", rare.ratio(fd8), rare.search_ratio(fd8), 1.0),
              ("cold every entry a row: ≤ 1.0 × find -printf", every.ratio(every.programs[1]),
               every.search_ratio(every.programs[1]), 1.0),
              ("cold stop_ms in every run: ≤ 50", max(stops), None, 50.0),
              ("cold max_gap_ms in every run: ≤ 16",
               max(float(st["max_gap_ms"]) for s in cold for st in s.sorvane.stats), None, 16.0),
              ("cold max_gap_ms less the processors' stalls, every run: ≤ 16",
               max(float(st["gap_less_stalls_ms"]) for s in cold for st in s.sorvane.stats), None, 16.0)]
    print("| target | measured (wall) | measured (search s) | met (wall) |")
    print("|---|---:|---:|---|")
    for label, value, search_value, limit in checks:
        by_search = "" if search_value is None else f"{search_value:.2f}"
        print(f"| {label} | {value:.2f} | {by_search} | {'yes' if value <= limit else 'no'} |")
    print()


def report(all_searches, small, large, chain, runs, loads):
    # Other work on the machine slows some runs and lengthens yield gaps: say how busy it was.
    load = ", ".join(f"{a:.1f}" for a in loads)
    print(f"Medians of {runs} runs. {machine()}. Load average (1 min) before and after: {load}.")
    print()
    print("ratio: sorvane-bench's wall time ÷ the program's; search ratio: sorvane-bench's own "
          "search seconds (without starting Qt and the window) ÷ the program's wall time.")
    print()
    table(all_searches)

    def find(title, n):
        return next(s for s in all_searches if s.title == title and s.tree_size == n)

    rare_small, rare_large = find("rare name", small), find("rare name", large)
    every_small, every_large = find("every entry a row", small), find("every entry a row", large)
    def growth(large_run, small_run):
        return (large_run.sorvane.median / small_run.sorvane.median,
                large_run.sorvane.stat_median("seconds") / small_run.sorvane.stat_median("seconds"))

    # Each check: what, by wall time, by sorvane-bench's own search seconds (or None), limit.
    def against_bfs(search, limit=1.0):
        """The search alone against bfs, which walks breadth-first on one thread as the walk does."""
        bfs = next(p for p in search.programs if p.label.startswith("bfs "))
        return (f"{search.title}, {fmt_n(search.tree_size)}: search alone ≤ {limit:g} × bfs",
                search.search_ratio(bfs), search.search_ratio(bfs), limit)

    pictures = next(s for s in all_searches if s.title.startswith("pictures"))
    whole = next(s for s in all_searches if s.title == "whole word")
    checks = [
        *(against_bfs(s) for s in (rare_small, rare_large, every_small, every_large, pictures, whole)),
        against_bfs(chain, 1.5),
        (f"rare name, {fmt_n(small)}: ≤ 0.9 × find", rare_small.ratio(rare_small.programs[1]),
         rare_small.search_ratio(rare_small.programs[1]), 0.9),
        (f"every entry a row, {fmt_n(small)}: ≤ 1.3 × find -printf", every_small.ratio(every_small.programs[1]),
         every_small.search_ratio(every_small.programs[1]), 1.3),
        (f"growth {fmt_n(large)}/{fmt_n(small)}, rare name: ≤ 3.6", *growth(rare_large, rare_small), 3.6),
        (f"growth {fmt_n(large)}/{fmt_n(small)}, every entry a row: ≤ 3.6", *growth(every_large, every_small), 3.6),
        ("max_gap_ms in every run: ≤ 16",
         max(float(st["max_gap_ms"]) for s in all_searches for st in s.sorvane.stats), None, 16.0),
        (f"peak RSS MiB, {fmt_n(large)} rows: < 200",
         max(float(st["peak_rss_kib"]) for st in every_large.sorvane.stats) / 1024, None, 200.0),
        (f"chain of {chain.tree_size} folders: ≤ 3 × find", chain.ratio(chain.programs[1]),
         chain.search_ratio(chain.programs[1]), 3.0),
    ]
    print("| target | measured (wall) | measured (search s) | met (wall) |")
    print("|---|---:|---:|---|")
    for label, value, search_value, limit in checks:
        by_search = "" if search_value is None else f"{search_value:.2f}"
        print(f"| {label} | {value:.2f} | {by_search} | {'yes' if value <= limit else 'no'} |")
    peers = (f"For scale: `find` grows {rare_large.programs[1].median / rare_small.programs[1].median:.2f}× "
             f"(rare name) and {every_large.programs[1].median / every_small.programs[1].median:.2f}× "
             f"(-printf) from {fmt_n(small)} to {fmt_n(large)}.")
    print()
    print(peers)
