"""Writes PDF files whose one page has resources made of random objects written in every form the syntax
allows and some it does not: integers of any length, reals with and without digits around the point, literal
strings with escapes, octal codes, line continuations and nested parentheses, hex strings with odd digits and
white space, names with # escapes (legal and not), booleans, null, nested arrays and dictionaries, references
to objects that exist and to ones that do not, and now and then a stray token.

make_random_objects.py OUT_FOLDER COUNT SEED
"""
import os
import random
import sys


def number(rng):
    kind = rng.randrange(8)
    if kind == 0:
        return str(rng.randrange(-10**6, 10**6)).encode()
    if kind == 1:
        return str(rng.randrange(10**18, 10**21)).encode()  # past 32 and 64 bits
    if kind == 2:
        return b"%d.%d" % (rng.randrange(1000), rng.randrange(10**rng.randrange(1, 12)))
    if kind == 3:
        return rng.choice([b"-.5", b".25", b"3.", b"+1.5", b"-0", b"+7", b"0.0000000001", b"-.0", b"1.2.3"])
    if kind == 4:
        return b"%d" % rng.randrange(10)
    if kind == 5:
        return b"%s%d.%s" % (rng.choice([b"", b"-", b"+"]), rng.randrange(10**6), b"9" * rng.randrange(1, 30))
    if kind == 6:
        return rng.choice([b"--5", b"-", b"+", b".", b"1-2"])
    return b"%d" % -rng.randrange(2**31 + 10)


def literal(rng):
    parts = [b"("]
    for _ in range(rng.randrange(12)):
        parts.append(rng.choice([b"a", b"Z", b" ", b"\\n", b"\\r", b"\\t", b"\\b", b"\\f", b"\\(", b"\\)", b"\\\\",
                                 b"\\0", b"\\12", b"\\377", b"\\400", b"\\q", b"\\\n", b"\\\r\n", b"\r\n", b"\r",
                                 b"(x)", b"\x00", b"\xff", b"%", b"\\9"]))
    parts.append(b")")
    return b"".join(parts)


def hexstring(rng):
    digits = b"".join(rng.choice([b"0", b"a", b"F", b"9", b" ", b"\n", b"c"]) for _ in range(rng.randrange(12)))
    return b"<" + digits + b">"


def name(rng):
    body = b"".join(rng.choice([b"A", b"z", b"#20", b"#41", b"#00", b"#4", b"#zz", b"#", b"_", b"#2F", b"\xe9", b"."])
                    for _ in range(rng.randrange(1, 6)))
    return b"/" + body


def value(rng, depth, objects):
    kind = rng.randrange(12 if depth < 3 else 9)
    if kind == 0:
        return number(rng)
    if kind == 1:
        return literal(rng)
    if kind == 2:
        return hexstring(rng)
    if kind == 3:
        return name(rng)
    if kind == 4:
        return rng.choice([b"true", b"false", b"null"])
    if kind == 5:
        return b"%d 0 R" % rng.choice([objects[0], objects[-1], 999, rng.choice(objects)])
    if kind in (6, 7):
        return number(rng)
    if kind == 8:
        return rng.choice([b"%comment\n1", b"1 % trailing\n", b"/N%x\n"])
    if kind in (9, 10):
        return b"[" + b" ".join(value(rng, depth + 1, objects) for _ in range(rng.randrange(6))) + b"]"
    entries = []
    for _ in range(rng.randrange(6)):
        entries.append(name(rng) + rng.choice([b" ", b"", b"\n"]) + value(rng, depth + 1, objects))
    return b"<<" + b" ".join(entries) + b">>"


def document(rng):
    first = 5
    count = rng.randrange(3, 10)
    numbers = list(range(first, first + count))
    bodies = {}
    for number_ in numbers:
        body = value(rng, 0, numbers)
        if rng.randrange(6) == 0:
            body = b"<< /Length %d >>\nstream\n" % 3 + b"abc" + b"\nendstream"
        bodies[number_] = body
    properties = b" ".join(b"/P%d %d 0 R" % (n, n) for n in numbers)
    objects = {
        1: b"<< /Type /Catalog /Pages 2 0 R >>",
        2: b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        3: b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] /Contents 4 0 R /Resources << /Properties << "
           + properties + b" >> /ProcSet [" + b" ".join(b"%d 0 R" % n for n in numbers) + b"] >> >>",
        4: b"<< /Length 0 >>\nstream\n\nendstream",
    }
    objects.update(bodies)
    out = bytearray(b"%PDF-1.7\n")
    offsets = {}
    for number_ in sorted(objects):
        offsets[number_] = len(out)
        out += b"%d 0 obj\n" % number_ + objects[number_] + b"\nendobj\n"
    size = max(objects) + 1
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % size
    for number_ in range(1, size):
        out += b"%010d 00000 n \n" % offsets[number_] if number_ in offsets else b"0000000000 00001 f \n"
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (size, xref)
    return bytes(out)


if __name__ == "__main__":
    folder, count, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(seed)
    for i in range(count):
        with open(os.path.join(folder, "random-%03d.pdf" % i), "wb") as output:
            output.write(document(rng))
