"""The document fingerprint of PDF files computed by the system's rules from the files' own bytes, apart from
our engine: the tests compare the engine's page lines with these.

fingerprint_reference.py FILE...   prints, for each file:
    file FILE
    line IDENTIFIER$PAGEDIGEST        (one per page, in page order)
    fingerprint FINGERPRINT
or "error MESSAGE" in place of the lines when the file cannot be read.

Every object is tokenized here from the raw bytes: the order of dictionary entries, whether a string is written
in hex, the digits of a real and the bytes of names all come from the file as written. pikepdf (qpdf) only says
where objects are (the cross-reference), decodes object streams, reads stored stream data and, for encrypted
files, gives the decrypted bytes of strings.
"""
import hashlib
import re
import subprocess
import sys

import pikepdf

FINGERPRINT_ALPHABET = b"LCdWkHhGr5KcgjqR0SD1tnv3zX9xaEwQfeYPy/IbZMAOoui+6Ulm2BF4=Vp8Js7NT"
SEAL_SUBTYPE = b"Brasmoor:AddSeal"
ANSI_ENCODING = "gbk"

WHITE = b"\x00\t\n\x0c\r "
DELIMITERS = b"()<>[]{}/%"
NUMBER = re.compile(rb"^[+-]?(\d+\.?\d*|\.\d+)$")


def alphabet_text(data):
    """Three bytes to four symbols; a last group of one or two bytes is padded with the pad symbol."""
    out = bytearray()
    for start in range(0, len(data), 3):
        group = data[start:start + 3]
        value = int.from_bytes(group + bytes(3 - len(group)), "big")
        for k in range(4):
            out.append(FINGERPRINT_ALPHABET[(value >> (18 - 6 * k)) & 63] if k <= len(group) else FINGERPRINT_ALPHABET[64])
    return out.decode("ascii")


# ---- Tokens and objects from raw bytes -------------------------------------------------------------------

class Ref:
    def __init__(self, number, generation):
        self.number, self.generation = number, generation


class Real:
    def __init__(self, text):
        self.text = text


class Str:
    def __init__(self, data, hex_form):
        self.data, self.hex = data, hex_form


class Name:
    def __init__(self, data):
        self.data = data


class Dict:
    def __init__(self, entries):
        self.entries = entries  # (key bytes, value) in file order
        self.stream = None  # (object number) when the dictionary is a stream's

    def get(self, key):
        for k, v in self.entries:
            if k == key:
                return v
        return None


class Lexer:
    def __init__(self, data, at=0):
        self.data, self.at = data, at

    def skip_white(self):
        data = self.data
        while self.at < len(data):
            c = data[self.at]
            if c in WHITE:
                self.at += 1
            elif c == ord("%"):
                while self.at < len(data) and data[self.at] not in b"\r\n":
                    self.at += 1
            else:
                return

    def regular_run(self):
        start = self.at
        while self.at < len(self.data) and self.data[self.at] not in WHITE and self.data[self.at] not in DELIMITERS:
            self.at += 1
        return self.data[start:self.at]

    def token(self):
        self.skip_white()
        data = self.data
        if self.at >= len(data):
            return ("eof", None)
        c = data[self.at:self.at + 1]
        if c == b"/":
            self.at += 1
            return ("name", decode_name(self.regular_run()))
        if c == b"(":
            self.at += 1
            return ("string", Str(self.literal_string(), False))
        if data[self.at:self.at + 2] == b"<<":
            self.at += 2
            return ("<<", None)
        if data[self.at:self.at + 2] == b">>":
            self.at += 2
            return (">>", None)
        if c == b"<":
            end = data.index(b">", self.at)
            digits = bytes(ch for ch in data[self.at + 1:end] if ch not in WHITE)
            self.at = end + 1
            if len(digits) % 2:
                digits += b"0"
            return ("string", Str(bytes.fromhex(digits.decode("ascii")), True))
        if c in (b"[", b"]"):
            self.at += 1
            return (c.decode(), None)
        word = self.regular_run()
        if not word:
            raise ValueError("unexpected byte %r at %d" % (c, self.at))
        if NUMBER.match(word):
            return ("real", Real(word)) if b"." in word else ("int", int(word))
        if word in (b"true", b"false"):
            return ("bool", word == b"true")
        if word == b"null":
            return ("null", None)
        return ("keyword", word)

    def literal_string(self):
        data, out, depth = self.data, bytearray(), 1
        escapes = {ord("n"): b"\n", ord("r"): b"\r", ord("t"): b"\t", ord("b"): b"\b", ord("f"): b"\f"}
        while True:
            c = data[self.at]
            self.at += 1
            if c == ord("\\"):
                e = data[self.at]
                self.at += 1
                if e in escapes:
                    out += escapes[e]
                elif 0x30 <= e <= 0x37:
                    digits = bytes([e])
                    while len(digits) < 3 and 0x30 <= data[self.at] <= 0x37:
                        digits += data[self.at:self.at + 1]
                        self.at += 1
                    out.append(int(digits, 8) & 0xFF)
                elif e == ord("\r"):
                    if data[self.at] == ord("\n"):
                        self.at += 1
                elif e != ord("\n"):
                    out.append(e)
            elif c == ord("("):
                depth += 1
                out.append(c)
            elif c == ord(")"):
                depth -= 1
                if depth == 0:
                    return bytes(out)
                out.append(c)
            else:
                out.append(c)


