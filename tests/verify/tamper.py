"""Makes the PDF files of the verification tests and changes sealed copies the way an outside tool would.

Base files are written by pikepdf (qpdf) with a classic cross-reference table and uncompressed content.
Changes to a sealed file are either made in place (a byte of a stream flipped, same length) or appended as
an incremental update written here by hand, so everything the sealing wrote stays byte for byte.

usage: tamper.py base OUT PAGES
       tamper.py EDIT IN OUT [--xref-stream]  (EDIT: see EDITS below, or flip-content, encrypt-with-empty-part,
                                               spoil-empty-part, rewrite)
       tamper.py set-record IN OUT ENCODED
With --xref-stream the update is written as a cross-reference stream, its objects other than streams kept in
an object stream.
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
    look = pdf.make_stream(b"0 0 1 rg 0 0 20 20 re f\n", Type=Name.XObject, Subtype=Name.Form,
                           BBox=Array([0, 0, 20, 20]))
    note = pdf.make_indirect(Dictionary(Type=Name.Annot, Subtype=Name.Text, Rect=Array([72, 600, 92, 620]),
                                        Contents=String("reviewed"), F=4, AP=Dictionary(N=look)))
    pdf.pages[0].obj.Annots = Array([note])
    if pages > 1:
        # A filled-in text field on the last page, its widget merged with it.
        field_look = pdf.make_stream(b"BT /F1 12 Tf 2 4 Td (Li Lei) Tj ET\n", Type=Name.XObject,
                                     Subtype=Name.Form, BBox=Array([0, 0, 150, 20]),
                                     Resources=Dictionary(Font=Dictionary(F1=font)))
        field = pdf.make_indirect(Dictionary(Type=Name.Annot, Subtype=Name.Widget, FT=Name.Tx, T=String("buyer"),
                                             V=String("Li Lei"), Rect=Array([72, 500, 222, 520]), F=4,
                                             AP=Dictionary(N=field_look)))
        field.P = pdf.pages[-1].obj
        pdf.pages[-1].obj.Annots = Array([field])
        pdf.Root.AcroForm = Dictionary(Fields=Array([field]), DA=String("/Helv 0 Tf 0 g"))
    pdf.save(out, object_stream_mode=pikepdf.ObjectStreamMode.disable, compress_streams=False,
             stream_decode_level=pikepdf.StreamDecodeLevel.none)


def serialise(obj):
    if isinstance(obj, pikepdf.Stream):
        data = obj.read_raw_bytes()
        obj.stream_dict.Length = len(data)
        return obj.stream_dict.unparse(resolved=True) + b"\nstream\n" + data + b"\nendstream"
    return obj.unparse(resolved=True)


def trailer_for(pdf, size, previous):
    trailer = Dictionary(Size=size, Root=pdf.trailer.Root, Prev=previous)
    if "/ID" in pdf.trailer:
        trailer.ID = pdf.trailer.ID
    if "/Info" in pdf.trailer:
        trailer.Info = pdf.trailer.Info
    return trailer


def xref_stream_update(pdf, body, changed, size, previous):
    """The changed objects after `body`: streams on their own, every other object inside one object stream,
    and a cross-reference stream naming them all."""
    entries = {}  # number -> (type, field2, field3)
    kept = [obj for obj in changed if not isinstance(obj, pikepdf.Stream)]
    for obj in changed:
        if isinstance(obj, pikepdf.Stream):
            number, generation = obj.objgen
            entries[number] = (1, len(body), generation)
            body += b"%d %d obj\n" % (number, generation) + serialise(obj) + b"\nendobj\n"
    if kept:
        container = size
        size += 1
        header, data = [], b""
        for index, obj in enumerate(kept):
            header.append(b"%d %d" % (obj.objgen[0], len(data)))
            data += obj.unparse(resolved=True) + b"\n"
            entries[obj.objgen[0]] = (2, container, index)
        head = b" ".join(header) + b"\n"
        stream = head + data
        entries[container] = (1, len(body), 0)
        body += (b"%d 0 obj\n<< /Type /ObjStm /N %d /First %d /Length %d >>\nstream\n" %
                 (container, len(kept), len(head), len(stream)) + stream + b"\nendstream\nendobj\n")
    xref_number = size
    size += 1
    entries[xref_number] = (1, len(body), 0)
    rows, index = b"", []
    for number in sorted(entries):
        kind, second, third = entries[number]
        rows += bytes([kind]) + second.to_bytes(4, "big") + third.to_bytes(2, "big")
        index += [number, 1]
    trailer = trailer_for(pdf, size, previous)
    trailer.Type = Name.XRef
    trailer.W = Array([1, 4, 2])
    trailer.Index = Array(index)
    trailer.Length = len(rows)
    offset = len(body)
    body += (b"%d 0 obj\n" % xref_number + trailer.unparse() + b"\nstream\n" + rows + b"\nendstream\nendobj\n" +
             b"startxref\n%d\n%%%%EOF\n" % offset)


def append_update(source, out, edit, xref_stream=False):
    """Opens `source`, lets `edit(pdf)` change objects and returns the objects it changed or made, and
    appends those objects to the original bytes as one incremental update."""
    original = open(source, "rb").read()
    previous = int(re.findall(rb"startxref\s+(\d+)", original)[-1])
    with pikepdf.open(source) as pdf:
        size = int(pdf.trailer.Size)
        changed = edit(pdf)
        body = bytearray(original if original.endswith(b"\n") else original + b"\n")
        size = max([size] + [obj.objgen[0] + 1 for obj in changed])
        if xref_stream:
            xref_stream_update(pdf, body, changed, size, previous)
        else:
            offsets = []
            for obj in changed:
                number, generation = obj.objgen
                offsets.append((number, generation, len(body)))
                body += b"%d %d obj\n" % (number, generation) + serialise(obj) + b"\nendobj\n"
            xref = len(body)
            body += b"xref\n0 1\n0000000000 65535 f \n"
            for number, generation, offset in sorted(offsets):
                body += b"%d 1\n%010d %05d n \n" % (number, offset, generation)
            body += (b"trailer\n" + trailer_for(pdf, size, previous).unparse() +
                     b"\nstartxref\n%d\n%%%%EOF\n" % xref)
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


def append_content(pdf):
    page = pdf.pages[0].obj
    extra = pdf.make_stream(b"BT /F1 24 Tf 72 680 Td (Added later) Tj ET\n")
    parts = list(page.Contents) if isinstance(page.Contents, Array) else [page.Contents]
    page.Contents = Array(parts + [extra])
    return [extra, page]


def restore_content(pdf):
    """Undoes content-update."""
    contents = pdf.pages[0].obj.Contents
    if isinstance(contents, Array):
        contents = contents[0]
    contents.write(contents.read_bytes().replace(b"Forged! page", b"Sealrun page"))
    return [contents]


def change_font(pdf):
    """The font every page shares, changed where it is."""
    font = pdf.pages[0].obj.Resources.Font.F1
    font.BaseFont = Name.Courier
    return [font]


def inherit_resources(pdf):
    pages = pdf.Root.Pages
    courier = pdf.make_indirect(Dictionary(Type=Name.Font, Subtype=Name.Type1, BaseFont=Name.Courier))
    pages.Resources = Dictionary(Font=Dictionary(F9=courier))
    return [courier, pages]


def change_mediabox(pdf):
    page = pdf.pages[0].obj
    page.MediaBox = Array([0, 0, 595, 600])
    return [page]


def rotate_page(pdf):
    page = pdf.pages[0].obj
    page.Rotate = 90
    return [page]


def add_page(pdf):
    pages = pdf.Root.Pages
    page = pdf.make_indirect(Dictionary(Type=Name.Page, Parent=pages, MediaBox=Array([0, 0, 595, 842]),
                                        Contents=pdf.make_stream(b"BT /F1 24 Tf 72 720 Td (Extra page) Tj ET\n"),
                                        Resources=pdf.pages[0].obj.Resources))
    pages.Kids = Array(list(pages.Kids) + [page])
    pages.Count = int(pages.Count) + 1
    return [page.Contents, page, pages]


def remove_last_page(pdf):
    pages = pdf.Root.Pages
    pages.Kids = Array(list(pages.Kids)[:-1])
    pages.Count = int(pages.Count) - 1
    return [pages]


def note(pdf):
    return ordinary_annotations(pdf.pages[0])[0]


def change_note_appearance(pdf):
    look = note(pdf).AP.N
    look.write(b"1 0 0 rg 0 0 20 20 re f\n")
    return [look]


def hide_note(pdf):
    annotation = note(pdf)
    annotation.F = 2
    return [annotation]


def move_note(pdf):
    annotation = note(pdf)
    annotation.Rect = Array([300, 600, 320, 620])
    return [annotation]


def note_in_layer(pdf):
    layer = pdf.make_indirect(Dictionary(Type=Name.OCG, Name=String("hidden")))
    annotation = note(pdf)
    annotation.OC = layer
    return [layer, annotation]


def add_layers(pdf):
    layer = pdf.make_indirect(Dictionary(Type=Name.OCG, Name=String("layer")))
    pdf.Root.OCProperties = Dictionary(OCGs=Array([layer]), D=Dictionary(OFF=Array([layer])))
    return [layer, pdf.Root]


def newest_seal(pdf):
    seals = [a for page in pdf.pages for a in page.obj.get("/Annots", Array())
             if a.get("/Subtype") == Name("/Brasmoor:AddSeal") and "/Info" in a]
    return max(seals, key=lambda a: a.objgen[0])


def move_seal(pdf):
    seal = newest_seal(pdf)
    seal.Rect = Array([float(v) + 50 for v in seal.Rect])
    return [seal]


def hide_seal(pdf):
    seal = newest_seal(pdf)
    seal.F = 2
    return [seal]


def rewrite_seal_record(pdf):
    """The record stream written anew where it is: the same symbols in another order."""
    stream = newest_seal(pdf).Info.BaseInfo
    stream.write(bytes(reversed(stream.read_bytes())))
    return [stream]


def repaint_seal(pdf):
    """The seal's picture replaced where it is: the appearance draws a grey box instead."""
    look = newest_seal(pdf).AP.N
    look.write(b"0.5 g 0 0 10 10 re f\n")
    return [look]


