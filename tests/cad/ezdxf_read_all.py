#!/usr/bin/python3
"""Reads every *.dxf file of a folder with ezdxf, an independent reader, in
its strict mode (no recovery), and prints one line for each file it cannot
read: the file's name and ezdxf's reason.

Usage: ezdxf_read_all.py FOLDER
Exit codes: 0 every file read, 1 some could not be read, 3 ezdxf is not
installed.
"""
import pathlib
import sys

try:
    import ezdxf
except ImportError:
    sys.exit(3)

failed = 0
for path in sorted(pathlib.Path(sys.argv[1]).glob("*.dxf")):
    try:
        ezdxf.readfile(str(path))
    except Exception as ex:  # any refusal counts, whatever its kind
        failed += 1
        print(f"{path.name}: {type(ex).__name__}: {ex}")
sys.exit(1 if failed else 0)
