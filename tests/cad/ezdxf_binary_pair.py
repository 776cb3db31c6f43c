#!/usr/bin/python3
"""Writes the same drawings with ezdxf, an independent writer, as ASCII and as
binary DXF, for the engine's tests to read both and compare: an R12 drawing
and an R2010 one, whose XRECORD holds values under every range of group
codes the DXF reference gives a type, and a line whose XDATA holds every
extended-data code.

Usage: ezdxf_binary_pair.py FOLDER
Writes R12.dxf, R12_binary.dxf, R2010.dxf, R2010_binary.dxf.
Exit codes: 0 written, 3 ezdxf is not installed.
"""
import sys

try:
    import ezdxf
    from ezdxf.lldxf.types import DXFBinaryTag, DXFTag, DXFVertex
except ImportError:
    sys.exit(3)

out = sys.argv[1]
# No save times: the two files of a pair must hold the same values.
ezdxf.options.write_fixed_meta_data_for_testing = True

# The reference's ranges by the type of their values; each range is covered
# by its first, middle and last code. 0, 5, 105 and 1001 would end or
# restructure the record and 999 (a comment) has no binary form.
def ranges():
    s = [(1, 4), (6, 9), (100, 100), (300, 309), (410, 419), (430, 439), (470, 479)]
    h = [(320, 329), (330, 369), (390, 399), (480, 481)]
    # Points: an x code (10-18, 110-112, 210-213) with its y and z after it.
    p = [(10, 18), (110, 112), (210, 213)]
    d = [(39, 39), (40, 59), (113, 119), (123, 129), (133, 149), (214, 219), (224, 229),
         (234, 239), (460, 469)]
    i16 = [(60, 79), (170, 179), (270, 289), (370, 389), (400, 409)]
    i32 = [(90, 99), (420, 429), (440, 459)]
    i64 = [(160, 169)]
    b = [(290, 299)]
    ch = [(310, 319)]
    return s, h, p, d, i16, i32, i64, b, ch

def tags():
    s, h, p, d, i16, i32, i64, b, ch = ranges()
    t = []
    def each(rs):
        for a, z in rs:
            yield from sorted({a, (a + z) // 2, z})
    for c in each(s): t.append(DXFTag(c, "text %d и" % c))
    for c in each(h): t.append(DXFTag(c, "1F"))
    for c in each(p): t.append(DXFVertex(c, (c + 0.125, -c * 1e-300, 1e300)))
    for c in each(d): t.append(DXFTag(c, c + 0.125))
    for c in each(d): t.append(DXFTag(c, -1e-300 * c))
    for c in each(i16): t.extend([DXFTag(c, -32768), DXFTag(c, 32767)])
    for c in each(i32): t.extend([DXFTag(c, -2147483648), DXFTag(c, 2147483647)])
    for c in each(i64): t.extend([DXFTag(c, -(2**63)), DXFTag(c, 2**63 - 1)])
    for c in each(b): t.extend([DXFTag(c, 0), DXFTag(c, 1)])
    for c in each(ch): t.append(DXFBinaryTag(c, bytes(range(0, 256, 3))))
    return t

def build(version):
    doc = ezdxf.new(version)
    msp = doc.modelspace()
    doc.appids.new("KVTEST")
    line = msp.add_line((0, 0), (1, 2))
    line.set_xdata("KVTEST", [
        (1000, "строка"), (1002, "{"), (1003, "0"), (1004, b"\x00\x01\xfe\xff"),
        (1005, "1F"), (1010, (1.5, 2.5, 3.5)), (1011, (4, 5, 6)), (1012, (7, 8, 9)),
        (1013, (1, 0, 0)), (1040, 0.1), (1041, 2.0), (1042, 3.0), (1070, -32768),
        (1071, -2147483648), (1071, 2147483647), (1002, "}")])
    if version != "R12":
        x = doc.objects.add_xrecord(doc.rootdict.dxf.handle)
        x.extend(tags())
        doc.rootdict["KVTEST"] = x
    return doc

for v in ("R12", "R2010"):
    doc = build(v)
    doc.saveas(f"{out}/{v}.dxf")
    doc.saveas(f"{out}/{v}_binary.dxf", fmt="bin")
