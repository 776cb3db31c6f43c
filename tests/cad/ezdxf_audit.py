#!/usr/bin/python3
"""Files saved by kernavisto-cli pass ezdxf's audit with no new errors.

Usage: ezdxf_audit.py KERNAVISTO_CLI CORPUS_DIR WORK_DIR
Each file is opened and saved unchanged (`roundtrip`); ezdxf then reads the
original and the saved file (falling back to recover mode) and audits both: the saved one
may not have more errors, nor a different model space.
"""
import os
import subprocess
import sys

import ezdxf
from ezdxf import recover

FILES = [
    "acad2010_ru_topo_survey.dxf",   # Cyrillic layers and texts, R2010
    "kompas_r2000_cp1251.dxf",       # ANSI_1251 bytes, R2000
    "acad2004_sample_binary.dxf",    # binary, saved as ASCII
    "acad_r12_sample_binary.dxf",    # binary R12
    "acad2018_hatches.dxf",          # hatch edges, splines
    "r12_entities_only_broken.dxf",  # repaired on reading
]


def audit(path):
    try:
        doc, fixed = ezdxf.readfile(path), 0  # binary files need the plain reader
    except ezdxf.DXFStructureError:
        doc, auditor = recover.readfile(path)
        fixed = len(auditor.errors)
    result = doc.audit()
    msp = [e.dxftype() for e in doc.modelspace()]
    return fixed + len(result.errors), sorted(msp), doc.dxfversion


SKIPPED = 77  # ctest shows the test as skipped (SKIP_RETURN_CODE)


def main():
    cli, corpus, work = sys.argv[1:4]
    if not os.path.isdir(corpus):
        print(f"нет общего корпуса {corpus}: проверка ezdxf пропущена")
        return SKIPPED
    os.makedirs(work, exist_ok=True)
    failed = 0
    for name in FILES:
        src = os.path.join(corpus, name)
        out = os.path.join(work, name)
        subprocess.run([cli, "roundtrip", src, out], check=True, stdout=subprocess.DEVNULL)
        before, msp_before, ver_before = audit(src)
        after, msp_after, ver_after = audit(out)
        ok = after <= before and msp_after == msp_before and ver_after == ver_before
        print(f"{name}: audit errors {before} -> {after}, model space "
              f"{len(msp_before)} -> {len(msp_after)}, {ver_before} -> {ver_after}: "
              f"{'ok' if ok else 'FAILED'}")
        failed += not ok
    print(f"{len(FILES) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
