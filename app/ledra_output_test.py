#!/usr/bin/env python3
"""ledra's machine outputs read back by real parsers: LedraCmd catalogues a real tree with
awkward names, and every JSON line and CSV row of find, ls, du and volumes must parse and
agree with a direct walk of the tree.

    ledra_output_test.py LEDRA LEDRACMD
"""
import csv
import io
import json
import os
import subprocess
import sys
import tempfile

ledra, ledracmd = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(*args, status=0):
    done = subprocess.run([ledra, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    check(done.returncode == status,
          f"ledra {' '.join(args)}: status {done.returncode}, stderr {done.stderr!r}")
    return done.stdout


with tempfile.TemporaryDirectory() as top:
    top_b = top.encode()
    tree = os.path.join(top_b, b"tree")
    cats = os.path.join(top, "cats")
    os.makedirs(os.path.join(tree, b"sub dir", b"deeper"))
    os.makedirs(cats)
    names = {
        b"plain.txt": 10,
        b'comma, "quote".txt': 20,
        b"line\nbreak": 3,
        "\u65e5\u672c\u8a9e.txt".encode(): 7,
        b"\xe9t\xe9.txt": 5,  # latin-1 bytes, not UTF-8
        b"sub dir/inner.bin": 1000,
        b"sub dir/deeper/tab\there": 1,
    }
    for name, size in names.items():
        with open(os.path.join(tree, name), "wb") as f:
            f.write(b"x" * size)
    with open(os.path.join(cats, "p.txt"), "wb") as f:
        f.write(b"#DEV " + tree + b",Tree\n")
    subprocess.run([ledracmd, "-f", os.path.join(cats, "p.txt")], check=True,
                   stdout=subprocess.DEVNULL)

    # What the tree holds, walked directly: full path bytes -> (is folder, size).
    walked = {}
    for folder, dirs, files in os.walk(tree):
        for d in dirs:
            walked[os.path.join(folder, d)] = (True, None)
        for f in files:
            p = os.path.join(folder, f)
            walked[p] = (False, os.lstat(p).st_size)

    lines = run("find", "--in", cats, "--json").decode("utf-8").splitlines(True)
    records = [json.loads(line) for line in lines]
    check(len(records) == len(walked), f"find --json gave {len(records)} records for {len(walked)} items")
    for r in records:
        raw = bytes.fromhex(r["name_bytes"]) if r["name_bytes"] else r["name"].encode()
        key = next((p for p in walked if os.path.basename(p) == raw), None)
        check(key is not None, f"find reported {r['name']!r}, not on disk")
        if key is None:
            continue
        folder, size = walked[key]
        check(r["type"] == ("folder" if folder else "file"), f"{r['name']!r}: type {r['type']}")
        if not folder:
            check(r["size"] == size, f"{r['name']!r}: size {r['size']}, disk {size}")
            check(r["files"] is None, f"{r['name']!r}: files given for a file")
        check(r["volume"] == "Tree" and r["catalog"] == "Tree.kvl", f"{r['name']!r}: volume fields")
        check(r["modified"].endswith("Z") and isinstance(r["modified_epoch"], int), "modified fields")
        if r["name_bytes"] is not None:
            check("\ufffd" in r["name"], f"{r['name']!r}: mended name lacks U+FFFD")
            check(os.path.dirname(r["path"].encode()) == os.path.dirname(key), f"{r['path']!r}: folder")
        else:
            check(r["path"].encode() == key, f"{r['path']!r} does not name {key!r}")

    csv_text = run("find", "--in", cats, "--csv").decode("utf-8")
    rows = list(csv.DictReader(io.StringIO(csv_text, newline="")))
    check(len(rows) == len(records), f"CSV has {len(rows)} rows, JSON {len(records)}")
    for row, r in zip(rows, records):
        for field, value in r.items():
            text = "" if value is None else ("true" if value is True else "false" if value is False
                                             else str(value))
            check(row[field] == text, f"CSV {field} {row[field]!r} differs from JSON {text!r}")

    # With the names' code page given, the latin-1 name decodes and needs no raw bytes.
    latin = [json.loads(line) for line in run("find", "--in", cats, "--json", "--encoding",
                                              "latin1", "\u00e9t\u00e9").decode().splitlines()]
    check([r["name"] for r in latin] == ["\u00e9t\u00e9.txt"] and latin[0]["name_bytes"] is None,
          f"--encoding latin1 gave {latin!r}")

    volume = json.loads(run("volumes", "--in", cats, "--json"))
    files = sum(1 for folder, _ in walked.values() if not folder)
    check(volume["files"] == files, f"volumes: files {volume['files']}, walk {files}")
    check(volume["folders"] == 1 + sum(1 for folder, _ in walked.values() if folder), "volumes: folders")
    check(volume["total_size"] == sum(s for f, s in walked.values() if not f), "volumes: total_size")
    check(volume["serial"] == "%04X-%04X" % (volume["serial_number"] >> 16, volume["serial_number"] & 0xFFFF),
          "volumes: serial")
    vcsv = list(csv.DictReader(io.StringIO(run("volumes", "--in", cats, "--csv").decode(), newline="")))
    check(len(vcsv) == 1 and vcsv[0]["catalog"] == "Tree.kvl" and vcsv[0]["alias"] == "Tree", "volumes --csv")

    du = [json.loads(line) for line in run("du", "--in", cats, "--json", "-d", "9", "Tree").decode().splitlines()]
    check(du[0]["size"] == volume["total_size"] and du[0]["depth"] == 0, f"du root {du[0]!r}")
    check([d["depth"] for d in du] == [0, 1, 2], f"du depths {[d['depth'] for d in du]}")
    ls = [json.loads(line) for line in run("ls", "--in", cats, "--json", "Tree:sub dir").decode().splitlines()]
    check(sorted(r["name"] for r in ls) == ["deeper", "inner.bin"], f"ls gave {ls!r}")
    check(next(r for r in ls if r["name"] == "deeper")["files"] == 1, "ls: folder file count")
    run("find", "--in", cats, "no-such-name", status=1)

for failure in failures:
    print("FAIL:", failure)
print("ledra output formats:", "FAILED" if failures else "ok")
sys.exit(1 if failures else 0)
