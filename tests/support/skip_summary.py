#!/usr/bin/python3
"""One line on the tests that CTest skipped, and why: read from its JUnit report.

usage: skip_summary.py REPORT.xml

A skipped case says why on a line "skipped: REASON" of its output (the GoogleTest main and
ctest_cases.py print it); cases skipped for the same reason are counted together.
"""

import collections
import sys
import xml.etree.ElementTree as ElementTree


def main():
    try:
        cases = ElementTree.parse(sys.argv[1]).getroot().iter("testcase")
    except (OSError, ElementTree.ParseError) as error:
        print(f"Skipped tests: unknown, no report ({error})")
        return 0
    total, reasons = 0, collections.Counter()
    for case in cases:
        total += 1
        if case.find("skipped") is None or case.get("status") == "disabled":
            continue
        output = (case.findtext("system-out") or "").splitlines()
        said = [line[len("skipped: "):].strip() for line in output if line.startswith("skipped: ")]
        reasons[said[-1] if said else "no reason given"] += 1
    skipped = sum(reasons.values())
    why = "; ".join(f"{count} × {reason}" for reason, count in reasons.most_common())
    print(f"Skipped {skipped} of {total} tests" + (f": {why}" if why else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
