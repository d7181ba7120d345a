#!/usr/bin/python3
"""Sorvane as a person meets it: a real X server, real key presses and mouse clicks, and the
desktop's accessibility bus reading back what the window shows.

usage: sorvane_e2e.py --program PATH --out DIR [unittest options and cases]
       sorvane_e2e.py --list

One X session (Xvfb, openbox, a session bus and the accessibility bus) serves every test of a run
(CTest runs each case on its own, see --list); each test starts the real program afresh with a
temporary HOME, so no user's settings are touched.
Screenshots go to DIR/screenshots. Every wait has a deadline, and whatever the test started is
killed when it ends, however it ends.

The cases live in the *_cases.py modules beside this script, grouped by what they guard;
desktop.py runs the session, window_driver.py drives the program, case_support.py holds what the
cases share.

Debian's /usr/bin/python3 is named on purpose: pyatspi is a Debian package and is not seen by
other Python installations.
"""

import argparse
import atexit
import os
import signal
import sys

import context
import window_driver
from desktop import Session, log
from memory_cases import MemoryAcrossARestart
from row_action_cases import RowActions
from search_cases import SearchAndResults
from search_control_cases import LocationAndKeys, RenameDuringASearch, StopSearch
from sort_copy_drag_cases import SortCopyAndDrag
from window_cases import AccessibleWindow, OptionsAndInstances, StartOnAFolder, WindowThatGrows

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import ctest_cases  # noqa: E402  (needs the path above)

# The cases of a run, as --list and unittest find them among this module's names.
__all__ = ["AccessibleWindow", "LocationAndKeys", "MemoryAcrossARestart", "OptionsAndInstances",
           "RenameDuringASearch", "RowActions", "SearchAndResults", "SortCopyAndDrag", "StartOnAFolder",
           "StopSearch", "WindowThatGrows"]


def main():
    if sys.argv[1:] == ["--list"]:
        return ctest_cases.print_case_names(sys.modules[__name__])
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", required=True)
    args, rest = parser.parse_known_args()
    context.PROGRAM = os.path.abspath(args.program)
    context.OUT_DIR = os.path.abspath(args.out)
    os.makedirs(context.OUT_DIR, exist_ok=True)

    # A signal from CTest or the user ends the run and everything started here. It arrives as
    # KeyboardInterrupt, the one exception that unittest lets through instead of moving on.
    received = []

    def interrupt(number, frame):
        received.append(number)
        raise KeyboardInterrupt

    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, interrupt)
    session = context.SESSION = Session()
    atexit.register(session.stop)
    try:
        session.start()
        window_driver.connect()
        # warnings=False keeps window_driver's filter of pyatspi's warnings in force for the tests.
        code = ctest_cases.run(rest, warnings=False)
    except KeyboardInterrupt:
        log(f"ended by signal {received[0] if received else signal.SIGINT}")
        return 128 + (received[0] if received else signal.SIGINT)
    finally:
        session.stop()
        atexit.unregister(session.stop)
    log("done")
    return code


if __name__ == "__main__":
    sys.exit(main())
