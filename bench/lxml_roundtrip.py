"""lxml_roundtrip.py IN OUT: lxml (libxml2) parse and write, the reference a script would use."""
import sys

from lxml import etree


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: lxml_roundtrip.py IN OUT\n")
        return 2
    with open(sys.argv[1], "rb") as f:
        tree = etree.parse(f)
    tree.write(sys.argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main())
