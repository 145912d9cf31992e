"""Makes a certified PDF file the way a certifying tool does: a signature field whose signature is the
document's certification (/Root /Perms /DocMDP, a DocMDP reference with the permission /P), signed over its
byte ranges with a detached CMS made by the openssl tool. The file is written whole by pikepdf (qpdf), then
the byte ranges are filled in and the signature put into the reserved /Contents, each in place.

usage: certify.py IN OUT P CERT.pem KEY.pem
"""
import re
import subprocess
import sys
import tempfile

import pikepdf
from pikepdf import Array, Dictionary, Name, String

ROOM = 8192  # bytes reserved for the CMS
PLACEHOLDER = [0, 1111111111, 2222222222, 3333333333]


def prepare(source, out, permission):
    with pikepdf.open(source) as pdf:
        signature = pdf.make_indirect(Dictionary(
            Type=Name.Sig, Filter=Name("/Adobe.PPKLite"), SubFilter=Name("/adbe.pkcs7.detached"),
            ByteRange=Array(PLACEHOLDER), Contents=String(b"\0" * ROOM), M=String("D:20260101000000Z"),
            Reference=Array([Dictionary(Type=Name.SigRef, TransformMethod=Name.DocMDP,
                                        TransformParams=Dictionary(Type=Name.TransformParams, P=permission,
                                                                   V=Name("/1.2")))])))
        page = pdf.pages[0]
        field = pdf.make_indirect(Dictionary(FT=Name.Sig, T=String("Certification"), V=signature, Type=Name.Annot,
                                             Subtype=Name.Widget, F=132, Rect=Array([0, 0, 0, 0]), P=page.obj))
        page.obj.Annots = Array(list(page.obj.get("/Annots", Array())) + [field])
        pdf.Root.AcroForm = Dictionary(Fields=Array([field]), SigFlags=3)
        pdf.Root.Perms = Dictionary(DocMDP=signature)
        pdf.save(out, object_stream_mode=pikepdf.ObjectStreamMode.disable, compress_streams=False)


def sign(out, certificate, key):
    data = bytearray(open(out, "rb").read())
    hole = re.search(rb"/Contents\s*<(0{%d})>" % (2 * ROOM), data)
    if hole is None:
        raise SystemExit("no reserved /Contents")
    start, end = hole.start(1) - 1, hole.end(1) + 1
    ranges = [0, start, end, len(data) - end]
    placeholder = re.search(rb"/ByteRange\s*\[\s*0 1111111111 2222222222 3333333333\s*\]", data)
    if placeholder is None:
        raise SystemExit("no /ByteRange to fill in")
    filled = b"/ByteRange [ %d %d %d %d ]" % tuple(ranges)
    data[placeholder.start():placeholder.end()] = filled.ljust(placeholder.end() - placeholder.start())
    with tempfile.NamedTemporaryFile() as signed, tempfile.NamedTemporaryFile() as cms:
        signed.write(bytes(data[:start] + data[end:]))
        signed.flush()
        subprocess.run(["openssl", "cms", "-sign", "-binary", "-outform", "DER", "-md", "sha256", "-signer", certificate,
                        "-inkey", key, "-in", signed.name, "-out", cms.name], check=True)
        der = open(cms.name, "rb").read()
    if len(der) > ROOM:
        raise SystemExit("the signature does not fit")
    data[start + 1:end - 1] = der.hex().encode().ljust(2 * ROOM, b"0")
    open(out, "wb").write(bytes(data))


if __name__ == "__main__":
    prepare(sys.argv[1], sys.argv[2], int(sys.argv[3]))
    sign(sys.argv[2], sys.argv[4], sys.argv[5])
