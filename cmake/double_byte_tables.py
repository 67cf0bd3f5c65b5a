#!/usr/bin/env python3
"""Writes the C++ tables of Windows code pages 932 (Japanese) and 936
(Simplified Chinese) from Python's codecs, which follow Microsoft's:
python3 double_byte_tables.py OUTPUT.

Each table lists the two-byte characters by code; a character several
codes decode to is written as the code Python's encoder, like Windows,
chooses for it. Single bytes above 0x7F: 932's half-width katakana, 936's
euro sign (Windows' addition to GBK)."""
import sys

PAGES = [
    # number, codec, lead byte ranges, single bytes above 0x7F {byte: character}
    (932, "cp932", [(0x81, 0x9F), (0xE0, 0xFC)], {b: 0xFF61 + b - 0xA1 for b in range(0xA1, 0xE0)}),
    (936, "gbk", [(0x81, 0xFE)], {0x80: 0x20AC}),
]


def table(number, codec, leads, singles):
    pairs = []
    for low, high in leads:
        for lead in range(low, high + 1):
            for trail in range(0x40, 0x100):
                code = bytes([lead, trail])
                try:
                    text = code.decode(codec)
                except UnicodeDecodeError:
                    continue
                if len(text) != 1 or ord(text) > 0xFFFF:
                    continue
                # Only the code the encoder gives back: the rest are duplicates.
                if text.encode(codec) == code:
                    pairs.append((lead << 8 | trail, ord(text)))
    rows = [", ".join("{0x%04X, 0x%04X}" % p for p in pairs[i:i + 6]) for i in range(0, len(pairs), 6)]
    high = ", ".join("0x%04X" % singles.get(b, 0) for b in range(0x80, 0x100))
    lead_bits = [0] * 8
    for low, high_lead in leads:
        for b in range(low, high_lead + 1):
            lead_bits[(b - 0x80) // 16] |= 1 << (b % 16)
    out = ["const DoubleByteCharacter kPairs%d[] = {" % number]
    out += ["    %s," % r for r in rows]
    out += ["};", ""]
    out += ["}  // namespace", ""]
    out += ["const CodePage kWindows%d = {" % number, '    "Windows-%d",' % number, "    {%s}," % high,
            "    kPairs%d," % number, "    sizeof kPairs%d / sizeof kPairs%d[0]," % (number, number),
            "    {%s}," % ", ".join("0x%04X" % b for b in lead_bits), "};", "", "namespace {", ""]
    return out


lines = ["// Made by cmake/double_byte_tables.py from Python's codecs; edit that.",
         '#include "builder/manifest/code_page.h"', "", "namespace {", ""]
for page in PAGES:
    lines += table(*page)
lines += ["}  // namespace", ""]
text = "\n".join(lines)
try:
    old = open(sys.argv[1], encoding="ascii").read()
except OSError:
    old = None
if old != text:
    with open(sys.argv[1], "w", encoding="ascii") as f:
        f.write(text)
