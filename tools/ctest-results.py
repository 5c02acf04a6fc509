#!/usr/bin/env python3
"""Counts one CTest run from what CTest writes for machines: the JUnit file of
--output-junit, its list of failed tests (Testing/Temporary/LastTestsFailed.log)
and its exit status. Prints the failed and skipped tests, then a last line
"PASSED FAILED SKIPPED".
usage: ctest-results.py JUNIT_XML FAILED_LOG EXIT_STATUS"""
import os
import sys
import xml.etree.ElementTree as ElementTree


def main(junit, failed_log, status):
    failed_names = set()
    if os.path.exists(failed_log):
        with open(failed_log, encoding="utf-8", errors="replace") as lines:
            for line in lines:
                # "3:Name": the test's number, then its name.
                failed_names.add(line.rstrip("\n").split(":", 1)[-1])
    try:
        cases = ElementTree.parse(junit).getroot().iter("testcase")
    except (OSError, ElementTree.ParseError) as error:
        print(f"  no results ({error}); ctest exited with {status}")
        print("0 1 0")
        return
    passed = failed = skipped = 0
    for case in cases:
        name = case.get("name", "")
        result = case.get("status", "")
        # A test whose program is missing is "notrun" in the JUnit file but failed for CTest.
        if name in failed_names or result not in ("run", "notrun", "disabled"):
            failed += 1
            print(f"  failed: {name}")
        elif result == "run":
            passed += 1
        else:
            skipped += 1
            reason = case.find("skipped")
            print(f"  skipped: {name}" + (f" ({reason.get('message')})" if reason is not None else ""))
    if status != 0 and failed == 0:
        failed += 1
        print(f"  failed: ctest exited with {status} with no test failed")
    print(f"{passed} {failed} {skipped}")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
