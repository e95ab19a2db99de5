#!/usr/bin/python3
"""Writes the documents the content readers are tried on, into OUT_DIR.

Usage: content_fixtures.py OUT_DIR PICTURE.png [COUNT]
Sound files (their text names `TERM`), a PDF of the picture only, and hostile
files. With COUNT, only COUNT text PDFs and COUNT docx files, for timing.
"""
import os
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

import docx
import openpyxl
from reportlab.lib.pagesizes import A4
from reportlab.pdfgen import canvas

out, picture = sys.argv[1], sys.argv[2]
count = int(sys.argv[3]) if len(sys.argv) > 3 else 0
TERM = "zephyrine"
LINES = [f"Quarterly ledger {TERM} for the harbour office, line {n}." for n in range(40)]


def text_pdf(path, pages=1):
    pdf = canvas.Canvas(path, pagesize=A4)
    for _ in range(pages):
        for n, line in enumerate(LINES):
            pdf.drawString(60, 800 - 18 * n, line)
        pdf.showPage()
    pdf.save()


def word(path):
    document = docx.Document()
    document.add_paragraph("合同编号 甲方乙方 " + TERM)
    for line in LINES:
        document.add_paragraph(line)
    table = document.add_table(rows=1, cols=2)
    table.rows[0].cells[0].text = "单元格"
    table.rows[0].cells[1].text = "cell"
    document.save(path)


if count:
    for n in range(count):
        text_pdf(os.path.join(out, f"text{n}.pdf"), pages=3)
        word(os.path.join(out, f"word{n}.docx"))
    sys.exit(0)

text_pdf(os.path.join(out, "text.pdf"))
word(os.path.join(out, "word.docx"))
book = openpyxl.Workbook()
book.active.append(["名称", "数量"])
book.active.append(["发票" + TERM, 12])
book.save(os.path.join(out, "sheet.xlsx"))

scan = canvas.Canvas(os.path.join(out, "scan.pdf"), pagesize=A4)
# 1200 x 400 pixels at 300 dpi, as a scanner would place them.
scan.drawImage(picture, 40, 400, width=288, height=96)
scan.save()

with open(os.path.join(out, "text.pdf"), "rb") as whole:
    data = whole.read()
with open(os.path.join(out, "truncated.pdf"), "wb") as cut:
    cut.write(data[: len(data) // 3])

# A document whose one part unpacks to far more than any real one.
with zipfile.ZipFile(os.path.join(out, "bomb.docx"), "w", zipfile.ZIP_DEFLATED) as bomb:
    bomb.writestr("[Content_Types].xml", "<Types/>")
    with bomb.open("word/document.xml", "w") as part:
        for _ in range(300):
            part.write(b" " * (1 << 20))

# A page tree that claims a million pages and holds one.
objects = [
    b"<< /Type /Catalog /Pages 2 0 R >>",
    b"<< /Type /Pages /Count 1000000 /Kids [3 0 R] >>",
    b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>",
]
body = b"%PDF-1.4\n"
offsets = []
for n, obj in enumerate(objects, 1):
    offsets.append(len(body))
    body += b"%d 0 obj\n%s\nendobj\n" % (n, obj)
xref = len(body)
body += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
body += b"".join(b"%010d 00000 n \n" % o for o in offsets)
body += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
with open(os.path.join(out, "pages.pdf"), "wb") as pages:
    pages.write(body)


# A PNG that declares 30000 x 30000 pixels in a few bytes.
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


with open(os.path.join(out, "huge.png"), "wb") as huge:
    huge.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 30000, 30000, 8, 0, 0, 0, 0))
               + chunk(b"IDAT", zlib.compress(b"\0" * 30001)) + chunk(b"IEND", b""))

# Chinese text in the encodings old files come in; names without extension.
SIMPLE = "关于年度预算的通知，请各部门于月底前提交报告。" * 4 + TERM + "\n"
TRADITIONAL = "關於年度預算的通知，請各部門於月底前提交報告。" * 4 + TERM + "\n"
for name, encoding, text in [("gb18030", "gb18030", SIMPLE), ("big5", "big5", TRADITIONAL),
                             ("utf16le", "utf-16-le", "Notice " + SIMPLE),
                             ("utf16be", "utf-16-be", SIMPLE.replace(TERM + "\n", ""))]:
    with open(os.path.join(out, name), "wb") as file:
        file.write(text.encode(encoding))

soffice = shutil.which("soffice")
if soffice:
    subprocess.run([soffice, "-env:UserInstallation=file://" + os.path.abspath(out) + "/office",
                    "--headless", "--convert-to", "doc", "--outdir", out,
                    os.path.join(out, "word.docx")], check=False, capture_output=True, timeout=120)