def seal_on_two_pages(pdf):
    """The newest seal annotation listed on the last page as well: taken off its own page, it still shows
    on the other."""
    seal = newest_seal(pdf)
    last = pdf.pages[-1].obj
    last.Annots = Array(list(last.get("/Annots", Array())) + [seal])
    return [last]


def drop_seal(pdf):
    """The newest seal annotation taken off its page, as a removal does it."""
    return drop_seal_from_page(pdf, newest_seal(pdf))


def drop_seal_and_forge(pdf):
    """The newest seal annotation taken off its page and page 1's text changed, in one update: what a
    faulty removal would write."""
    seal = newest_seal(pdf)
    return update_content(pdf) + drop_seal_from_page(pdf, seal)


def drop_seal_from_page(pdf, seal):
    changed = []
    for page in pdf.pages:
        annots = list(page.obj.get("/Annots", Array()))
        if any(a.objgen == seal.objgen for a in annots):
            page.obj.Annots = Array([a for a in annots if a.objgen != seal.objgen])
            changed.append(page.obj)
    return changed


def newest_signature_widget(pdf):
    widgets = [a for page in pdf.pages for a in page.obj.get("/Annots", Array())
               if a.get("/Subtype") == Name.Widget and a.get("/FT") == Name.Sig and "/V" in a]
    return max(widgets, key=lambda a: a.objgen[0])


