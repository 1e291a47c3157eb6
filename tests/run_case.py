"""Runs end-to-end cases for CTest, one case per CTest test.

    run_case.py --list        names every case (module.Class.method), one a line
    run_case.py NAME          runs that case: exit 0 passed, 1 failed, 77 skipped
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

SUITES = ["test_output", "test_key_wait"]
SKIPPED = 77


def case_names(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from case_names(item)
        else:
            yield item.id()


def main(argv):
    loader = unittest.TestLoader()
    if argv[1:] == ["--list"]:
        for name in case_names(loader.loadTestsFromNames(SUITES)):
            print(name)
        return 0
    result = unittest.TextTestRunner(verbosity=2).run(loader.loadTestsFromNames(argv[1:]))
    if not result.wasSuccessful():
        return 1
    if result.testsRun > 0 and len(result.skipped) == result.testsRun:
        return SKIPPED
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
