#!/usr/bin/env python3
"""field() from Python against the pandas reference of `make bench` (bench/field_reference.py)
and against the command, on the same manufactured field (that of bench/field_case_gen.cpp: 90 %
smooth points of order 2, some oscillating, diverging or unchanged; 5 grids, an exact value per
point). Not a test: prints the figures with the machine's load.

    bench_field.py [--points N] [--build DIR] [--work DIR]

Timed: field() on 2 and 1 threads (with and without the least-squares estimate), the command's own
field kernel on the same array (its summary.csv rows made and dropped: the command without its
files), the command end to end on the files, and the reference (reading, then computing)."""
import argparse
import os
import pathlib
import resource
import subprocess
import sys
import time

import numpy as np

SOURCE = pathlib.Path(__file__).resolve().parents[1]


def manufactured(points, grids=5):
    h = [0.01]
    for g in range(1, grids):
        h.append(h[-1] * (2.0 if g == 1 else 1.5))
    h = np.array(h)
    x = np.arange(points) / points
    exact = 2.0 + np.sin(6.283185307179586 * x)
    a, b = 0.8 + 0.5 * np.cos(7.0 * x), 3.0 * np.sin(3.0 * x)
    kind = np.arange(points) % 100
    sign = np.where(np.arange(grids) % 2, -1.0, 1.0)[:, None]
    hh = h[:, None]
    values = np.where(kind < 90, exact + a * hh * hh + b * hh * hh * hh,
             np.where(kind < 95, exact + sign * a * hh * hh,
             np.where(kind < 97, exact + a * 1e-4 / hh,
             np.where(kind < 99, exact + sign * a * 1e-4 / hh, exact + 0 * hh))))
    return h, np.ascontiguousarray(values), exact


def write_case(folder, h, values, exact):
    folder.mkdir(parents=True, exist_ok=True)
    lines = ["h,file"]
    for g in range(len(h)):
        text = "".join(f"  {i + 1} {v!r}\n" for i, v in enumerate(values[g].tolist()))
        (folder / f"g{g + 1}.txt").write_text(f"  {h[g]!r}   grid spacing h\n" + text)
        lines.append(f"{h[g]!r},g{g + 1}.txt")
    (folder / "exact.txt").write_text("".join(f"  {i + 1} {v!r}\n" for i, v in enumerate(exact.tolist())))
    (folder / "case.csv").write_text("\n".join(lines) + "\nexact,exact.txt\n")
    return folder / "case.csv"


def timed(run):
    """Wall and CPU seconds (this process's threads and its children) of run()."""
    cpu0, wall0 = time.process_time(), time.perf_counter()
    child0 = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = run()
    child1 = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = time.process_time() - cpu0 + (child1.ru_utime + child1.ru_stime) - (child0.ru_utime + child0.ru_stime)
    return time.perf_counter() - wall0, cpu, out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--points", type=int, default=1_000_000)
    parser.add_argument("--build", default=str(SOURCE / "build" / "release"))
    parser.add_argument("--work", default=None)
    args = parser.parse_args()
    build = pathlib.Path(args.build)
    sys.path.insert(0, str(build / "python"))
    sys.path.insert(0, str(SOURCE / "bench"))
    import kestrovanilque as kv
    import field_reference as reference

    work = pathlib.Path(args.work or build / "python_bench")
    h, values, exact = manufactured(args.points)
    case = write_case(work, h, values, exact)
    print(f"bench_field: {args.points} points x {len(h)} grids; load average "
          f"{' '.join(f'{x:.2f}' for x in os.getloadavg())} (2 cores, shared: figures are indicative)")
    rows = []

    def row(what, run):
        wall, cpu, out = timed(run)
        rows.append((what, wall, cpu))
        print(f"  {what:<62} {wall:8.2f} s wall {cpu:8.2f} s cpu  {args.points / wall / 1e6:6.3f} Mpoints/s")
        return out

    for ls in (True, False):
        tag = "" if ls else ", no least squares"
        row(f"field(), 2 threads{tag}", lambda: kv.field(h, values, exact, threads=2, least_squares=ls))
        row(f"field(), 1 thread{tag}", lambda: kv.field(h, values, exact, threads=1, least_squares=ls))
        row(f"command's kernel on the array (rows dropped), 2 threads{tag}",
            lambda: kv._field_csv(h, values, exact, threads=2, least_squares=ls, discard=True))
        row(f"command's kernel on the array (rows dropped), 1 thread{tag}",
            lambda: kv._field_csv(h, values, exact, threads=1, least_squares=ls, discard=True))
        options = [] if ls else ["--no-least-squares"]
        row(f"command end to end (files, no plots), 2 threads{tag}",
            lambda: subprocess.run([str(build / "kestrovanilque"), "study", str(case), "--out", str(work / "out"),
                                    "--no-plots", "--threads", "2", *options], check=True, stdout=subprocess.DEVNULL))
    row("pandas reference: reading the point files",
        lambda: [reference.read_points(str(work / f), f != "exact.txt")
                 for f in [f"g{g + 1}.txt" for g in range(len(h))] + ["exact.txt"]])
    summary = row("pandas reference: reading and computing (no least squares)", lambda: reference.summary(str(case)))
    row("pandas reference: writing its summary CSV", lambda: summary.to_csv(work / "reference.csv", index=False))
    # Both read the same doubles: the reference's phi1 is the module's.
    assert np.array_equal(summary["phi1"].to_numpy(), values[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())
