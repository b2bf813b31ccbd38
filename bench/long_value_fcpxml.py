"""long_value_fcpxml.py PLACE OUT [MIB]: examples/Day1.fcpxml with one value MIB long (50 by
default) in PLACE, to measure a run's peak memory against the file's size, e.g.
    /usr/bin/time -v build/bin/tessaly-relink --dry-run OUT
PLACE: src (a proxy's file name), folders (a proxy's folder path), id (a proxy's id and its
references), uid, format (a .braw asset's format), name (the reference format's name),
title (an event's name: a value the relink never reads)."""
import os
import sys

DAY1 = os.path.join(os.path.dirname(__file__), "..", "examples", "Day1.fcpxml")
PROXY_SRC = "file:///Volumes/Shoot%20Day%201/A001/A001_C002.mov"


def main():
    if len(sys.argv) not in (3, 4):
        sys.stderr.write(__doc__ + "\n")
        return 2
    place, out = sys.argv[1], sys.argv[2]
    size = int(sys.argv[3]) * 1_000_000 if len(sys.argv) == 4 else 50_000_000
    text = open(DAY1, encoding="utf-8").read()
    long = "x" * size
    edits = {
        "src": (PROXY_SRC, "file:///Volumes/" + long + ".mov"),
        "folders": (PROXY_SRC, "file:///Volumes/" + "abcdefghi/" * (size // 10) + "A001_C002.mov"),
        "id": ('"r4"', '"r4' + long + '"'),
        "uid": ('uid="9A8B7C6D5E4F30211203F4E5D6C7B8A9"', 'uid="' + long + '"'),
        "format": ('format="r2"', 'format="r2' + long + '"'),
        "name": ('name="FFVideoFormatRateUndefined"', 'name="' + long + '"'),
        "title": ('name="Day 1"', 'name="' + long + '"'),
    }
    if place not in edits:
        sys.stderr.write(__doc__ + "\n")
        return 2
    old, new = edits[place]
    text = text.replace(old, new, 1 if place in ("format", "uid") else -1)
    with open(out, "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
