"""Writes PDF files byte for byte with the forms the fingerprint's rules depend on and the engine's parser does not
keep: strings in hex and literal form (whatever their bytes), reals with more digits than 32 bits hold or written
as ".5" and "3.", names with "#" escapes and delimiter bytes, a dictionary of more than 100 keys out of order,
references at every level, pages sharing an identifier and one in the ANSI code page.

make_exact_fixture.py OUT [--object-stream] [--encrypt]
make_exact_fixture.py OUT --odd-sources
    --object-stream   the objects that may be (not streams, not the page tree root) go into an object stream
    --encrypt         RC4 128-bit (revision 3) with an empty user password; strings and streams encrypted,
                      each string keeping its form
    --odd-sources     a sixth page whose resources are written in ways the engine reads differently from
                      the bytes or by guessing: an indirect /Length and none at all, a name with the escape #00
                      (which the engine keeps as written), an integer longer than 64 bits, an object that is a
                      reference, a missing "endobj", spaces and CR LF after "stream"
The content is the same in every variant, object numbers included.
"""
import hashlib
import struct
import sys
import zlib


class Hex:
    def __init__(self, data):
        self.data = data


class Lit:
    def __init__(self, data):
        self.data = data


class Raw:
    """Written as it is: a real's digits, a name with its escapes, a keyword."""

    def __init__(self, text):
        self.text = text


class Ref:
    def __init__(self, number):
        self.number = number


class Stream:
    def __init__(self, entries, data):
        self.entries, self.data = entries, data


# ---- RC4, revision 3 ---------------------------------------------------------------------------------------

PAD = bytes.fromhex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A")
PERMISSIONS = -3904
FILE_ID = hashlib.md5(b"sealrun exact fingerprint fixture").digest()


def rc4(key, data):
    state = list(range(256))
    j = 0
    for i in range(256):
        j = (j + state[i] + key[i % len(key)]) % 256
        state[i], state[j] = state[j], state[i]
    out, i, j = bytearray(), 0, 0
    for byte in data:
        i = (i + 1) % 256
        j = (j + state[i]) % 256
        state[i], state[j] = state[j], state[i]
        out.append(byte ^ state[(state[i] + state[j]) % 256])
    return bytes(out)


def padded(password):
    return (password + PAD)[:32]


def rounds(key, data):
    for i in range(1, 20):
        data = rc4(bytes(b ^ i for b in key), data)
    return data


def security():
    """The file key and the /Encrypt dictionary for an empty user password."""
    digest = hashlib.md5(padded(b"owner")).digest()
    for _ in range(50):
        digest = hashlib.md5(digest).digest()
    owner = rounds(digest, rc4(digest, padded(b"")))
    digest = hashlib.md5(padded(b"") + owner + struct.pack("<i", PERMISSIONS) + FILE_ID).digest()
    for _ in range(50):
        digest = hashlib.md5(digest[:16]).digest()
    key = digest[:16]
    user = rounds(key, rc4(key, hashlib.md5(PAD + FILE_ID).digest())) + bytes(16)
    encrypt = [(b"Filter", Raw(b"/Standard")), (b"V", 2), (b"R", 3), (b"Length", 128),
               (b"O", Hex(owner)), (b"U", Hex(user)), (b"P", PERMISSIONS)]
    return key, encrypt


def object_key(key, number):
    return hashlib.md5(key + number.to_bytes(3, "little") + (0).to_bytes(2, "little")).digest()[:16]


# ---- Writing objects -------------------------------------------------------------------------------------

def literal(data):
    return b"(" + data.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)").replace(b"\r", b"\\r") + b")"


def write(value, crypt):
    """The bytes of a value; crypt encrypts string bytes (None: as they are)."""
    if value is None:
        return b"null"
    if isinstance(value, bool):
        return b"true" if value else b"false"
    if isinstance(value, int):
        return str(value).encode()
    if isinstance(value, Raw):
        return value.text
    if isinstance(value, Ref):
        return b"%d 0 R" % value.number
    if isinstance(value, (Hex, Lit)):
        data = crypt(value.data) if crypt else value.data
        return b"<" + data.hex().upper().encode() + b">" if isinstance(value, Hex) else literal(data)
    if isinstance(value, list) and value and isinstance(value[0], tuple):
        return b"<<" + b"".join(b" /" + key + b" " + write(child, crypt) for key, child in value) + b" >>"
    if isinstance(value, list):
        return b"[" + b" ".join(write(child, crypt) for child in value) + b"]"
    raise TypeError(value)


