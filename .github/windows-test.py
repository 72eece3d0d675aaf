"""One step of CI's Windows job: runs one test program of the Linux build
natively, with the tests of build/windows-tests.json, CTest's list of what
`ctest -LE wine` ran under Wine. The program's output goes to the log, its
results to results/PROGRAM/TEST.xml (JUnit XML). Each test runs in a process of
its own, as CTest runs it, with its time-out.

    windows-test.py TREE PROGRAM   runs PROGRAM of TREE (build or build/x64)
    windows-test.py TREE --check   fails unless every program of the list ran
"""
import json
import os
import pathlib
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

LIST = pathlib.Path("build/windows-tests.json")
RESULTS = pathlib.Path("results")


def programs():
    """The list's tests by program, each with its gtest filter, the other
    arguments of its command and its time-out."""
    found = {}
    for test in json.loads(LIST.read_text())["tests"]:
        command, name = test["command"], test["name"]
        # Under Wine each is "sh .../under_wine.sh .../PROGRAM.exe ARGUMENTS".
        if len(command) < 3 or not command[1].endswith("/under_wine.sh") or not command[2].endswith(".exe"):
            sys.exit(f"{name} runs '{' '.join(command)}', no test program: label it wine, or make it one")
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        if "ENVIRONMENT" in properties:
            sys.exit(f"{name} needs an environment of its own, which this run does not give")
        filters = [a.split("=", 1)[1] for a in command[3:] if a.startswith("--gtest_filter=")]
        if len(filters) != 1:
            sys.exit(f"{name} runs '{' '.join(command[3:])}', not one gtest filter")
        found.setdefault(pathlib.PurePosixPath(command[2]).stem, []).append({
            "name": name, "filter": filters[0], "timeout": float(properties.get("TIMEOUT", 120)),
            "arguments": [a for a in command[3:] if not a.startswith("--gtest_filter=")]})
    return found


def error(title, message):
    print(f"::error title={title}::{message}", flush=True)


def report_of(program, test):
    return RESULTS / program / (re.sub(r"[^\w.-]", "_", test["filter"]) + ".xml")


def run_one(exe, program, test, title):
    """Runs one test in a process of its own, as CTest does; True if it passed."""
    report = report_of(program, test).resolve()
    report.parent.mkdir(parents=True, exist_ok=True)
    if report.exists():
        report.unlink()
    command = [str(exe), "--gtest_filter=" + test["filter"], *test["arguments"], f"--gtest_output=xml:{report}"]
    print(" ".join(command), flush=True)
    try:
        code = subprocess.run(command, cwd=exe.parent, timeout=test["timeout"]).returncode
    except subprocess.TimeoutExpired:
        code = None
        error(title, f"{test['name']} did not end within {test['timeout']:.0f} s, and was ended")

    # A copy of the program that a test left running would keep the next
    # test's copies from starting.
    left = subprocess.run(["tasklist", "/FI", "IMAGENAME eq Tarnwick.exe", "/FO", "CSV", "/NH"],
                          capture_output=True, text=True).stdout
    if "Tarnwick.exe" in left:
        print("left running by the test, now ended:\n" + left, flush=True)
        subprocess.run(["taskkill", "/F", "/IM", "Tarnwick.exe"])
    if code is None:
        return False

    ran = failed = 0
    if report.exists():
        for case in ElementTree.parse(report).getroot().iter("testcase"):
            ran += case.get("status") == "run" and case.get("result", "completed") == "completed"
            failed += case.find("failure") is not None
    if code != 0 or failed:
        error(title, f"{test['name']} failed (exit code {code}, {code & 0xFFFFFFFF:#010x})")
    elif not ran:
        error(title, f"{test['name']} ran no test ({'no results' if not report.exists() else 'none completed'})")
    return code == 0 and ran > 0 and not failed


def run(tree, program, tests):
    """Runs each of the program's tests of the list; True when all passed."""
    title = f"{program} ({tree})"
    exe = next(pathlib.Path(tree, "tests").rglob(program + ".exe"), None)
    if exe is None:
        error(title, f"no {program}.exe under {tree}/tests")
        return False
    exe = exe.resolve()
    passed = sum(run_one(exe, program, test, title) for test in tests)
    summary = f"- {program} ({tree}): {passed} of {len(tests)} listed tests passed"
    print(summary, flush=True)
    if os.environ.get("GITHUB_STEP_SUMMARY"):
        with open(os.environ["GITHUB_STEP_SUMMARY"], "a") as out:
            out.write(summary + "\n")
    return passed == len(tests)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    tree, program = sys.argv[1:]
    listed = programs()
    if program == "--check":
        absent = [program for program in sorted(listed)
                  if not all(report_of(program, test).exists() for test in listed[program])]
        for program in absent:
            error(program, f"{program} has tests in the list that no step ran")
        print(f"programs of the list: {', '.join(sorted(listed))}")
        return 1 if absent else 0
    if program not in listed:
        error(program, f"the list has no test of {program}")
        return 1
    return 0 if run(tree, program, listed[program]) else 1


if __name__ == "__main__":
    sys.exit(main())
