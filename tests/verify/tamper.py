"""Makes the PDF files of the verification tests and changes sealed copies the way an outside tool would.

Base files are written by pikepdf (qpdf) with a classic cross-reference table and uncompressed content.
Changes to a sealed file are either made in place (a byte of a stream flipped, same length) or appended as
an incremental update written here by hand, so everything the sealing wrote stays byte for byte.

usage: tamper.py base OUT PAGES
       tamper.py EDIT IN OUT      (EDIT: see EDITS below, or flip-content, encrypt-with-empty-part,
                                   spoil-empty-part)
       tamper.py set-record IN OUT ENCODED
"""
import re
import sys
import zlib

import pikepdf
from pikepdf import Array, Dictionary, Name, String


def make_base(out, pages):
    pdf = pikepdf.new()
    font = pdf.make_indirect(Dictionary(Type=Name.Font, Subtype=Name.Type1, BaseFont=Name.Helvetica))
    for number in range(1, pages + 1):
        pdf.add_blank_page(page_size=(595, 842))
        page = pdf.pages[-1]
        text = b"BT /F1 24 Tf 72 720 Td (Sealrun page %d) Tj ET\n" % number
        page.obj.Contents = pdf.make_stream(text)
        page.obj.Resources = Dictionary(Font=Dictionary(F1=font), ProcSet=Array([Name.PDF, Name.Text]))
    note = pdf.make_indirect(Dictionary(Type=Name.Annot, Subtype=Name.Text, Rect=Array([72, 600, 92, 620]),
                                        Contents=String("reviewed"), F=4))
    pdf.pages[0].obj.Annots = Array([note])
    pdf.save(out, object_stream_mode=pikepdf.ObjectStreamMode.disable, compress_streams=False,
             stream_decode_level=pikepdf.StreamDecodeLevel.none)


def serialise(obj):
    if isinstance(obj, pikepdf.Stream):
        data = obj.read_raw_bytes()
        obj.stream_dict.Length = len(data)
        return obj.stream_dict.unparse(resolved=True) + b"\nstream\n" + data + b"\nendstream"
    return obj.unparse(resolved=True)


def append_update(source, out, edit):
    """Opens `source`, lets `edit(pdf)` change objects and returns the objects it changed or made, and
    appends those objects to the original bytes as one incremental update."""
    original = open(source, "rb").read()
    previous = int(re.findall(rb"startxref\s+(\d+)", original)[-1])
    with pikepdf.open(source) as pdf:
        size = int(pdf.trailer.Size)
        changed = edit(pdf)
        body = bytearray(original if original.endswith(b"\n") else original + b"\n")
        offsets = []
        for obj in changed:
            number, generation = obj.objgen
            offsets.append((number, generation, len(body)))
            body += b"%d %d obj\n" % (number, generation) + serialise(obj) + b"\nendobj\n"
            size = max(size, number + 1)
        xref = len(body)
        body += b"xref\n0 1\n0000000000 65535 f \n"
        for number, generation, offset in sorted(offsets):
            body += b"%d 1\n%010d %05d n \n" % (number, offset, generation)
        trailer = Dictionary(Size=size, Root=pdf.trailer.Root, Prev=previous)
        if "/ID" in pdf.trailer:
            trailer.ID = pdf.trailer.ID
        if "/Info" in pdf.trailer:
            trailer.Info = pdf.trailer.Info
        body += b"trailer\n" + trailer.unparse() + b"\nstartxref\n%d\n%%%%EOF\n" % xref
    open(out, "wb").write(bytes(body))


def ordinary_annotations(page):
    return [a for a in page.obj.get("/Annots", Array()) if a.get("/Subtype") == Name.Text]


def add_annotation(pdf):
    page = pdf.pages[0]
    square = pdf.make_indirect(Dictionary(Type=Name.Annot, Subtype=Name.Square, Rect=Array([100, 100, 200, 200]), F=4))
    page.obj.Annots = Array(list(page.obj.get("/Annots", Array())) + [square])
    return [square, page.obj]


def remove_annotation(pdf):
    page = pdf.pages[0]
    note = ordinary_annotations(page)[0]
    page.obj.Annots = Array([a for a in page.obj.Annots if a.objgen != note.objgen])
    return [page.obj]


def edit_annotation(pdf):
    note = ordinary_annotations(pdf.pages[0])[0]
    note.Contents = String("rejected")
    return [note]


def change_resources(pdf):
    page = pdf.pages[0]
    courier = pdf.make_indirect(Dictionary(Type=Name.Font, Subtype=Name.Type1, BaseFont=Name.Courier))
    fonts = Dictionary({k: v for k, v in page.obj.Resources.Font.items()})
    fonts.F2 = courier
    page.obj.Resources.Font = fonts
    return [courier, page.obj]


def reorder_pages(pdf):
    pages = pdf.Root.Pages
    pages.Kids = Array(list(reversed(list(pages.Kids))))
    return [pages]


def update_content(pdf):
    contents = pdf.pages[0].obj.Contents
    if isinstance(contents, Array):
        contents = contents[0]
    data = contents.read_bytes().replace(b"Sealrun page", b"Forged! page")
    contents.write(data)
    return [contents]