def move_signature(pdf):
    widget = newest_signature_widget(pdf)
    widget.Rect = Array([float(v) + 50 for v in widget.Rect])
    return [widget]


def repaint_signature(pdf):
    look = newest_signature_widget(pdf).AP.N
    look.write(b"0.5 g 0 0 10 10 re f\n")
    return [look]


def text_field(pdf):
    return [f for f in pdf.Root.AcroForm.Fields if f.get("/FT") == Name.Tx][0]


def change_field_value(pdf):
    field = text_field(pdf)
    field.V = String("Han Meimei")
    return [field]


def need_appearances(pdf):
    form = pdf.Root.AcroForm
    form.NeedAppearances = True
    return [form] if form.is_indirect else [pdf.Root]


def add_text_field(pdf):
    page = pdf.pages[0].obj
    field = pdf.make_indirect(Dictionary(Type=Name.Annot, Subtype=Name.Widget, FT=Name.Tx, T=String("extra"),
                                         V=String("added"), Rect=Array([72, 400, 222, 420]), F=4, P=page))
    page.Annots = Array(list(page.get("/Annots", Array())) + [field])
    form = pdf.Root.AcroForm
    form.Fields = Array(list(form.Fields) + [field])
    return [field, page] + ([form] if form.is_indirect else [pdf.Root])


def javascript_action(pdf):
    return pdf.make_indirect(Dictionary(S=Name.JavaScript, JS=String("app.alert('changed');")))


def open_action(pdf):
    action = javascript_action(pdf)
    pdf.Root.OpenAction = action
    return [action, pdf.Root]


def document_actions(pdf):
    action = javascript_action(pdf)
    pdf.Root.AA = Dictionary(WC=action)
    return [action, pdf.Root]


def document_javascript(pdf):
    action = javascript_action(pdf)
    pdf.Root.Names = Dictionary(JavaScript=Dictionary(Names=Array([String("start"), action])))
    return [action, pdf.Root]


def page_actions(pdf):
    action = javascript_action(pdf)
    page = pdf.pages[0].obj
    page.AA = Dictionary(O=action)
    return [action, page]


def change_page_identifier(pdf):
    page = pdf.pages[0].obj
    page.ID = String("another identifier of 24")
    return [page]