def content():
    """Object number -> value. Pages 3, 10, 11, 12, 13."""
    many = [(b"Key%03d" % ((i * 37) % 150), [Raw(b"%d.%03d" % (i, i)), Hex(bytes([i])), Lit(b"v%d" % i)][i % 3])
            for i in range(150)]
    probe = [(b"Hex", Hex(b"ABC")), (b"Lit", Lit(b"\x01\xff\x80")), (b"Esc", Lit(b"a(b)\\ \n\t\x08")),
             (b"Reals", [Raw(b"0.123456789"), Raw(b"-.5"), Raw(b"3."), Raw(b"0.0000001"), Raw(b"+1.25"),
                         Raw(b"100.0000000001"), Raw(b"-0.00000000004"), 2]),
             (b"Names", [Raw(b"/A#20B"), Raw(b"/a#28b#29#5B#5D"), Raw(b"/S#23harp"), Raw(b"/#2F"), Raw(b"/x#e9")]),
             (b"Zed", None), (b"Flag", True), (b"Ref", Ref(6)), (b"Nested", [(b"Z", 1), (b"A", [Ref(6), 5, Ref(7), None])])]
    page = [(b"Type", Raw(b"/Page")), (b"Parent", Ref(2)), (b"MediaBox", [0, 0, 612, 792]), (b"Contents", Ref(5)),
            (b"Resources", [(b"ExtGState", [(b"GS1", [(b"Type", Raw(b"/ExtGState")), (b"CA", Raw(b".5")),
                                                      (b"ca", Raw(b"0.123456789")), (b"LW", Raw(b"3."))])]),
                            (b"Font", [(b"F1", Ref(6))]), (b"ProcSet", [Raw(b"/PDF"), Raw(b"/Text"), Ref(6)]),
                            (b"Properties", [(b"P1", Ref(7)), (b"P2", Ref(4))])]),
            (b"Annots", [Ref(8), Ref(9)]), (b"ID", Lit(b"SAME")), (b"Probe", Ref(4))]
    return {
        1: [(b"Type", Raw(b"/Catalog")), (b"Pages", Ref(2))],
        2: [(b"Type", Raw(b"/Pages")), (b"Kids", [Ref(3), Ref(10), Ref(11), Ref(12), Ref(13)]), (b"Count", 5),
            (b"Resources", [(b"Font", [(b"F9", Ref(6))])])],
        3: page,
        4: probe,
        5: Stream([], b"BT /F1 12 Tf 72 700 Td (Exact) Tj ET"),
        6: [(b"Type", Raw(b"/Font")), (b"Subtype", Raw(b"/Type1")), (b"BaseFont", Raw(b"/Helvetica")),
            (b"Widths", [Raw(b"0.5"), Raw(b".25"), Raw(b"1.125")]), (b"Encoding", Hex(b"\x00\x01"))],
        7: many,
        8: [(b"Type", Raw(b"/Annot")), (b"Subtype", Raw(b"/Text")), (b"Rect", [Raw(b"10.5"), 10, 30, Raw(b"30.25")]),
            (b"Contents", Hex(b"\xfe\xff\x00A\x00B")), (b"NM", Lit(b"note")), (b"T", Lit(b"\xe2\x82\xac")),
            (b"C", [1, 0, 0]), (b"P", Ref(3)), (b"AP", [(b"N", Ref(14))])],
        9: [(b"Type", Raw(b"/Annot")), (b"Subtype", Raw(b"/Link")), (b"Rect", [40, 40, 60, 60]), (b"Border", [0, 0, 0]),
            (b"A", [(b"S", Raw(b"/URI")), (b"URI", Lit(b"http://example.com/a b"))])],
        10: [(b"Type", Raw(b"/Page")), (b"Parent", Ref(2)), (b"Contents", Ref(5)), (b"ID", Hex(b"SAME")),
             (b"Resources", [(b"Font", [(b"F1", Ref(6))])])],
        11: [(b"Type", Raw(b"/Page")), (b"Parent", Ref(2)), (b"Contents", [Ref(5), Ref(14)]), (b"ID", Lit(b"SAME"))],
        12: [(b"Type", Raw(b"/Page")), (b"Parent", Ref(2)), (b"Contents", Ref(5)), (b"ID", Lit("中文页".encode("gbk")))],
        13: [(b"Type", Raw(b"/Page")), (b"Parent", Ref(2)), (b"MediaBox", [0, 0, 100, Raw(b"100.5")])],
        14: Stream([(b"Type", Raw(b"/XObject")), (b"Subtype", Raw(b"/Form")), (b"BBox", [0, 0, 20, 20])],
                   zlib.compress(b"0 0 1 rg 0 0 20 20 re f")),
    }


