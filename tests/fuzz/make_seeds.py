#!/usr/bin/env python3
"""Writes the fuzzer's starting inputs into a folder.

Each input is three bytes that choose the read sizes (see fuzz_target.cpp)
followed by a source: every .vcf of the corpus folder (if given and present)
read in a few ways, and generated sources that put marks, UTF-16 code units,
CR LF and CR CR LF across read edges, and nest cards.

    make_seeds.py OUT_DIR [CORPUS_DIR]
"""
import hashlib
import pathlib
import sys

# (byte 0, byte 1, byte 2): the read plan. Byte 1 % 17 is the exponent of the
# span, bit 7 of byte 0 makes the sizes vary.
PLANS = {
    "one-byte": (0x00, 0, 0),
    "two-bytes": (0x00, 1, 1),
    "seven-bytes": (0x00, 3, 6),
    "varying-up-to-13": (0x80, 4, 12),
    "varying-up-to-4k": (0x8F, 12, 255),
    "64k": (0x7F, 16, 255),
}


def utf16(text, little, marked=True):
    body = text.encode("utf-16-le" if little else "utf-16-be")
    if not marked:
        return body
    return (b"\xff\xfe" if little else b"\xfe\xff") + body


def card(n, eol):
    return eol.join(["BEGIN:VCARD", "VERSION:2.1", f"N:Person;{n}", "NOTE:folded", "  value  ", "",
                     "END:VCARD", ""])


def generated():
    yield "crlf", "".join(card(i, "\r\n") for i in range(3)).encode()
    yield "lf", "".join(card(i, "\n") for i in range(3)).encode()
    yield "cr", "".join(card(i, "\r") for i in range(3)).encode()
    yield "crcrlf", "".join(card(i, "\r\r\n") for i in range(3)).encode()
    yield "mixed-ends", b"BEGIN:VCARD\r\nA\nB\rC\r\r\nD\r\r\r\nEND:VCARD\n\r"
    yield "utf8-mark", b"\xef\xbb\xbf" + card(1, "\r\n").encode()
    yield "utf8-mark-only", b"\xef\xbb\xbf"
    yield "utf16le", utf16(card(1, "\r\n") + card(2, "\n"), True)
    yield "utf16be", utf16(card(1, "\r\r\n") + card(2, "\r"), False)
    yield "utf16-odd", utf16(card(1, "\r\n"), True) + b"Z"
    # Without a mark, as address books export: the first unit decides.
    yield "utf16le-unmarked", utf16(card(1, "\r\n") + card(2, "\r\r\n"), True, False)
    yield "utf16be-unmarked", utf16(card(1, "\n") + card(2, "\r"), False, False)
    yield "utf16be-unmarked-odd", utf16(card(1, "\r\n"), False, False) + b"\r"
    yield "utf16le-unmarked-odd", utf16(card(1, "\r"), True, False) + b"\n"
    yield "nul-then-high-is-bytes", b"\x00\x80\n" + card(1, "\n").encode()
    # CR and LF units split across 7-byte reads at every offset.
    for shift in range(4):
        yield f"utf16be-unmarked-cr-at-edge-{shift}", utf16("x" * shift + card(1, "\r\n"), False, False)
    yield "case-and-spaces", b"  begin:vcard  \nEnd:VCard\n\tBEGIN:VCARD\nBEGIN:VCARD\t\n"
    yield "nested", b"BEGIN:VCARD\nAGENT:\nBEGIN:VCARD\nBEGIN:VCARD\nEND:VCARD\nEND:VCARD\nN:x\nEND:VCARD\n"
    yield "stray-and-unfinished", b"END:VCARD\nBEGIN:VCARD\nEND:VCARD\nEND:VCARD\nBEGIN:VCARD\nN:x"
    yield "nul-and-high", b"BEGIN:VCARD\n\x00\xff\x80\r\nEND:VCARD\n"
    # A CR as the last byte of a 7-byte read, its LF first of the next.
    for shift in range(7):
        yield f"cr-at-edge-{shift}", b"x" * shift + b"BEGIN:VCARD\r\nN:a\r\r\nEND:VCARD\r\n"


def main():
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    sources = list(generated())
    if len(sys.argv) > 2 and pathlib.Path(sys.argv[2]).is_dir():
        sources += [(p.stem, p.read_bytes()) for p in sorted(pathlib.Path(sys.argv[2]).glob("*.vcf"))]
    count = 0
    for name, source in sources:
        for plan in PLANS.values():
            data = bytes(plan) + source
            (out / hashlib.sha1(data).hexdigest()).write_bytes(data)
            count += 1
    print(f"fuzz: {count} seed inputs in {out}")


if __name__ == "__main__":
    main()
