"""How the Python test runners meet CTest.

Each unittest case runs as a CTest test of its own, so that CTest can tell a case that skipped
from one that passed: --list prints the cases (Class.test_name) for CMake to register, and a run
whose every case skipped ends with SKIPPED, the code CTest is told means "skipped". Every skip
prints its reason on a line "skipped: REASON", as the GoogleTest cases do, for the summary at the
end of scripts/test.
"""

import sys
import unittest

SKIPPED = 77


def case_names(module):
    """The cases of a runner's module, as unittest names them on its command line."""
    names = []

    def walk(suite):
        for test in suite:
            if isinstance(test, unittest.TestSuite):
                walk(test)
            else:
                names.append(test.id().split(".", 1)[1])  # without the module's name

    walk(unittest.defaultTestLoader.loadTestsFromModule(module))
    return names


def print_case_names(module):
    for name in case_names(module):
        print(name)
    return 0


def exit_code(result):
    """0, 1 for a failure, or SKIPPED when nothing ran but skips; every skip's reason printed."""
    for _, reason in result.skipped:
        print(f"skipped: {reason}", flush=True)
    if not result.wasSuccessful():
        return 1
    ran_only_skips = result.skipped and len(result.skipped) >= result.testsRun
    return SKIPPED if ran_only_skips else 0


def run(names, **options):
    """Runs the named cases (all of them when none are named) and answers exit_code."""
    result = unittest.main(argv=[sys.argv[0], "-v"] + names, exit=False, **options).result
    return exit_code(result)
