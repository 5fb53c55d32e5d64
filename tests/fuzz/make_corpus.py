#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets (tests/fuzz/corpus/<target>/), in the layout the
targets read: see SparseRecordFile in fuzz_support.cc. Run it again after changing that layout."""
import pathlib
import struct

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"
LAST_CLEARED = 260  # kLimits.last_cleared
BASES = [0, 49, 500, LAST_CLEARED - 10]  # kBases


def text(length, fields):
    """A record of blanks with (offset, bytes) fields set."""
    record = bytearray(b" " * length)
    for offset, value in fields:
        record[offset:offset + len(value)] = value
    return bytes(record)


def sparse(length, records, cut=0, absent=False):
    """A sparse record file: {record number: bytes}; cut: bytes cut off its last record."""
    if absent:
        return b"\xff"
    out = bytearray([len(records)])
    for n, record in records.items():
        base = max(b for b in BASES if b < n)
        assert n - base <= 32, n
        out += bytes([BASES.index(base)]) + struct.pack("<H", n - base - 1)
        out += record.ljust(length, b"\0")[:length]
    out.append(0x80 | cut if cut else 0)
    return bytes(out)


def index(slots):
    """A basey record whose index slots hold the given product numbers."""
    return text(128, [(6 + 6 * d, str(p).rjust(6).encode()) for d, p in slots.items()])


def product(code, **fields):
    offsets = {"end": 89, "mark": 109, "generic": 113}
    return text(128, [(0, code)] + [(offsets[k], v) for k, v in fields.items()])


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


# The stems of the lists' codes above 500000 fall in the cleared range only when the code ends in
# an exponent ("12E  5" is 1,200,000 with stem 12 and check digit 5); the product file and the
# notified prices take any code ("000125" has the same stem and digit).
# basey: stem 12 holds 12E  5 -> 7, 12E  6 -> 265 (beyond the range), 12E  7 -> 260 (its last
# record), 12E  4 -> 4 (120000: never looked up); stem 50 holds 50E  4 -> 6 (500000: never
# looked up); stem 501, beyond the range, holds 501E 3 -> 3.
BASEY = {
    3: product(b"005013"),
    7: product(b"000125", mark=b"7", end=b"-FIN viejo"),
    12: index({5: 7, 6: LAST_CLEARED + 5, 7: LAST_CLEARED, 4: 4, 9: "  7.5 "}),
    50: index({4: 6}),
    501: index({3: 3, 4: "1e300", 5: -2}),
    LAST_CLEARED: product(b"000127", mark=b"7"),
    LAST_CLEARED + 5: product(b"000126"),
}


def main():
    for name, data in {"plain": b"12345", "decimal": b" 00012.50", "exponent": b"1.5E+3x", "spaces": b"- 1 2,5",
                       "huge": b"9" * 400, "tiny": b"1e-400", "price": b"0.125"}.items():
        write("val", name, data)
    for name, data in {"crlf": b"a\r\nb\r\n", "cr": b"a\rb\r\rc", "lf": b"a\nb\r\n\n", "tail": b"x\r\ny"}.items():
        write("text_lines", name, data)

    def start_up(batch, ccaa, flags=0):
        return bytes([flags]) + struct.pack("<H", len(batch)) + batch + ccaa
    write("start_up", "datos", start_up(b"@echo off\r\n:datos\r\n1\r\nF:\r\n", "Castilla y Le\xf3n\r\n".encode("cp1252")))
    write("start_up", "repeat", start_up(b":DATOS\r\n99\r\nE:\r\nX:\r\nG:\r\n", b"Extremadura\r\n"))
    write("start_up", "whole", start_up(b":DATOS\r\n1\r\n99ZZ\r\n", b"Comunidad de Madrid"))
    write("start_up", "last", start_up(b"rem\r\n:DATOS\r\n", b"Castilla-La Mancha\r\n"))
    write("start_up", "past_end", start_up(b":DATOS\r\n1\r\n", b""))
    write("start_up", "missing", start_up(b"", b"", flags=3))

    basey = sparse(128, BASEY)
    write("import_visado_list", "list",
          basey + sparse(62, {7: text(62, [(0, b"000125")])})
          + b"12E  5\r\n12E  6 x\r\n12E  7\r\n501E 3\r\n12E  4\r\n50E  4\r\n712345\r\n")
    write("import_visado_list", "cut", sparse(128, BASEY, cut=100) + sparse(62, {}, absent=True) + b"12E  6\r12E  5")

    line = b"1" b"12E  5" + b" " * 97 + b"2024-03-15"
    write("import_serialization_list", "list",
          basey + sparse(100, {7: text(100, [(90, b"19990101X")]), LAST_CLEARED + 5: b""})
          + line + b"\r\n912E  6\r\n2501E 3\r\n350E  4\r\n")
    write("import_serialization_list", "cut", sparse(128, BASEY) + sparse(100, {3: b"x" * 100}, cut=5) + line[:111])

    def spec(code, values=(b"  1.5 ", b" 12.5   ", b"3", b"1e39")):
        return text(43, [(0, values[0]), (7, values[1]), (18, values[2]), (26, values[3]), (35, code)])
    specs = spec(b"12E  5", (b"1", b"2", b"3", b"4")) + spec(b"12E  6") + spec(b"501E 3", (b"-1", b"", b"E", b".5")) + b"tail"
    precios = {7: b"\x01" * 17, LAST_CLEARED + 5: b"\x02" * 17}
    write("build_preference_prices", "espec", basey + sparse(17, precios) + specs + spec(b"50E  4"))
    write("build_preference_prices", "cut", sparse(128, BASEY) + sparse(17, {LAST_CLEARED: b"x" * 17}, cut=3) + specs[:85])

    notified = b"000125 00012.5000010.00\r\n000126 1e39    00000.125\r\n005013\r\n000127 7\r\n000126 00002.5000003.50"
    write("notified_prices", "list", basey + sparse(64, {7: b"p" * 64}) + notified)
    write("notified_prices", "empty", basey + sparse(64, {7: b"p" * 64}))

    line = (b"000125" b"AB" b"CDEFGH" b"R" b"S" b"T17" b"20" b"-----" b"00012.50" b"N" b"LAB36" b"LAB41").ljust(74, b".") + b"XYZ"
    other = b"005013" + b"x" * 30
    lab = sparse(17, {7: text(17, [(0, b"000125")]), 3: text(17, [(0, b"005013")])})
    coste = sparse(136, {7: b" " * 136, 3: b"L" * 136})
    basea = sparse(62, {7: text(62, [(0, b"000125")]), 3: text(62, [(0, b"005013")])})
    write("import_product_file", "line", bytes([0]) + lab + coste + basey + basea + line + b"\r\n" + other + b"\r\n")
    write("import_product_file", "cm", bytes([9]) + lab + coste + sparse(128, BASEY, cut=20) + basea + line.replace(b"G", b"g"))


if __name__ == "__main__":
    main()
