#!/usr/bin/env python3
"""Runs every tape, disk and snapshot in a collection through vantrel-run and writes a
contact sheet (index.html) and a table (results.csv) of what each did.

Each file is one independent vantrel-run process, so a hung file is stopped on its own
and the same command spreads over several machines with GNU parallel unchanged.
"""
import argparse
import csv
import html
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

EXIT_TEXT = {
    0: "done",
    1: "run-time failure",
    2: "bad option or input file",
    3: "address not reached",
    4: "breakpoint",
}
# Kinds by extension, as the runner's own file-type table names them in --help; a
# disk or tape is started with --autoload, a snapshot runs as it was saved.
TAPE_NAMES = ("tape", "wav", "csw", "pzx")
CSV_FIELDS = ["file", "kind", "machine", "status", "exit", "wall_seconds", "picture",
              "PC", "SP", "AF", "BC", "DE", "HL", "IX", "IY", "error"]


def find_runner(given):
    if given:
        return given
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), "vantrel-run")
    if os.access(beside, os.X_OK):
        return beside
    found = shutil.which("vantrel-run")
    if not found:
        sys.exit("vantrel-survey: vantrel-run not found beside this program or on PATH "
                 "(give it with --runner)")
    return found


def file_kinds(runner):
    """Extension -> kind ("snapshot", "tape", "disk") from the runner's --help."""
    text = subprocess.run([runner, "--help"], capture_output=True, text=True).stdout
    kinds = {}
    match = re.search(r"^FILE:(.*?)(?:\n\n|\Z)", text, re.M | re.S)
    block = match.group(1) if match else ""
    for name, ext in re.findall(r"([^,:]+?)\s*\((\.[^)\s]+)\)", block):
        lowered = name.lower()
        if "snapshot" in lowered:
            kind = "snapshot"
        elif any(word in lowered for word in TAPE_NAMES):
            kind = "tape"
        else:
            kind = "disk"
        kinds[ext.lower()] = kind
    return kinds


def kind_of(path, kinds):
    name = os.path.basename(path).lower()
    ext = os.path.splitext(name)[1]
    if ext in kinds:
        return kinds[ext]
    # Hobeta files carry their TR-DOS type in the extension: .$b, .$c, ...
    if ext.startswith(".$") and ".$*" in kinds:
        return kinds[".$*"]
    return None


def collect(paths, kinds):
    files = []
    for path in paths:
        if os.path.isdir(path):
            for root, dirs, names in os.walk(path):
                dirs.sort()
                for name in sorted(names):
                    full = os.path.join(root, name)
                    if kind_of(full, kinds):
                        files.append(full)
        elif os.path.exists(path):
            files.append(path)  # named explicitly: tried even with an unknown extension
        else:
            print(f"vantrel-survey: {path}: no such file or folder", file=sys.stderr)
    return files


def machine_of(regs):
    model = regs.get("MemoryModel", "")
    rom = regs.get("Rom0000", "")
    if regs.get("DosActive"):
        rom = "TR-DOS"
    return f"{model}, {rom} ROM" if model and rom else model


def run_one(index, path, kind, args, runner, pictures):
    picture = os.path.join(pictures, f"{index:04d}.png")
    command = [runner, "--frames", str(args.frames), "--screenshot", picture, "--dump-regs"]
    if kind in ("tape", "disk"):
        command.append("--autoload")
    command += args.runner_args + [path]
    row = {"file": path, "kind": kind or "unknown", "machine": "", "picture": "", "error": ""}
    start = time.monotonic()
    # A session of its own, so a timeout stops the runner and anything it started.
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               stdin=subprocess.DEVNULL, text=True, start_new_session=True)
    try:
        out, err = process.communicate(timeout=args.timeout)
        row["exit"] = process.returncode
        row["status"] = EXIT_TEXT.get(process.returncode, f"exit {process.returncode}")
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        out, err = process.communicate()
        row["exit"] = ""
        row["status"] = "timed out"
    row["wall_seconds"] = f"{time.monotonic() - start:.2f}"
    try:
        regs = json.loads(out) if out.strip() else {}
    except json.JSONDecodeError:
        regs = {}
    row["machine"] = machine_of(regs)
    for name in ("PC", "SP", "AF", "BC", "DE", "HL", "IX", "IY"):
        if name in regs:
            row[name] = f"#{regs[name]:04X}"
    if os.path.exists(picture):
        row["picture"] = os.path.relpath(picture, args.out)
    if row["status"] != "done":
        row["error"] = " ".join(err.split())[:300]
    return row


