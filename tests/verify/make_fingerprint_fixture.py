"""Makes and edits the PDF files of the fingerprint tests with pikepdf (qpdf), independent of our engine.

make_fingerprint_fixture.py base OUT [--no-ids] [--same-ids] [--counted-ids] [--inherited] [--courier]
make_fingerprint_fixture.py EDIT IN OUT      EDIT: add-seal add-sig-widget add-annot content-byte resource
                                                   reorder nested-image annot-appearance swap-annots
                                                   form-content
"""
import os
import sys

import pikepdf
from pikepdf import Array, Dictionary, Name, Stream, String


def image(pdf, byte):
    return Stream(pdf, bytes([byte]) * 12, Type=Name.XObject, Subtype=Name.Image, Width=2, Height=2,
                  ColorSpace=Name.DeviceRGB, BitsPerComponent=8)


def appearance(pdf, text):
    return Stream(pdf, text, Type=Name.XObject, Subtype=Name.Form, BBox=Array([0, 0, 20, 20]))


def base(out, ids, same_ids, counted_ids, inherited, font_name):
    pdf = pikepdf.new()
    font = pdf.make_indirect(Dictionary(Type=Name.Font, Subtype=Name.Type1, BaseFont=Name(font_name)))
    for i in range(3):
        nested = Dictionary(XObject=Dictionary(Im1=pdf.make_indirect(image(pdf, 40 + i))))
        form = Stream(pdf, b"q 2 0 0 2 0 0 cm /Im1 Do Q", Type=Name.XObject, Subtype=Name.Form,
                      BBox=Array([0, 0, 10, 10]), Resources=pdf.make_indirect(nested))
        resources = Dictionary(Font=Dictionary(F1=font), XObject=Dictionary(Fm1=pdf.make_indirect(form)),
                               ProcSet=Array([Name.PDF, Name.Text]))
        content = Stream(pdf, b"BT /F1 12 Tf 72 700 Td (Page %d) Tj ET /Fm1 Do" % (i + 1))
        page = Dictionary(Type=Name.Page, MediaBox=Array([0, 0, 612, 792]), Contents=pdf.make_indirect(content))
        if not inherited:
            page.Resources = resources
        note = Dictionary(Type=Name.Annot, Subtype=Name.Text, Rect=Array([10, 10, 30, 30]),
                          Contents=String("note %d" % i),
                          AP=Dictionary(N=pdf.make_indirect(appearance(pdf, b"0 0 1 rg 0 0 20 20 re f"))))
        link = Dictionary(Type=Name.Annot, Subtype=Name.Link, Rect=Array([40, 40, 60, 60]), Border=Array([0, 0, 0]))
        page.Annots = Array([pdf.make_indirect(note), pdf.make_indirect(link)])
        if same_ids:
            page.ID = String("SAMEIDENTIFIER")
        elif counted_ids:
            page.ID = String("SAMEIDENTIFIER" + (str(i) if i else ""))
        elif ids:
            page.ID = String("PAGE%dIDENTIFIER" % i)
        pdf.pages.append(pikepdf.Page(page))
        if inherited and i == 0:
            pdf.Root.Pages.Resources = resources
    # The first save adds /Filter and /Length after the other keys, a rewrite sorts them: write the file
    # in the form every later edit keeps, so an edit differs from it only in what it changes.
    # (Opening pushes inherited resources down to the pages, so those files keep their first form.)
    if inherited:
        pdf.save(out)
        return
    pdf.save(out + ".first")
    with pikepdf.open(out + ".first") as first:
        first.save(out)
    os.remove(out + ".first")


def edit(kind, source, out):
    pdf = pikepdf.open(source)
    # Through the page tree: the pages API would push inherited resources down into the pages.
    page = pdf.Root.Pages.Kids[0]
    if kind == "add-seal":
        seal = Dictionary(Type=Name.Annot, Subtype=Name("/Brasmoor:AddSeal"), Rect=Array([100, 100, 200, 200]),
                          P=page, AP=Dictionary(N=pdf.make_indirect(appearance(pdf, b"1 0 0 rg 0 0 20 20 re f"))))
        page.Annots.append(pdf.make_indirect(seal))
    elif kind == "add-sig-widget":
        widget = pdf.make_indirect(Dictionary(Type=Name.Annot, Subtype=Name.Widget, FT=Name.Sig, T=String("Signature1"),
                                              Rect=Array([100, 100, 200, 200]), F=4, P=page,
                                              AP=Dictionary(N=pdf.make_indirect(appearance(pdf, b"")))))
        page.Annots.append(widget)
        pdf.Root.AcroForm = Dictionary(Fields=Array([widget]), SigFlags=3)
    elif kind == "add-annot":
        page.Annots.append(pdf.make_indirect(Dictionary(Type=Name.Annot, Subtype=Name.Square,
                                                        Rect=Array([100, 100, 200, 200]))))
    elif kind == "content-byte":
        data = bytearray(page.Contents.read_bytes())
        data[data.index(b"72")] = ord("8")
        page.Contents.write(bytes(data))
    elif kind == "resource":
        page.Resources.Font.F1 = pdf.make_indirect(
            Dictionary(Type=Name.Font, Subtype=Name.Type1, BaseFont=Name.Courier))
    elif kind == "reorder":
        pdf.pages.reverse()
    elif kind == "form-content":
        page.Resources.XObject.Fm1.write(b"q 3 0 0 3 0 0 cm /Im1 Do Q")
    elif kind == "nested-image":
        page.Resources.XObject.Fm1.Resources.XObject.Im1.write(bytes([99]) * 12)
    elif kind == "annot-appearance":
        page.Annots[0].AP.N.write(b"1 0 0 rg 0 0 20 20 re f")
    elif kind == "swap-annots":
        page.Annots = Array([page.Annots[1], page.Annots[0]])
    else:
        raise SystemExit("unknown edit " + kind)
    pdf.save(out)


if __name__ == "__main__":
    if sys.argv[1] == "base":
        flags = sys.argv[3:]
        # Files with inherited resources are made whole: opening one in qpdf pushes them down to the pages.
        base(sys.argv[2], "--no-ids" not in flags, "--same-ids" in flags, "--counted-ids" in flags,
             "--inherited" in flags,
             "/Courier" if "--courier" in flags else "/Helvetica")
    else:
        edit(sys.argv[1], sys.argv[2], sys.argv[3])
