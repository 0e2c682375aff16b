#!/usr/bin/env python3
"""vantrel-survey over the shared software: one row and one picture per file; a file that
hangs is stopped at the timeout while the others finish; GNU parallel spreads it unchanged.

usage: SurveyTest.py SURVEY RUNNER DEFAULT_TESTDATA WORKDIR
"""
import csv
import os
import shutil
import stat
import subprocess
import sys
import time

survey, runner, default_data, work = sys.argv[1:5]
data = os.environ.get("VANTREL_TESTDATA", default_data)
software = os.path.join(data, "software")
if not os.path.isdir(software):
    print(f"skipped: no test data at {software} (set VANTREL_TESTDATA)")
    sys.exit(77)
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def rows_of(out):
    with open(os.path.join(out, "results.csv")) as f:
        return list(csv.DictReader(f))


# The whole folder: every tape is one row, done, with a PNG picture the sheet shows.
tapes = sorted(n for n in os.listdir(software) if n.lower().endswith((".tap", ".tzx")))
out = os.path.join(work, "software")
result = subprocess.run([sys.executable, survey, software, "--out", out, "--jobs", "2",
                         "--frames", "300", "--runner", runner], capture_output=True, text=True)
check(result.returncode == 0, f"survey exit {result.returncode}: {result.stderr}")
rows = rows_of(out)
check(sorted(os.path.basename(r["file"]) for r in rows) == tapes, f"rows {rows}")
sheet = open(os.path.join(out, "index.html")).read()
for row in rows:
    check(row["status"] == "done" and row["exit"] == "0", f"{row['file']}: {row['status']}")
    picture = os.path.join(out, row["picture"]) if row["picture"] else ""
    check(picture and open(picture, "rb").read(8) == b"\x89PNG\r\n\x1a\n",
          f"{row['file']}: no picture")
    check(row["picture"] in sheet and os.path.basename(row["file"]) in sheet,
          f"{row['file']} missing from the contact sheet")
    check(row["machine"] != "" and float(row["wall_seconds"]) > 0, f"{row['file']}: {row}")

# A runner that never finishes for one file: that row is marked, the other runs on.
hang = os.path.join(work, "hang.tap")
open(hang, "wb").close()
wrapper = os.path.join(work, "runner-that-hangs")
with open(wrapper, "w") as f:
    f.write(f"""#!/bin/sh
for last; do :; done
case "$last" in *hang.tap) exec sleep 1000 ;; esac
exec "{runner}" "$@"
""")
os.chmod(wrapper, stat.S_IRWXU)
out = os.path.join(work, "timeout")
start = time.monotonic()
result = subprocess.run([sys.executable, survey, hang, os.path.join(software, tapes[0]),
                         "--out", out, "--jobs", "2", "--timeout", "3", "--frames", "100",
                         "--runner", wrapper], capture_output=True, text=True)
check(time.monotonic() - start < 60, "the hung run was not stopped")
check(result.returncode == 1, f"survey with a timed-out file exit {result.returncode}")
status = {os.path.basename(r["file"]): r["status"] for r in rows_of(out)}
check(status == {"hang.tap": "timed out", tapes[0]: "done"}, f"statuses {status}")

# The same command under GNU parallel, one survey per file, each with its own results.
if shutil.which("parallel"):
    result = subprocess.run(
        ["parallel", "--will-cite", "-j2", sys.executable, survey, "--runner", runner,
         "--frames", "100", "--out", os.path.join(work, "parallel", "{#}"), "{}", ":::"] +
        [os.path.join(software, t) for t in tapes[:2]], capture_output=True, text=True)
    check(result.returncode == 0, f"parallel exit {result.returncode}: {result.stderr}")
    for job in ("1", "2"):
        rows = rows_of(os.path.join(work, "parallel", job))
        check(len(rows) == 1 and rows[0]["status"] == "done", f"parallel job {job}: {rows}")
else:
    print("note: GNU parallel not installed; its part is skipped")

print("failures:", len(failures))
sys.exit(1 if failures else 0)
