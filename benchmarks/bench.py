"""Nanoseconds per operation for brenk's hot paths, beside interpreter floors, and the memory
brenk objects hold.

Run: make bench (or python3 benchmarks/bench.py with brenk importable). The jobs live beside
this file: bench_timing, bench_memory, bench_workload, bench_threads, sharing bench_common.
Each figure is the best of several repeats; ratios are against complex(1.0, 2.0) measured
in the same run, which is what the goals are stated in.

Memory: native bytes are glibc's mallinfo2() in-use delta over 100,000 live objects (the
holding list is allocated before the first reading); the repository workload is measured
in a fresh process per implementation, beside its resident-set growth, which sees every
allocator. Where the C library has no mallinfo2, the memory rows say the native bytes were
not measured and show the resident-set growth alone. On a free-threaded interpreter run with
PYTHON_GIL=0, `--threads` prints the 2-thread throughput of each constructor relative to 1 thread.
"""

import json
import sys

from bench_memory import measure_row, memory_rows
from bench_threads import thread_scaling
from bench_timing import timing_report
from bench_workload import run_workload, workload_totals


def main():
    timing_report()
    memory_rows()
    workload_totals()


if __name__ == "__main__":
    if sys.argv[1:2] == ["--row"]:
        print(json.dumps(measure_row(int(sys.argv[2]))))
    elif sys.argv[1:2] == ["--workload"]:
        print(json.dumps(run_workload(sys.argv[2], int(sys.argv[3]))))
    elif sys.argv[1:2] == ["--threads"]:
        thread_scaling()
    else:
        main()
