#!/usr/bin/env python3
"""Every option a program's --help prints appears in its manual page, and every page
formats without warnings.

usage: ManPagesTest.py MAN_DIR PROGRAM PAGE [PROGRAM PAGE...]
"""
import re
import shutil
import subprocess
import sys

man_dir = sys.argv[1]
pairs = list(zip(sys.argv[2::2], sys.argv[3::2]))
failures = 0
for program, page in pairs:
    help_text = subprocess.run([program, "--help"], capture_output=True, text=True).stdout
    options = sorted(set(re.findall(r"(?<![\w-])--[a-z0-9][a-z0-9-]*", help_text)))
    if not options:
        print(f"FAIL: {program} --help lists no options")
        failures += 1
    source = open(f"{man_dir}/{page}").read().replace("\\-", "-")
    for option in options:
        if not re.search(re.escape(option) + r"(?![a-z0-9-])", source):
            print(f"FAIL: {page} does not describe {option}")
            failures += 1
    if shutil.which("man"):
        warnings = subprocess.run(["man", "--warnings", "-l", f"{man_dir}/{page}"],
                                  capture_output=True, text=True,
                                  env={"MANWIDTH": "80", "PATH": "/usr/bin:/bin"}).stderr
        if warnings.strip():
            print(f"FAIL: {page} formats with warnings:\n{warnings}")
            failures += 1
print(f"{len(pairs)} pages, {failures} faults")
sys.exit(1 if failures else 0)