def odd_sources(objects):
    """Adds page 20 and the objects it uses, each as raw bytes after "N 0 obj"."""
    objects[2][1] = (b"Kids", [Ref(3), Ref(10), Ref(11), Ref(12), Ref(13), Ref(20)])
    objects[2][2] = (b"Count", 6)
    data = b"q 1 0 0 1 5 5 cm /X1 Do Q"
    return {
        20: b"<< /Type /Page /Parent 2 0 R /Contents 21 0 R /Resources << /XObject << /X1 22 0 R /X2 28 0 R >> "
            b"/Font << /F1 24 0 R >> /ExtGState << /G1 25 0 R /G2 27 0 R >> /Pattern << /P1 26 0 R >> >> >>\nendobj\n",
        21: b"<< /Length 23 0 R >>\nstream\n" + data + b"\nendstream\nendobj\n",
        22: b"<< /Type /XObject /Subtype /Form /BBox [0 0 9 9] >>\nstream\n0 0 9 9 re f\nendstream\nendobj\n",
        23: b"%d\nendobj\n" % len(data),
        24: b"<< /Type /Font /Subtype /Type1 /BaseFont /Odd#00Name >>\nendobj\n",
        25: b"<< /Type /ExtGState /Big 123456789012345678901234567890 >>\nendobj\n",
        26: b"6 0 R\nendobj\n",
        27: b"<< /Type /ExtGState /LW 2 >>\n",
        28: b"<< /Type /XObject /Subtype /Form /BBox [0 0 9 9] /Length 8 >>\r\nstream  \r\n0 0 m S\n\nendstream\nendobj\n",
    }


def build(object_stream, encrypt, odd=False):
    objects = content()
    raw = odd_sources(objects) if odd else {}
    key, encrypt_dict = security() if encrypt else (None, None)
    numbers = sorted(list(objects) + list(raw))
    compressed = [n for n in numbers if object_stream and not isinstance(objects[n], Stream) and n not in (1, 2)]
    next_number = numbers[-1] + 1
    encrypt_number = None
    if encrypt:
        encrypt_number = next_number
        next_number += 1
    out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}

    def put(number, value, crypt_strings):
        offsets[number] = len(out)
        crypt = (lambda data: rc4(object_key(key, number), data)) if crypt_strings and key else None
        if isinstance(value, Stream):
            data = crypt(value.data) if crypt else value.data
            entries = value.entries + [(b"Length", len(data))]
            if value.data[:1] == b"x":
                entries.append((b"Filter", Raw(b"/FlateDecode")))
            out.extend(b"%d 0 obj\n" % number + write(entries, crypt) + b"\nstream\n" + data + b"\nendstream\nendobj\n")
        else:
            out.extend(b"%d 0 obj\n" % number + write(value, crypt) + b"\nendobj\n")

    for number in numbers:
        if number in raw:
            offsets[number] = len(out)
            out.extend(b"%d 0 obj\n" % number + raw[number])
        elif number not in compressed:
            put(number, objects[number], True)
    if encrypt:
        put(encrypt_number, encrypt_dict, False)
    trailer = [(b"Root", Ref(1))]
    if encrypt:
        trailer += [(b"Encrypt", Ref(encrypt_number)), (b"ID", [Hex(FILE_ID), Hex(FILE_ID)])]
    if not compressed:
        size = next_number
        xref = len(out)
        out.extend(b"xref\n0 %d\n0000000000 65535 f \n" % size)
        for number in range(1, size):
            out.extend(b"%010d 00000 n \n" % offsets[number] if number in offsets else b"0000000000 00001 f \n")
        out.extend(b"trailer\n" + write([(b"Size", size)] + trailer, None) + b"\nstartxref\n%d\n%%%%EOF\n" % xref)
        return bytes(out)
    # Objects in one stream (strings inside are not encrypted: the stream is), then a cross-reference stream.
    stream_number, xref_number = next_number, next_number + 1
    header, body = b"", b""
    for number in compressed:
        header += b"%d %d " % (number, len(body))
        body += write(objects[number], None) + b"\n"
    put(stream_number, Stream([(b"Type", Raw(b"/ObjStm")), (b"N", len(compressed)), (b"First", len(header))],
                              header + body), True)
    rows = bytearray(b"\x00" + bytes(4) + b"\xff\xff")
    for number in range(1, xref_number + 1):
        if number in compressed:
            rows += b"\x02" + stream_number.to_bytes(4, "big") + compressed.index(number).to_bytes(2, "big")
        elif number == xref_number:
            rows += b"\x01" + len(out).to_bytes(4, "big") + b"\x00\x00"
        else:
            rows += b"\x01" + offsets[number].to_bytes(4, "big") + b"\x00\x00"
    xref = len(out)
    entries = [(b"Type", Raw(b"/XRef")), (b"Size", xref_number + 1), (b"W", [1, 4, 2]), (b"Length", len(rows))]
    out.extend(b"%d 0 obj\n" % xref_number + write(entries + trailer, None) + b"\nstream\n" + bytes(rows) +
               b"\nendstream\nendobj\nstartxref\n%d\n%%%%EOF\n" % xref)
    return bytes(out)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as output:
        output.write(build("--object-stream" in sys.argv[2:], "--encrypt" in sys.argv[2:], "--odd-sources" in sys.argv[2:]))