def write_csv(rows, out):
    path = os.path.join(out, "results.csv")
    with open(path + ".tmp", "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=CSV_FIELDS, extrasaction="ignore")
        writer.writeheader()
        writer.writerows(rows)
    os.replace(path + ".tmp", path)


def write_html(rows, out):
    cells = []
    for row in rows:
        name = html.escape(os.path.basename(row["file"]))
        picture = (f'<img src="{html.escape(row["picture"])}" width="384" height="288" '
                   f'alt="{name}">' if row["picture"] else '<div class="none">no picture</div>')
        bad = "" if row["status"] == "done" else " bad"
        cells.append(
            f'<figure class="cell{bad}">{picture}<figcaption><b title="{html.escape(row["file"])}">'
            f'{name}</b><br>{html.escape(row["machine"] or "unknown machine")}<br>'
            f'{html.escape(row["status"])} · {row["wall_seconds"]} s</figcaption></figure>')
    page = f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Vantrel survey</title>
<style>
body {{ font-family: sans-serif; background: #222; color: #eee; }}
.cell {{ display: inline-block; margin: 8px; vertical-align: top; width: 384px; }}
.cell img, .none {{ width: 384px; height: 288px; image-rendering: pixelated; background: #000; }}
.bad figcaption {{ color: #f88; }}
</style></head><body>
<h1>Vantrel survey: {len(rows)} files</h1>
{"".join(cells)}
</body></html>
"""
    path = os.path.join(out, "index.html")
    with open(path + ".tmp", "w") as f:
        f.write(page)
    os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser(
        prog="vantrel-survey",
        description="Runs every tape, disk and snapshot found through vantrel-run, one "
        "process per file, and writes index.html (a contact sheet) and results.csv.",
        epilog="Arguments after -- go to every vantrel-run (e.g. -- --mode 128). Exit status: "
        "0 every file ran to its end, 1 some file failed or timed out, 2 bad usage.")
    parser.add_argument("paths", nargs="+", metavar="DIR|FILE")
    parser.add_argument("--out", required=True, metavar="DIR", help="folder for the results")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1, metavar="N",
                        help="files run at once (default: the number of cores)")
    parser.add_argument("--timeout", type=float, default=60, metavar="SECONDS",
                        help="stop a file's run after this long (default 60)")
    parser.add_argument("--frames", type=int, default=3000, metavar="N",
                        help="frames each file runs (default 3000, a minute of Spectrum time)")
    parser.add_argument("--runner", metavar="PATH", help="the vantrel-run to use")
    argv = sys.argv[1:]
    runner_args = []
    if "--" in argv:
        cut = argv.index("--")
        argv, runner_args = argv[:cut], argv[cut + 1:]
    args = parser.parse_args(argv)
    args.runner_args = runner_args
    if args.jobs < 1 or args.timeout <= 0 or args.frames < 0:
        parser.error("--jobs and --timeout must be positive, --frames not negative")

    runner = find_runner(args.runner)
    kinds = file_kinds(runner)
    files = collect(args.paths, kinds)
    if not files:
        print("vantrel-survey: no tape, disk or snapshot found", file=sys.stderr)
        return 2
    pictures = os.path.join(args.out, "pictures")
    os.makedirs(pictures, exist_ok=True)
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        rows = list(pool.map(
            lambda item: run_one(item[0], item[1], kind_of(item[1], kinds), args, runner,
                                 pictures), enumerate(files)))
    write_csv(rows, args.out)
    write_html(rows, args.out)
    failed = [row for row in rows if row["status"] != "done"]
    print(f"vantrel-survey: {len(rows)} files, {len(failed)} not done; "
          f"{os.path.join(args.out, 'index.html')}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
