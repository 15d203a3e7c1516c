#!/usr/bin/env python3
"""Reads the gtest XML reports that ./test's run left in a folder, prints how
many tests skipped and which, and fails when a skip gives any reason other
than a limit of the machine itself (tests/support/machine_limits.h)."""
import pathlib
import sys
import xml.etree.ElementTree as ET

PREFIX = "machine limit: "


def main(folder):
    reports = sorted(pathlib.Path(folder).glob("*.xml"))
    skipped, unexplained, run = [], [], 0
    for report in reports:
        try:
            root = ET.parse(report).getroot()
        except ET.ParseError as e:
            print(f"skip-report: {report.name} is no test report: {e}", file=sys.stderr)
            return 1
        for case in root.iter("testcase"):
            run += 1
            skip = case.find("skipped")
            if skip is None and case.get("result") != "skipped":
                continue
            reason = " ".join((skip.get("message", "") if skip is not None else "").split())
            name = f"{report.stem}: {case.get('classname')}.{case.get('name')}"
            skipped.append(f"  {name} ({reason or 'no reason given'})")
            if PREFIX not in reason:
                unexplained.append(name)
    print(f"{len(skipped)} of {run} test cases in {len(reports)} programs skipped")
    for line in skipped:
        print(line)
    if unexplained:
        print("Skipped for a reason that is no limit of the machine (a failure under ./test):", file=sys.stderr)
        for name in unexplained:
            print(f"  {name}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