def remove_page_identifier(pdf):
    page = pdf.pages[0].obj
    del page.ID
    return [page]


def add_page_identifiers(pdf):
    """An identifier on every page that has none, as the fingerprint makes them."""
    changed = []
    for page in pdf.pages:
        if "/ID" not in page.obj:
            page.obj.ID = String("identifier %014d" % page.obj.objgen[0])
            changed.append(page.obj)
    return changed


def document_information(pdf):
    info = pdf.make_indirect(Dictionary(Title=String("Contract"), Producer=String("another tool")))
    pdf.trailer.Info = info
    return [info]


def metadata(pdf):
    xml = pdf.make_stream(b"<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'/>"
                          b"<?xpacket end='w'?>", Type=Name.Metadata, Subtype=Name.XML)
    pdf.Root.Metadata = xml
    return [xml, pdf.Root]


def validation_data(pdf):
    certificate = pdf.make_stream(b"0\x82\x01\x00 not a real certificate")
    pdf.Root.DSS = Dictionary(Certs=Array([certificate]), OCSPs=Array(), CRLs=Array())
    return [certificate, pdf.Root]


def document_timestamp(pdf):
    """A document timestamp as signers add one: an invisible signature field whose value is a /DocTimeStamp.
    Its token is not a real one; the earlier seals are what is checked."""
    page = pdf.pages[0].obj
    value = pdf.make_indirect(Dictionary(Type=Name.DocTimeStamp, Filter=Name("/Adobe.PPKLite"),
                                         SubFilter=Name("/ETSI.RFC3161"), ByteRange=Array([0, 0, 0, 0]),
                                         Contents=String(b"\x00" * 64)))
    widget = pdf.make_indirect(Dictionary(Type=Name.Annot, Subtype=Name.Widget, FT=Name.Sig, T=String("timestamp"),
                                          V=value, Rect=Array([0, 0, 0, 0]), F=132, P=page))
    page.Annots = Array(list(page.get("/Annots", Array())) + [widget])
    changed = [value, widget, page]
    if "/AcroForm" in pdf.Root:
        form = pdf.Root.AcroForm
        form.Fields = Array(list(form.Fields) + [widget])
        form.SigFlags = 3
        changed.append(form if form.is_indirect else pdf.Root)
    else:
        pdf.Root.AcroForm = Dictionary(Fields=Array([widget]), SigFlags=3)
        changed.append(pdf.Root)
    return changed


def remove_added_annotations(pdf):
    """Undoes add-annot."""
    page = pdf.pages[0].obj
    page.Annots = Array([a for a in page.Annots if a.get("/Subtype") != Name.Square])
    return [page]


def rewrite(source, out):
    """The whole file written anew, as one revision: every earlier update folded into it."""
    with pikepdf.open(source) as pdf:
        pdf.save(out, object_stream_mode=pikepdf.ObjectStreamMode.disable, compress_streams=False,
                 stream_decode_level=pikepdf.StreamDecodeLevel.none)


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
    "content-append": append_content,
    "content-restore": restore_content,
    "font": change_font,
    "inherited-resources": inherit_resources,
    "mediabox": change_mediabox,
    "rotate": rotate_page,
    "add-page": add_page,
    "remove-page": remove_last_page,
    "annot-appearance": change_note_appearance,
    "annot-flags": hide_note,
    "annot-rect": move_note,
    "annot-layer": note_in_layer,
    "layers": add_layers,
    "seal-rect": move_seal,
    "seal-flags": hide_seal,
    "seal-record": rewrite_seal_record,
    "seal-picture": repaint_seal,
    "seal-on-two-pages": seal_on_two_pages,
    "seal-dropped": drop_seal,
    "seal-dropped-and-forged": drop_seal_and_forge,
    "signature-rect": move_signature,
    "signature-appearance": repaint_signature,
    "field-value": change_field_value,
    "need-appearances": need_appearances,
    "add-text-field": add_text_field,
    "open-action": open_action,
    "document-actions": document_actions,
    "document-javascript": document_javascript,
    "page-actions": page_actions,
    "page-id-change": change_page_identifier,
    "page-id-remove": remove_page_identifier,
    "page-id-add": add_page_identifiers,
    "info": document_information,
    "metadata": metadata,
    "validation-data": validation_data,
    "timestamp": document_timestamp,
    "remove-added-annot": remove_added_annotations,
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
    elif sys.argv[1] == "rewrite":
        rewrite(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "set-record":
        append_update(sys.argv[2], sys.argv[3], set_record(sys.argv[4]))
    else:
        append_update(sys.argv[2], sys.argv[3], EDITS[sys.argv[1]], xref_stream="--xref-stream" in sys.argv[4:])
