#!/usr/bin/env python3
"""Writes the carrier emoji table from the Unicode Consortium's EmojiSources.txt.

Usage: make_carrier_emoji.py EmojiSources.txt OUTPUT.inc

For each carrier (fields 1 to 3: docomo, KDDI, SoftBank Shift_JIS codes) one array of
{code, text} sorted by code, for std::lower_bound.
"""
import sys


def main(source, output):
    carriers = {"kDocomo": [], "kKddi": [], "kSoftBank": []}
    names = list(carriers)
    with open(source, encoding="utf-8") as lines:
        for line in lines:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = [field.strip() for field in line.split(";")]
            if len(fields) < 4:
                raise SystemExit(f"{source}: unexpected line: {line}")
            text = "".join(f"\\U{int(cp, 16):08X}" for cp in fields[0].split())
            for name, code in zip(names, fields[1:4]):
                if code:
                    carriers[name].append((int(code, 16), text))
    out = [f"// Generated from {source} by make_carrier_emoji.py: do not edit.\n"]
    for name, rows in carriers.items():
        rows.sort()
        out.append(f"constexpr CarrierEmojiRow {name}[] = {{\n")
        out.extend(f"    {{0x{code:04X}, u\"{text}\"}},\n" for code, text in rows)
        out.append("};\n")
    with open(output, "w", encoding="utf-8") as file:
        file.write("".join(out))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
