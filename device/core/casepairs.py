#!/usr/bin/env python3
"""Writes device/core/casepairs.h, the device's case table, from the Unicode character
database: every simple case pair within the Basic Multilingual Plane, a capital and a small
letter whose simple mappings lead to each other. A mapping that goes one way only (İ to i,
the Kelvin sign to k, ſ to S, the title-case Dž) makes no pair: such a character keeps its
case, as the desktop's invariant case table keeps it too.

    casepairs.py [--data UnicodeData.txt] [--check]

--check compares the committed table with what the database gives and exits 1 when they
differ, 77 when the database is not installed (Debian's unicode-data package ships it).
"""

import argparse
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TABLE = os.path.join(HERE, "casepairs.h")
DEFAULT_DATA = "/usr/share/unicode/UnicodeData.txt"
PAIRS_PER_LINE = 6


def read_pairs(data_path):
    """RETURNS the (capital, small) pairs, by capital."""
    lower, upper = {}, {}
    with open(data_path, encoding="utf-8") as data:
        for line in data:
            fields = line.rstrip("\n").split(";")
            code = int(fields[0], 16)
            if code > 0xFFFF:
                continue  # the device's characters are UTF-16 code units
            if fields[12]:
                upper[code] = int(fields[12], 16)
            if fields[13]:
                lower[code] = int(fields[13], 16)
    return sorted((capital, small) for capital, small in lower.items()
                  if small <= 0xFFFF and upper.get(small) == capital)


def unicode_version(data_path):
    """The database's version, from the ReadMe.txt beside it."""
    readme = os.path.join(os.path.dirname(data_path), "ReadMe.txt")
    try:
        with open(readme, encoding="utf-8") as text:
            found = re.search(r"Version (\d+\.\d+\.\d+)", text.read())
    except OSError:
        found = None
    return found.group(1) if found else "(version unknown)"


def table_text(pairs, version):
    def rows(entries):
        lines = []
        for start in range(0, len(entries), PAIRS_PER_LINE):
            chunk = entries[start:start + PAIRS_PER_LINE]
            lines.append("    " + " ".join(f"{{0x{a:04X}, 0x{b:04X}}}," for a, b in chunk))
        return "\n".join(lines)

    return f"""\
// The device's case pairs: Unicode's simple one-to-one case pairs in the Basic Multilingual
// Plane ({len(pairs)} of them, Unicode {version}). Written by device/core/casepairs.py from
// the Unicode character database; regenerate it rather than edit it.
#pragma once

namespace device::casepairs {{

// {{capital, small}}, in the order of the capitals.
inline constexpr char16_t kSmallOfCapital[][2] = {{
{rows(pairs)}
}};

// {{small, capital}}, in the order of the small letters.
inline constexpr char16_t kCapitalOfSmall[][2] = {{
{rows(sorted((small, capital) for capital, small in pairs))}
}};

}}  // namespace device::casepairs
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--data", default=DEFAULT_DATA, help="UnicodeData.txt")
    parser.add_argument("--check", action="store_true", help="only compare with the committed table")
    options = parser.parse_args()
    if not os.path.exists(options.data):
        print(f"casepairs.py: {options.data} is missing (Debian's unicode-data package)", file=sys.stderr)
        return 77
    text = table_text(read_pairs(options.data), unicode_version(options.data))
    if options.check:
        with open(TABLE, encoding="utf-8") as committed:
            if committed.read() != text:
                print(f"casepairs.py: {TABLE} differs from {options.data}; run device/core/casepairs.py",
                      file=sys.stderr)
                return 1
        return 0
    with open(TABLE, "w", encoding="utf-8") as out:
        out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
