#!/usr/bin/env python3
"""Writes a generated vCard file for benchmarks and soak tests.

    gen_cards.py COUNT OUT [--photo-bytes N] [--photo-every K] [--seed S]

Cards are realistic 3.0 contacts (CR LF, folded lines, non-ASCII names);
with --photo-bytes a card carries a base64 PHOTO of about N bytes, folded
at 75 columns as phones write it: every card, or with --photo-every K every
Kth card only. The same arguments give the same bytes.
"""
import argparse
import base64
import random

FIRST = ["Ada", "Jürgen", "María", "Siobhán", "Omar", "Priya", "Zofia", "Johan", "Adaeze", "Taro",
         "Camille", "Sam", "Élodie", "Ngozi", "Ivan", "Mei", "Lars", "Fatima", "Noah", "Aroha"]
LAST = ["Okafor", "Müller", "Fernández", "O'Neill", "Haddad", "Patel", "Nowak", "Lindqvist", "Yamada",
        "Dubois", "Reyes", "Moreau", "Eze", "Petrov", "Chen", "Berg", "Khan", "Smith", "Ngata", "Rossi"]
CITIES = ["Lagos", "Berlin", "Madrid", "Dublin", "Beirut", "Mumbai", "Warsaw", "Göteborg", "Tokyo", "Lyon"]


def fold(line):
    """Folds a line at 75 octets, continuation lines starting with a space."""
    out = [line[:75]]
    line = line[75:]
    while line:
        out.append(" " + line[:74])
        line = line[74:]
    return out


def card(rng, n, photo_bytes):
    first, last, city = rng.choice(FIRST), rng.choice(LAST), rng.choice(CITIES)
    lines = ["BEGIN:VCARD", "VERSION:3.0", f"N:{last};{first};;;", f"FN:{first} {last}",
             f"ORG:Example {n % 97} Ltd.;Sales", f"TEL;TYPE=CELL:+{rng.randint(1, 99)} {rng.randint(10**8, 10**9)}",
             f"EMAIL;TYPE=INTERNET:{first.lower()}.{n}@example.com",
             f"ADR;TYPE=WORK:;;{rng.randint(1, 300)} Main Street;{city};;{rng.randint(10000, 99999)};",
             *fold(f"NOTE:Contact number {n}, met in {city}. " + "Notes run long enough to fold. " * 3)]
    if photo_bytes:
        lines += fold("PHOTO;ENCODING=b;TYPE=JPEG:" + base64.b64encode(rng.randbytes(photo_bytes * 3 // 4)).decode())
    lines.append("END:VCARD")
    return "\r\n".join(lines) + "\r\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("count", type=int)
    parser.add_argument("out")
    parser.add_argument("--photo-bytes", type=int, default=0)
    parser.add_argument("--photo-every", type=int, default=1)
    parser.add_argument("--seed", type=int, default=2026)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    with open(args.out, "wb") as f:
        for n in range(1, args.count + 1):
            f.write(card(rng, n, args.photo_bytes if n % args.photo_every == 0 else 0).encode("utf-8"))


if __name__ == "__main__":
    main()
