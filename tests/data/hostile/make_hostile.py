#!/usr/bin/env python3
"""Makes the hostile files the tests and benchmarks read: small files that once stalled or swamped a run.

    count-2147483647.pdf  a page tree whose root claims 2147483647 pages and holds one
    record-flate-bomb.pdf a seal annotation whose record stream decodes to 100 MiB of zeros
    shared-id-2000.pdf    2000 pages that share one 100 KB page identifier (one string object)
    xref-8000000.pdf      a cross-reference stream that claims 8000001 objects and holds five

Run it in this folder; the files are committed beside it.
"""
import zlib


def pdf(objects):
    out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for number, body in objects:
        offsets[number] = len(out)
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    size = max(offsets) + 1
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % size
    for number in range(1, size):
        out += b"%010d 00000 n \n" % offsets[number] if number in offsets else b"0000000000 65535 f \n"
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (size, xref)
    return bytes(out)


CONTENT = b"<< /Length 0 >>\nstream\n\nendstream"
CATALOG = b"<< /Type /Catalog /Pages 2 0 R >>"


def main():
    with open("count-2147483647.pdf", "wb") as f:
        f.write(pdf([(1, CATALOG), (2, b"<< /Type /Pages /Kids [3 0 R] /Count 2147483647 >>"),
                     (3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>"), (4, CONTENT)]))
    bomb = zlib.compress(b"\0" * (100 * 1024 * 1024), 9)
    record = b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(bomb) + bomb + b"\nendstream"
    seal = (b"<< /Type /Annot /Subtype /Brasmoor:AddSeal /Rect [10 10 50 50]"
            b" /Info << /Unicode true /proVersion 10 /BaseInfo 6 0 R >> >>")
    with open("record-flate-bomb.pdf", "wb") as f:
        f.write(pdf([(1, CATALOG), (2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
                     (3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Annots [5 0 R] >>"),
                     (4, CONTENT), (5, seal), (6, record)]))
    with open("shared-id-2000.pdf", "wb") as f:
        f.write(shared_identifier())
    with open("xref-8000000.pdf", "wb") as f:
        f.write(xref_stream_claiming(8000001))


def shared_identifier():
    pages = 2000
    kids = b" ".join(b"%d 0 R" % (10 + i) for i in range(pages))
    objects = [(1, CATALOG), (2, b"<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, pages)), (4, CONTENT),
               (5, b"(" + b"I" * 100 * 1024 + b")")]
    for i in range(pages):
        objects.append((10 + i, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /ID 5 0 R >>"))
    return pdf(objects)


def xref_stream_claiming(size):
    objects = [(1, CATALOG), (2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
               (3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>"), (4, CONTENT)]
    out = bytearray(b"%PDF-1.7\n")
    offsets = {}
    for number, body in objects:
        offsets[number] = len(out)
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    rows = b"\x00\x00\x00\x00\x00\xff\xff"
    rows += b"".join(b"\x01" + offsets[n].to_bytes(4, "big") + b"\x00\x00" for n in range(1, 5))
    rows += b"\x01" + xref.to_bytes(4, "big") + b"\x00\x00"
    out += (b"5 0 obj\n<< /Type /XRef /Size %d /W [1 4 2] /Index [0 %d] /Root 1 0 R /Length %d >>\nstream\n"
            % (size, size, len(rows)) + rows + b"\nendstream\nendobj\n")
    out += b"startxref\n%d\n%%%%EOF\n" % xref
    return bytes(out)


if __name__ == "__main__":
    main()
