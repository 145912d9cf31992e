#!/usr/bin/env python3
"""Makes the files with a damaged cross-reference that the tests read, from files of ../corpus:

    signed-startxref-off-by-7.pdf  qpdf-digitally-signed.pdf (signed, object streams) with an update appended
                                   after the signed revision, whose startxref is 7 bytes past its table
    encrypted-startxref-0.pdf      pypdf-r6-empty-password.pdf (AES-256, empty user password), startxref 0
    plain-startxref-0.pdf          qpdf-rotated.pdf (a classic table), startxref 0
    lying-length-startxref-0.pdf   qpdf-minimal.pdf with its page content's /Length 4 bytes short, startxref 0

Readers rebuild the cross-reference of each. The signed revision of the first file is left as it was signed,
so its signature still checks out. Run it in this folder; the files are committed beside it.
"""
import re

CORPUS = "../corpus/"


def read(name):
    with open(CORPUS + name, "rb") as f:
        return f.read()


def with_startxref(pdf, value):
    """The file with its last startxref pointing at `value`."""
    last = list(re.finditer(rb"startxref\s+(\d+)", pdf))[-1]
    return pdf[:last.start(1)] + b"%d" % value + pdf[last.end(1):]


def with_update_off_by(pdf, shift):
    """The file with an update appended (a new document information dictionary) whose startxref misses its
    table by `shift` bytes."""
    previous = int(re.findall(rb"startxref\s+(\d+)", pdf)[-1])
    size = max(int(s) for s in re.findall(rb"/Size\s+(\d+)", pdf))
    root = re.findall(rb"/Root\s+(\d+\s+\d+\s+R)", pdf)[-1]
    out = bytearray(pdf)
    if not out.endswith(b"\n"):
        out += b"\n"
    info = len(out)
    out += b"%d 0 obj\n<< /Producer (make_damaged_xref.py) >>\nendobj\n" % size
    xref = len(out)
    out += b"xref\n0 1\n0000000000 65535 f \n%d 1\n%010d 00000 n \n" % (size, info)
    out += b"trailer\n<< /Size %d /Root %s /Info %d 0 R /Prev %d >>\n" % (size + 1, root, size, previous)
    out += b"startxref\n%d\n%%%%EOF\n" % (xref + shift)
    return bytes(out)


def main():
    files = {
        "signed-startxref-off-by-7.pdf": with_update_off_by(read("qpdf-digitally-signed.pdf"), 7),
        "encrypted-startxref-0.pdf": with_startxref(read("pypdf-r6-empty-password.pdf"), 0),
        "plain-startxref-0.pdf": with_startxref(read("qpdf-rotated.pdf"), 0),
        "lying-length-startxref-0.pdf": with_startxref(read("qpdf-minimal.pdf").replace(b"/Length 44", b"/Length 40"), 0),
    }
    for name, data in files.items():
        with open(name, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
