#!/usr/bin/python3
"""Reads a DXF file with ezdxf, an independent reader, audits it and prints
what it found as JSON, for the engine's tests to compare with what the engine
wrote.

Usage: ezdxf_check.py FILE
Exit codes: 0 printed, 2 ezdxf could not read the file at all, 3 ezdxf is
not installed.
"""
import json
import sys

try:
    import ezdxf
    from ezdxf import recover
except ImportError:
    sys.exit(3)


def vec(v):
    return [v[0], v[1], v[2] if len(v) > 2 else 0.0]


def common(e, name, default):
    # Entities ezdxf keeps as unknown have no such attributes.
    try:
        return e.dxf.get(name, default)
    except ezdxf.DXFAttributeError:
        return default


def describe(e):
    try:
        return details(e)
    except (ezdxf.DXFError, AttributeError, TypeError) as ex:
        return {"type": e.dxftype(), "handle": common(e, "handle", ""), "error": str(ex)}


def details(e):
    d = {
        "type": e.dxftype(),
        "handle": common(e, "handle", ""),
        "layer": common(e, "layer", ""),
        "color": common(e, "color", 256),
        "lineweight": common(e, "lineweight", -1),
        "invisible": common(e, "invisible", 0),
        "marked": e.has_xdata("KERNAVISTO"),
    }
    t = e.dxftype()
    if t == "LINE":
        d["start"] = vec(e.dxf.start)
        d["end"] = vec(e.dxf.end)
    elif t in ("TEXT", "ATTRIB", "ATTDEF"):
        d["text"] = e.dxf.text
        d["insert"] = vec(e.dxf.insert)
        d["height"] = e.dxf.height
        d["rotation"] = e.dxf.get("rotation", 0.0)
        d["width"] = e.dxf.get("width", 1.0)
        d["halign"] = e.dxf.get("halign", 0)
        d["valign"] = e.dxf.get("valign", 0)
        if e.dxf.hasattr("align_point"):
            d["align_point"] = vec(e.dxf.align_point)
    elif t == "MTEXT":
        d["text"] = e.text
        d["insert"] = vec(e.dxf.insert)
        d["height"] = e.dxf.char_height
    elif t == "LWPOLYLINE":
        d["points"] = [[p[0], p[1], p[4]] for p in e.get_points("xyseb")]
        d["closed"] = bool(e.closed)
    elif t == "POLYLINE":
        d["points"] = [[v.dxf.location[0], v.dxf.location[1], v.dxf.get("bulge", 0.0)]
                       for v in e.vertices]
        d["closed"] = bool(e.is_closed)
        d["vertex_handles"] = [v.dxf.handle for v in e.vertices]
    elif t in ("CIRCLE", "ARC"):
        d["center"] = vec(e.dxf.center)
        d["radius"] = e.dxf.radius
        if t == "ARC":
            d["start_angle"] = e.dxf.start_angle
            d["end_angle"] = e.dxf.end_angle
    elif t == "INSERT":
        d["name"] = e.dxf.name
        d["insert"] = vec(e.dxf.insert)
        d["scale"] = [e.dxf.get("xscale", 1.0), e.dxf.get("yscale", 1.0)]
        d["rotation"] = e.dxf.get("rotation", 0.0)
    elif t == "SOLID":
        d["corners"] = [vec(e.dxf.get(n)) for n in ("vtx0", "vtx1", "vtx2", "vtx3")]
    elif t == "POINT":
        d["location"] = vec(e.dxf.location)
    elif t == "HATCH":
        d["solid"] = bool(e.dxf.solid_fill)
        d["pattern"] = e.dxf.pattern_name
        d["loops"] = len(e.paths)
    elif t == "DIMENSION":
        d["dimtype"] = e.dxf.dimtype
        d["block"] = e.dxf.get("geometry", "")
        d["style"] = e.dxf.get("dimstyle", "")
        for name in ("defpoint", "defpoint2", "defpoint3", "defpoint4", "defpoint5",
                     "text_midpoint"):
            if e.dxf.hasattr(name):
                d[name] = vec(e.dxf.get(name))
        try:
            override = e.override()
            d["dimtxt"] = override.get("dimtxt", None)
        except Exception:  # noqa: BLE001 - a missing style is reported by audit
            d["dimtxt"] = None
    return d


def main():
    path = sys.argv[1]
    recovered = False
    try:
        doc = ezdxf.readfile(path)
    except IOError:
        sys.exit(2)
    except ezdxf.DXFStructureError:
        try:
            doc, _ = recover.readfile(path)
            recovered = True
        except Exception:  # noqa: BLE001
            sys.exit(2)
    auditor = doc.audit()
    blocks = {}
    for block in doc.blocks:
        blocks[block.name] = [describe(e) for e in block]
    result = {
        "version": doc.dxfversion,
        "recovered": recovered,
        "audit_errors": ["%s: %s" % (err.code, err.message) for err in auditor.errors],
        "audit_fixes": ["%s: %s" % (fix.code, fix.message) for fix in auditor.fixes],
        "layers": [layer.dxf.name for layer in doc.layers],
        "appids": [app.dxf.name for app in doc.appids],
        "modelspace": [describe(e) for e in doc.modelspace()],
        "blocks": blocks,
    }
    json.dump(result, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