def decode_name(raw):
    out, i = bytearray(), 0
    while i < len(raw):
        if raw[i] == ord("#") and re.match(rb"[0-9A-Fa-f]{2}", raw[i + 1:i + 3]):
            out.append(int(raw[i + 1:i + 3], 16))
            i += 3
        else:
            out.append(raw[i])
            i += 1
    return bytes(out)


def parse_value(lexer, token, references=True):
    kind, value = token
    if kind == "<<":
        entries = []
        while True:
            key = lexer.token()
            if key[0] == ">>":
                return Dict(entries)
            if key[0] != "name":
                raise ValueError("a dictionary key that is no name")
            entries.append((key[1], parse_value(lexer, lexer.token())))
    if kind == "[":
        items = []
        while True:
            element = lexer.token()
            if element[0] == "]":
                return items
            items.append(parse_value(lexer, element))
    if kind == "int" and references:
        mark = lexer.at
        second, third = lexer.token(), lexer.token()
        if second[0] == "int" and third == ("keyword", b"R"):
            return Ref(value, second[1])
        lexer.at = mark
        return value
    if kind in ("int", "real", "string", "bool", "null"):
        return value
    if kind == "name":
        return Name(value)
    raise ValueError("unexpected %s" % kind)


# ---- The file -------------------------------------------------------------------------------------------

class SourceFile:
    def __init__(self, path):
        self.path = path
        self.data = open(path, "rb").read()
        self.pdf = pikepdf.open(path)
        self.encrypted = self.pdf.is_encrypted
        self.xref = {}
        shown = subprocess.run(["qpdf", "--show-xref", path], capture_output=True, check=True).stdout.decode()
        for line in shown.splitlines():
            m = re.match(r"(\d+)/(\d+): uncompressed; offset = (\d+)", line)
            if m:
                self.xref[int(m.group(1))] = ("file", int(m.group(3)), int(m.group(2)))
            m = re.match(r"(\d+)/(\d+): compressed; stream = (\d+), index = (\d+)", line)
            if m:
                self.xref[int(m.group(1))] = ("stream", int(m.group(3)), int(m.group(4)))
        self.objects = {}
        self.object_streams = {}

    def object(self, number):
        """The parsed source of an object (None for a missing one)."""
        if number not in self.objects:
            self.objects[number] = self.parse_object(number)
        return self.objects[number]

    def parse_object(self, number):
        place = self.xref.get(number)
        if place is None:
            return None
        if place[0] == "file":
            lexer = Lexer(self.data, place[1])
            if lexer.token() != ("int", number) or lexer.token()[0] != "int" or lexer.token() != ("keyword", b"obj"):
                raise ValueError("object %d is not where the cross-reference says" % number)
            value = parse_value(lexer, lexer.token())
            if isinstance(value, Dict) and lexer.token() == ("keyword", b"stream"):
                value.stream = number
            if self.encrypted:
                self.take_decrypted_strings(value, self.pdf.get_object((number, place[2])))
            return value
        data, offsets = self.object_stream(place[1])
        lexer = Lexer(data, offsets[place[2]])
        return parse_value(lexer, lexer.token(), references=False)

    def object_stream(self, number):
        if number not in self.object_streams:
            stream = self.pdf.get_object((number, 0))
            data = stream.read_bytes()
            lexer = Lexer(data)
            pairs = [(lexer.token()[1], lexer.token()[1]) for _ in range(int(stream.N))]
            self.object_streams[number] = (data, [int(stream.First) + offset for _, offset in pairs])
        return self.object_streams[number]

    def take_decrypted_strings(self, value, decrypted):
        """Strings of an encrypted file are stored encrypted: their bytes come from qpdf, their form from here."""
        if isinstance(value, Str):
            value.data = bytes(decrypted)
        elif isinstance(value, Dict):
            counterparts = dict(decrypted.items())  # by key text: pikepdf makes no name of an empty key
            for key, child in value.entries:
                self.take_decrypted_strings(child, counterparts.get("/" + key.decode("latin-1")))
        elif isinstance(value, list):
            for child, counterpart in zip(value, decrypted):
                self.take_decrypted_strings(child, counterpart)

    def resolve(self, value):
        while isinstance(value, Ref):
            value = self.object(value.number)
        return value

    def raw_stream(self, number):
        place = self.xref[number]
        return self.pdf.get_object((number, place[2] if place[0] == "file" else 0)).read_raw_bytes()


# ---- The rules ------------------------------------------------------------------------------------------