def add_seal_marker(pdf):
    """A seal annotation nobody wrote a record for."""
    page = pdf.pages[0]
    seal = pdf.make_indirect(Dictionary(Type=Name.Annot, Subtype=Name("/Brasmoor:AddSeal"),
                                        Rect=Array([300, 300, 360, 330]), F=4))
    page.obj.Annots = Array(list(page.obj.get("/Annots", Array())) + [seal])
    return [seal, page.obj]


def flip_content_byte(source, out):
    """Changes one byte of page 1's text inside the original content stream, in place."""
    data = bytearray(open(source, "rb").read())
    at = data.find(b"(Sealrun page 1)")
    if at < 0:
        raise SystemExit("no page text to change")
    data[at + 1] = ord("Z")
    open(out, "wb").write(bytes(data))


def encrypt_with_empty_part(source, out):
    """Page 1's content as [its stream, an empty stream], the whole file encrypted with AES-128 and an empty
    user password. The empty part adds nothing to what a reader of the stored bytes sees."""
    with pikepdf.open(source) as pdf:
        page = pdf.pages[0].obj
        parts = list(page.Contents) if isinstance(page.Contents, Array) else [page.Contents]
        page.Contents = Array(parts + [pdf.make_stream(b"")])
        pdf.save(out, encryption=pikepdf.Encryption(owner="owner", user="", R=4, aes=True,
                                                     allow=pikepdf.Permissions(modify_assembly=True)),
                 object_stream_mode=pikepdf.ObjectStreamMode.disable, compress_streams=False)


def spoil_empty_part(source, out):
    """The empty last part of page 1's content (see encrypt_with_empty_part) made undecryptable in place:
    its one AES block follows a 16-byte IV, and flipping the IV's last byte turns the block's padding
    byte (16) into 144, which no decryption accepts. Same length, every offset kept."""
    with pikepdf.open(source) as pdf:
        number, generation = pdf.pages[0].obj.Contents[-1].objgen
    data = bytearray(open(source, "rb").read())
    found = re.search(rb"(?<![0-9])%d %d obj" % (number, generation), data)
    if found is None:
        raise SystemExit("no empty content part to spoil")
    start = re.compile(rb"stream\r?\n").search(data, found.end()).end()
    if data[start + 32:start + 32 + 10].strip()[:9] != b"endstream":
        raise SystemExit("the empty content part is not one IV and one block")
    data[start + 15] ^= 0x80
    open(out, "wb").write(bytes(data))


def huge_record(pdf):
    """The newest seal annotation's record stream replaced by one that decodes to 16 MiB."""
    seals = [a for page in pdf.pages for a in page.obj.get("/Annots", Array())
             if a.get("/Subtype") == Name("/Brasmoor:AddSeal") and "/Info" in a]
    seal = max(seals, key=lambda a: a.objgen[0])
    stream = pdf.make_indirect(pikepdf.Stream(pdf, zlib.compress(b"A" * (16 << 20), 9), Filter=Name.FlateDecode))
    seal.Info.BaseInfo = stream
    return [stream, seal] if not seal.Info.is_indirect else [stream, seal.Info]


def damage_record(pdf):
    """The newest seal annotation's record version is changed from 10."""
    seals = [a for page in pdf.pages for a in page.obj.get("/Annots", Array())
             if a.get("/Subtype") == Name("/Brasmoor:AddSeal") and "/Info" in a]
    seal = max(seals, key=lambda a: a.objgen[0])
    seal.Info.proVersion = 9
    return [seal] if not seal.Info.is_indirect else [seal.Info]


def set_record(encoded):
    """The newest seal annotation's record replaced by the given encoded record, as the system stores one."""
    def edit(pdf):
        seals = [a for page in pdf.pages for a in page.obj.get("/Annots", Array())
                 if a.get("/Subtype") == Name("/Brasmoor:AddSeal") and "/Info" in a]
        seal = max(seals, key=lambda a: a.objgen[0])
        stream = pdf.make_indirect(pikepdf.Stream(pdf, encoded.encode("ascii") + b"\0"))
        stream.strLen = len(encoded)
        seal.Info.BaseInfo = stream
        return [stream, seal] if not seal.Info.is_indirect else [stream, seal.Info]
    return edit


EDITS = {
    "add-annot": add_annotation,
    "remove-annot": remove_annotation,
    "edit-annot": edit_annotation,
    "resources": change_resources,
    "reorder": reorder_pages,
    "content-update": update_content,
    "seal-marker": add_seal_marker,
    "huge-record": huge_record,
    "damage-record": damage_record,
}

if __name__ == "__main__":
    if sys.argv[1] == "base":
        make_base(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1] == "flip-content":
        flip_content_byte(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "encrypt-with-empty-part":
        encrypt_with_empty_part(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "spoil-empty-part":
        spoil_empty_part(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "set-record":
        append_update(sys.argv[2], sys.argv[3], set_record(sys.argv[4]))
    else:
        append_update(sys.argv[2], sys.argv[3], EDITS[sys.argv[1]])
