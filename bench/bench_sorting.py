"""Sorting: 1M rows sorted by a header click after the search and during it, and exported."""

import os

from bench_common import fmt_n, log, machine, sorvane

SORT_GOALS = {"name": 1.0, "size": 0.3, "date": 0.3}  # seconds of the click's sort, medians
EXPORT_GOAL = 3.0  # seconds to write every row to a CSV file, median


def sorting_runs(driver, root):
    every = ["--name", "*", "--hidden"]
    export = os.path.join(os.environ.get("TMPDIR", "/tmp"), "sorvane-bench-export.csv")
    runs = [sorvane(driver, root, *every)]
    runs += [sorvane(driver, root, *every, "--sort", column) for column in ("name", "size", "path", "date")]
    runs += [sorvane(driver, root, *every, "--sort-during", column) for column in ("name", "size", "date")]
    runs += [sorvane(driver, root, *every, "--export", export)]
    return runs


def report_sorting(runs, n, count, loads):
    load = ", ".join(f"{a:.1f}" for a in loads)
    print(f"Sorting every entry of the {fmt_n(n)} tree, medians of {count} runs. {machine()}. Load average "
          f"(1 min) before and after: {load}.")
    print()
    print("sort s: a header click after the search, until the list shows the rows sorted; with "
          "--sort-during the click comes at the search's first yield, settle s is how long rows "
          "still waited for their places after the search, and max_merge_ms the longest that rows "
          "took to go into place at one go (within a yield, or between two slices after the search).")
    print()
    print("| program | sort s | export s | search s | settle s | max_gap_ms per run | max_merge_ms per run | "
          "peak RSS KiB per run |")
    print("|---|---:|---:|---:|---:|---|---|---|")
    for p in runs:
        def median(key):
            return f"{p.stat_median(key):.3f}" if key in p.stats[0] else ""
        merges = p.stat_list("max_merge_ms", "{:.1f}") if "max_merge_ms" in p.stats[0] else ""
        print(f"| `{p.label}` | {median('sort_seconds')} | {median('export_s')} | {median('seconds')} | "
              f"{median('settle_seconds')} | "
              f"{p.stat_list('max_gap_ms', '{:.1f}')} | {merges} | {p.stat_list('peak_rss_kib', '{:.0f}')} |")
    print()
    checks = []
    for column, limit in SORT_GOALS.items():
        run = next(p for p in runs if p.argv[-2:] == ["--sort", column])
        checks.append((f"sort by {column}, {fmt_n(n)} rows: ≤ {limit} s", run.stat_median("sort_seconds"), limit))
    export = next(p for p in runs if "--export" in p.argv)
    checks.append((f"export of {fmt_n(n)} rows: ≤ {EXPORT_GOAL:g} s", export.stat_median("export_s"), EXPORT_GOAL))
    during = [p for p in runs if "--sort-during" in p.argv]
    for key in ("max_merge_ms", "max_gap_ms"):
        checks.append((f"{key} while sorted during the search: ≤ 16",
                       max(float(st[key]) for p in during for st in p.stats), 16.0))
    sorted_runs = [p for p in runs if "--sort" in p.argv or "--sort-during" in p.argv]
    checks.append((f"peak RSS MiB, {fmt_n(n)} rows sorted: < 250",
                   max(float(st["peak_rss_kib"]) for p in sorted_runs for st in p.stats) / 1024, 250.0))
    print("| target | measured | met |")
    print("|---|---:|---|")
    for label, value, limit in checks:
        print(f"| {label} | {value:.2f} | {'yes' if value <= limit else 'no'} |")
    print()


def sorting(driver, root, n, count):
    runs = sorting_runs(driver, root)
    log(f"timing: sorting, {fmt_n(n)}")
    loads = [os.getloadavg()[0]]
    for r in range(count):
        shift = r % len(runs)
        for p in runs[shift:] + runs[:shift]:
            p.run()
    loads.append(os.getloadavg()[0])
    for p in runs:
        if "--export" in p.argv:
            os.remove(p.argv[p.argv.index("--export") + 1])
    report_sorting(runs, n, count, loads)