class Canonical:
    def __init__(self, source):
        self.source, self.out = source, bytearray()

    def value(self, value, top):
        if isinstance(value, Ref):
            if top:
                self.value(self.source.resolve(value), False)
            return
        if value is None:
            self.out += b"null"
        elif isinstance(value, bool):
            self.out += b"true" if value else b"false"
        elif isinstance(value, int):
            self.out += str(value).encode()
        elif isinstance(value, Real):
            self.out += real_text(value.text)
        elif isinstance(value, Str):
            self.out += string_text(value)
        elif isinstance(value, Name):
            self.out += name_text(value.data)
        elif isinstance(value, Dict):
            self.out += b"<<"
            for key, child in value.entries:
                self.out += name_text(key)
                if starts_regular(child):
                    self.out += b" "
                self.value(child, False)
            self.out += b">>"
            if value.stream is not None:
                self.out += b"stream\r\n" + self.source.raw_stream(value.stream) + b"\r\nendstream"
        elif isinstance(value, list):
            self.out += b"["
            previous = None
            for index, child in enumerate(value):
                if index and ends_regular(previous) and starts_regular(child):
                    self.out += b" "
                self.value(child, False)
                previous = child
            self.out += b"]"


def starts_regular(value):
    return value is None or isinstance(value, (bool, int, Real, Ref))


def ends_regular(value):
    return starts_regular(value) or isinstance(value, Name)


def real_text(text):
    written = "%.10f" % float(text)
    if "." in written:
        written = written.rstrip("0")
        if written.endswith("."):
            written += "0"
    return written.encode()


def string_text(string):
    if string.hex:
        return b"<" + string.data.hex().upper().encode() + b">"
    escapes = {8: b"\\b", 9: b"\\t", 10: b"\\n", 12: b"\\f", 13: b"\\r", 40: b"\\(", 41: b"\\)", 92: b"\\\\"}
    return b"(" + b"".join(escapes.get(byte, bytes([byte])) for byte in string.data) + b")"


def name_text(data):
    return b"/" + b"".join(b"#%02X" % byte if byte in WHITE or byte in DELIMITERS else bytes([byte]) for byte in data)


def page_digest(source, page_number):
    page = source.object(page_number)
    canonical = Canonical(source)
    contents = source.resolve(page.get(b"Contents"))
    for part in (contents if isinstance(contents, list) else [contents]):
        part = source.resolve(part)
        if isinstance(part, Dict) and part.stream is not None:
            canonical.out += source.raw_stream(part.stream)
    annotations = source.resolve(page.get(b"Annots"))
    dictionaries = [a for a in map(source.resolve, annotations if isinstance(annotations, list) else [])
                    if isinstance(a, Dict)]
    for annotation in reversed(dictionaries):
        subtype = source.resolve(annotation.get(b"Subtype"))
        if isinstance(subtype, Name) and subtype.data == SEAL_SUBTYPE:
            continue
        field_type = source.resolve(annotation.get(b"FT"))
        if isinstance(field_type, Name) and field_type.data == b"Sig":
            continue
        canonical.value(annotation, True)
    resources = source.resolve(page.get(b"Resources"))
    if isinstance(resources, Dict):
        for _, category in resources.entries:
            category = source.resolve(category)
            if isinstance(category, Dict) and category.stream is None:
                for _, value in category.entries:
                    canonical.value(value, True)
            elif isinstance(category, list):
                for element in category:
                    canonical.value(element, False)
    return alphabet_text(hashlib.sha1(bytes(canonical.out)).digest())


def page_identifier(source, page_number):
    page = source.object(page_number)
    identifier = page.get(b"ID")
    if identifier is None:  # no entry, or null: the page gets an identifier made from its number
        return alphabet_text(hashlib.md5(str(page_number).encode()).digest())
    identifier = source.resolve(identifier)
    if not isinstance(identifier, Str):
        return ""
    return identifier.data.decode(ANSI_ENCODING, errors="replace").replace("\ufffd", "?")


def fingerprint_lines(path):
    source = SourceFile(path)
    lines, used = [], []
    for page in source.pdf.pages:
        number = page.obj.objgen[0]
        identifier = page_identifier(source, number)
        seen = sum(1 for earlier in used if len(earlier) >= len(identifier) and identifier in earlier)
        if seen:
            identifier += str(seen)
        used.append(identifier)
        lines.append(identifier + "$" + page_digest(source, number))
    text = "".join(line + "\r\n" for line in lines)
    return lines, alphabet_text(hashlib.sha1(text.encode(ANSI_ENCODING, errors="replace")).digest())


def main(paths):
    out = sys.stdout.buffer
    for path in paths:
        out.write(b"file " + path.encode() + b"\n")
        try:
            lines, fingerprint = fingerprint_lines(path)
        except Exception as error:  # a file this reader does not handle is reported, not guessed at
            out.write(("error %s: %s\n" % (type(error).__name__, error)).encode())
            continue
        for line in lines:
            out.write(("line " + line + "\n").encode("utf-8"))
        out.write(("fingerprint " + fingerprint + "\n").encode())


if __name__ == "__main__":
    main(sys.argv[1:])
