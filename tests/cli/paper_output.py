#!/usr/bin/python3
"""Registers records with hostile texts through quorvel-cli, reads the .xlsx
workbook back with openpyxl row by row against `list --format tsv`, and
checks the printed PDF through pdftotext."""
import datetime
import os
import subprocess
import sys
import tempfile

import openpyxl
from openpyxl.utils.escape import unescape

from cli_script import CliScript

CLI = sys.argv[1]
LONG_REMARK = "很长的备注文字" * 20 + "末尾ENDMARK"
HOSTILE = [
    # (file name, date, remark, recipient, method, folder)
    ("=HYPERLINK(1).txt", "2024-2-29", "=1+2", "+33", "-4", "@SUM(A1)"),
    ('quote"s, and, commas.txt', "2023-1-1", 'a "remark"\twith\r\nall of it', "", "", ""),
    ("报告 2026.doc", "2026-12-9", "第一行\n第二行", "张三", "邮寄", "收文"),
    ("long.txt", "2025-6-30", LONG_REMARK, "李四", "", "发文"),
    ("ctl.txt", "2025-7-1", "bell\x07here, _x0041_ as typed", "", "", ""),
]
script = CliScript(CLI)
check, run = script.check, script.run


def tsv_unescape(field):
    out, chars = [], iter(field)
    for c in chars:
        out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}[next(chars)] if c == "\\" else c)
    return "".join(out)


def cell_text(value):
    """A workbook cell as `list --format tsv` writes its field. openpyxl
    leaves the workbook's own escapes of control characters (_x000D_) as
    they are; a spreadsheet program reads them as the characters."""
    if value is None:
        return ""
    if isinstance(value, datetime.datetime):
        return value.date().isoformat()
    return unescape(value) if isinstance(value, str) else str(value)


def pdf_pages(path):
    text = subprocess.run(["pdftotext", "-raw", path, "-"], capture_output=True,
                          check=True).stdout.decode()
    # Spaces and line breaks fall where the cells wrap.
    return ["".join(page.split()) for page in text.split("\f") if page.strip()]


with tempfile.TemporaryDirectory() as work:
    script.register = os.path.join(work, "register")
    run("init")
    plain = []
    for i in range(80):
        path = os.path.join(work, f"plain{i:03}.txt")
        with open(path, "w") as f:
            f.write(f"content {i}\n")
        plain.append(path)
    run("add", "--date", "2024-3-5", "--remark", "普通", "--recipient", "王五", *plain)
    for i, (name, date, remark, recipient, method, folder) in enumerate(HOSTILE):
        path = os.path.join(work, name)
        with open(path, "w") as f:
            f.write(f"hostile {i}\n")
        args = ["add", "--date", date, "--remark", remark, path]
        for option, value in (("--recipient", recipient), ("--method", method),
                              ("--folder", folder)):
            if value:
                args += [option, value]
        run(*args)

    for index, view in enumerate(([], ["--remark", "备注"], ["--folder", "收文"])):
        book = os.path.join(work, f"view{index}.xlsx")
        run("list", *view, "--format", "xlsx", "--output", book)
        tsv = run("list", *view, "--format", "tsv").stdout.decode().split("\n")[:-1]
        rows = list(openpyxl.load_workbook(book, read_only=True).active.iter_rows(values_only=True))
        check(len(rows) == len(tsv), f"{view}: {len(rows)} rows, tsv {len(tsv)}")
        for number, (row, line) in enumerate(zip(rows, tsv)):
            expected = [tsv_unescape(field) for field in line.split("\t")]
            check([cell_text(value) for value in row] == expected,
                  f"{view} row {number}: {row} != {expected}")
            if number > 0:
                check(isinstance(row[0], int), f"{view} row {number}: serial {row[0]!r}")
                check(isinstance(row[1], datetime.datetime), f"{view} row {number}: date")
    # A value starting like a formula is a string cell, never a formula.
    sheet = openpyxl.load_workbook(os.path.join(work, "view0.xlsx")).active
    starts = [cell for row in sheet.iter_rows() for cell in row
              if isinstance(cell.value, str) and cell.value[:1] in "=+-@"]
    check(len(starts) >= 5 and all(cell.data_type == "s" for cell in starts),
          f"formula starts: {[(c.value, c.data_type) for c in starts]}")

    # Refused outputs leave no file and no partial file behind.
    missing = os.path.join(work, "no-such-folder", "x.xlsx")
    check(run("list", "--format", "xlsx", "--output", missing, ok=False).returncode == 1,
          "xlsx into a missing folder fails")
    check(run("list", "--format", "xlsx", ok=False).returncode == 2, "xlsx needs --output")
    check(not [f for f in os.listdir(work) if f.endswith(".part")], "partial file left")

    pdf = os.path.join(work, "sheet.pdf")
    run("print", "--pdf", pdf)
    pages = pdf_pages(pdf)
    check(len(pages) >= 3, f"{len(pages)} pages")
    for number, page in enumerate(pages, 1):
        check(all(h in page for h in ("文件序号", "发件日期", "文件名", "备注", "接收人")),
              f"page {number}: headings")
        check(f"第{number}页共{len(pages)}页" in page, f"page {number}: page number")
    whole = "".join(pages)
    # The default title names the view and its dates; a long remark is
    # wrapped, not cut: its end is printed.
    check("所有记录（2023-01-1至2026-12-9）" in pages[0], "default title")
    check("ENDMARK" in whole, "long remark cut")
    check(all(f"plain{i:03}.txt" in whole for i in range(80)), "a record is missing")

    run("print", "--folder", "发文", "--title", "二〇二五年发文登记簿", "--pdf", pdf)
    pages = pdf_pages(pdf)
    check(len(pages) == 1 and "二〇二五年发文登记簿" in pages[0] and "long.txt" in pages[0]
          and "plain000" not in pages[0], "folder view with a title")
    check(run("print", "--pdf", missing, ok=False).returncode == 1, "pdf into a missing folder")
    check(run("print", ok=False).returncode == 2, "print needs --pdf")

script.finish()
