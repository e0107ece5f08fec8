"""Lists a compound file's storages and streams as olefile reads them.

One line per element, sorted: kind (D storage, F stream), the path as the UTF-16LE hex of each
name with "/" between, the size, and the CRC-32 of the content (hex). With --strict, olefile
raises on every defect it counts as incorrect, the gate for files our writer makes.
Run with Debian's /usr/bin/python3, which has python3-olefile.
"""
import sys
import zlib

import olefile


def main():
    args = [a for a in sys.argv[1:] if a != "--strict"]
    strict = len(args) != len(sys.argv) - 1
    level = olefile.DEFECT_INCORRECT if strict else olefile.DEFECT_FATAL
    ole = olefile.OleFileIO(args[0], raise_defects=level)
    lines = []
    for path in ole.listdir(streams=True, storages=True):
        key = "/".join(n.encode("utf-16-le", "surrogatepass").hex() for n in path)
        if ole.get_type(path) == olefile.STGTY_STORAGE:
            lines.append("D\t%s\t0\t00000000" % key)
        else:
            data = ole.openstream(path).read()
            lines.append("F\t%s\t%d\t%08x" % (key, len(data), zlib.crc32(data) & 0xFFFFFFFF))
    sys.stdout.write("".join(line + "\n" for line in sorted(lines)))


if __name__ == "__main__":
    main()
