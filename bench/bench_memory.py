"""The walk's memory: a search answered from it first, then confirmed by the walk, against the
same search from a fresh HOME and without memory."""

import os
import shutil
import tempfile

from bench_common import fmt_n, log, machine, sorvane
from bench_searches import RARE

MEMORY_SEARCHES = {"rare name": ["--name", RARE], "every entry a row": ["--name", "*", "--hidden"]}


def memory(driver, root, n, count):
    log(f"timing: the walk's memory, {fmt_n(n)}")
    loads = [os.getloadavg()[0]]
    runs = {}
    for title, args in MEMORY_SEARCHES.items():
        fresh = sorvane(driver, root, *args, "--remember")
        remembered = sorvane(driver, root, *args, "--remember", "--type-ahead", RARE)
        without = sorvane(driver, root, *args, "--no-memory")
        for _ in range(count):
            home = tempfile.mkdtemp(prefix="sorvane-home-")
            try:
                fresh.run(home=home)
                remembered.run(home=home)
                without.run()
            finally:
                shutil.rmtree(home)
        runs[title] = (fresh, remembered, without)
    loads.append(os.getloadavg()[0])
    report_memory(runs, n, count, loads)


def report_memory(runs, n, count, loads):
    load = ", ".join(f"{a:.1f}" for a in loads)
    print(f"The walk's memory on the {fmt_n(n)} tree, medians of {count} rounds (each: a fresh HOME searched, "
          f"the same search from its memory, the same with --no-memory). {machine()}. Load average (1 min) "
          f"before and after: {load}.")
    print()
    print("| search | fresh confirmed_s | remembered first_rows_ms per run | remembered confirmed_s | "
          f"ratio | type_ms per run (\"{RARE}\") | memory_read_ms | peak RSS MiB with / without memory | "
          "max_gap_ms per run, fresh / remembered / without memory |")
    print("|---|---:|---|---:|---:|---|---:|---|---|")
    checks = []
    for title, (fresh, remembered, without) in runs.items():
        ratio = remembered.stat_median("confirmed_s") / fresh.stat_median("confirmed_s")
        rss_with = fresh.stat_median("peak_rss_kib") / 1024
        rss_without = without.stat_median("peak_rss_kib") / 1024
        print(f"| {title} | {fresh.stat_median('confirmed_s'):.3f} | {remembered.stat_list('first_rows_ms', '{:.1f}')} | "
              f"{remembered.stat_median('confirmed_s'):.3f} | {ratio:.2f} | {remembered.stat_list('type_ms', '{:.1f}')} | "
              f"{remembered.stat_median('memory_read_ms'):.0f} | {rss_with:.0f} / {rss_without:.0f} | "
              f"{fresh.stat_list('max_gap_ms', '{:.1f}')} / {remembered.stat_list('max_gap_ms', '{:.1f}')} / "
              f"{without.stat_list('max_gap_ms', '{:.1f}')} |")
        checks += [(f"{title}: first_rows_ms ≤ 50", remembered.stat_median("first_rows_ms"), 50.0),
                   (f"{title}: confirmed_s ≤ 1.1 × fresh", ratio, 1.1),
                   (f"{title}: type_ms ≤ 50", remembered.stat_median("type_ms"), 50.0),
                   (f"{title}: start to memory read ≤ 300 ms", remembered.stat_median("memory_read_ms"), 300.0)]
    checks.append(("max_gap_ms in every run: ≤ 16", max(float(st["max_gap_ms"]) for programs in runs.values()
                                                     for p in programs for st in p.stats), 16.0))
    every = runs["every entry a row"]
    checks.append((f"memory of {fmt_n(n)} entries ≤ 64 MiB (peak RSS with − without)",
                   (every[0].stat_median("peak_rss_kib") - every[2].stat_median("peak_rss_kib")) / 1024, 64.0))
    print()
    print("| target | measured (median) | met |")
    print("|---|---:|---|")
    for label, value, limit in checks:
        print(f"| {label} | {value:.2f} | {'yes' if value <= limit else 'no'} |")
    print()
