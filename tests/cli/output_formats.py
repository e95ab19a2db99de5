#!/usr/bin/env python3
"""Registers files with hostile names through quorvel-cli and reads every
output format back with Python's own csv and json parsers."""
import csv
import io
import json
import os
import sys
import tempfile
import unicodedata

from cli_script import CliScript

CLI = sys.argv[1]
NAMES = [
    "tab\there.txt",
    "line\nbreak.txt",
    'quote"s, and, commas.txt',
    "back\\slash.txt",
    "emoji😀👍.txt",
    "cafe\u0301 combining.txt",
    "报告 2026.doc",
]
REMARK = 'a "remark"\twith\r\nall of it, 逗号'
script = CliScript(CLI)
check, run = script.check, script.run


def width(text):
    """Terminal columns as wcwidth counts them."""
    total = 0
    for c in text:
        if unicodedata.combining(c) or unicodedata.category(c) in ("Mn", "Me", "Cf"):
            continue
        total += 2 if unicodedata.east_asian_width(c) in ("W", "F") else 1
    return total


def tsv_unescape(field):
    out, chars = [], iter(field)
    for c in chars:
        out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}[next(chars)] if c == "\\" else c)
    return "".join(out)


with tempfile.TemporaryDirectory() as work:
    script.register = os.path.join(work, "register")
    run("init")
    paths = []
    for i, name in enumerate(NAMES):
        path = os.path.join(work, name)
        with open(path, "w") as f:
            f.write(f"content {i}\n")
        paths.append(path)
    added = run("add", "--date", "2026-12-9", "--remark", REMARK, "--recipient", "张三", *paths)
    # One line per registered file, whatever its name holds.
    check(len(added.stdout.decode().splitlines()) == len(NAMES), "add: one line per record")
    added0 = run("add", "-0", paths[1])
    check(added0.stdout.count(b"\0") == 1 and added0.stdout.endswith(b"\0"), "add -0")
    run("delete", "--yes", added0.stdout.split(b"\t")[0].decode())

    raw = run("list", "--format", "json").stdout
    # Non-ASCII text stays UTF-8, not \u escapes.
    check("报告".encode() in raw and b"\\u" not in raw, "json keeps UTF-8")
    records = json.loads(raw.decode("utf-8"))
    check(sorted(r["文件名"] for r in records) == sorted(NAMES), "json names")
    check(all(r["备注"] == REMARK for r in records), "json remark")
    check(all(r["发件日期"] == "2026-12-09" for r in records), "json ISO date")
    check(all(isinstance(r["文件序号"], int) for r in records), "json serial is a number")

    lines = run("list", "--format", "jsonl").stdout.decode("utf-8").split("\n")
    check(lines[-1] == "", "jsonl ends with a line break")
    check([json.loads(line) for line in lines[:-1]] == records, "jsonl matches json")

    raw = run("list", "--format", "csv").stdout
    check(raw.startswith("\ufeff".encode()), "csv starts with a BOM")
    rows = list(csv.reader(io.StringIO(raw.decode("utf-8-sig"), newline="")))
    check(sorted(rows[0]) == sorted(records[0]), "csv header")
    check([dict(zip(rows[0], row)) for row in rows[1:]] ==
          [{k: str(v) for k, v in r.items()} for r in records], "csv matches json")

    text = run("list", "--format", "tsv").stdout.decode("utf-8")
    lines = text.split("\n")
    check(lines[-1] == "" and len(lines) == len(NAMES) + 2, "tsv: one line per record")
    header = lines[0].split("\t")
    parsed = [dict(zip(header, map(tsv_unescape, line.split("\t")))) for line in lines[1:-1]]
    check(parsed == [{k: str(v) for k, v in r.items()} for r in records], "tsv matches json")

    # The table: every value's column starts at the same terminal column.
    # Names and remarks hold control characters, so show the plain ones.
    plain = [r for r in records if not any(c in r["文件名"] for c in "\t\n")]
    table = run("list").stdout.decode("utf-8").split("\n")
    stored = [line for line in table[1:] if line and not line.startswith("（")]
    check(len(stored) == len(records), "table: one line per record")
    starts = set()
    for line in stored:
        for r in plain:
            if r["文件名"] in line and r["路径"] in line:
                starts.add(width(line[: line.rindex(r["路径"])]))
    check(len(starts) == 1 and len(plain) >= 4, f"table columns aligned: {starts}")

    names = run("folders", "-0").stdout
    check(names == b"", "folders of an unfiled register")

script.finish()
