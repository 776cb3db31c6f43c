#!/usr/bin/python3
"""ezdxf's load time on the same plan as bench_dxf, for comparison.

Usage: /usr/bin/python3 bench/ezdxf_load.py [PLAN.dxf]   (default /tmp/plan-1M.dxf)
Takes about a minute and 2 GB for the 232 MB plan.
"""
import os
import resource
import sys
import time

import ezdxf

path = sys.argv[1] if len(sys.argv) > 1 else os.environ.get("KV_BENCH_PLAN", "/tmp/plan-1M.dxf")
size = os.path.getsize(path)
start = time.perf_counter()
cpu0 = time.process_time()
doc = ezdxf.readfile(path)
wall = time.perf_counter() - start
cpu = time.process_time() - cpu0
count = len(doc.modelspace())
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
print(f"ezdxf {ezdxf.__version__}: {path} {size / 1e6:.0f} MB, {count} entities")
print(f"load: {wall:.1f} s wall, {cpu:.1f} s CPU = {size / 1e6 / cpu:.1f} MB/s (CPU), "
      f"peak RSS {peak:.0f} MB")
