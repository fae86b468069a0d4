#!/usr/bin/env python3
"""The per-point standard procedure of Celik et al. 2008 (J. Fluids Eng. 130, 078001) on a field
case, as a user would write it with pandas and numpy: read with pandas.read_csv, compute
vectorised over all points, write the summary CSV. The reference the field benchmarks time the
tool against, and check it with, point by point and column by column.

  field_reference.py CASE.csv OUT.csv       the summary of a field case (h,file table)
  field_reference.py compare A.csv B.csv    numbers equal to 1e-12 (relative), texts equal
"""
import os
import sys

import numpy as np
import pandas as pd

COLUMNS = ("quantity,grids,h1,h2,h3,r21,r32,phi1,phi2,phi3,R,convergence,p,phi_ext21,e_a21,"
           "e_ext21,gci_fine21,gci_coarse32,asymptotic_ratio,exact,error_phi1,error_ext21,"
           "status").split(",")
FS = 1.25


def read_points(path, spacing_record):
    if path.lower().endswith(".csv"):
        frame = pd.read_csv(path, comment="#", dtype={"id": str}, float_precision="round_trip")
        frame.columns = ["id", "value"]
    else:
        frame = pd.read_csv(path, delim_whitespace=True, header=None, usecols=[0, 1],
                            names=["id", "value"], skiprows=1 if spacing_record else 0,
                            dtype={"id": str}, float_precision="round_trip")
    return frame


def order(r21, r32, eps21, eps32):
    """p of eq. (4)-(6): p ln r21 = |ln|eps32/eps21| + q(p)|, bracketed as the tool does
    (1e-6, then the first of 0.5, 1, 2, ... 64 above the root), then bisected to the end."""
    with np.errstate(all="ignore"):
        s = np.where(eps32 / eps21 > 0, 1.0, -1.0)
        log_ratio = np.log(np.abs(eps32 / eps21))
        if r21 == r32:
            return np.abs(log_ratio) / np.log(r21)

        def g(p):
            q = np.log((np.power(r21, p) - s) / (np.power(r32, p) - s))
            return p * np.log(r21) - np.abs(log_ratio + q)

        n = len(eps21)
        lo = np.full(n, 1e-6)
        found = g(lo) <= 0
        hi = np.full(n, np.nan)
        bracketed = np.zeros(n, dtype=bool)
        previous = lo.copy()
        for candidate in (0.5, 1, 2, 4, 8, 16, 32, 64):
            gc = g(np.full(n, float(candidate)))
            new = found & ~bracketed & (gc >= 0)
            hi[new] = candidate
            lo[new] = previous[new]
            bracketed |= new
            previous = np.where(found & ~bracketed, float(candidate), previous)
        hi = np.where(bracketed, hi, np.nan)
        for _ in range(100):
            mid = 0.5 * (lo + hi)
            below = g(mid) < 0
            lo = np.where(below, mid, lo)
            hi = np.where(below, hi, mid)
        return np.where(bracketed, 0.5 * (lo + hi), np.nan)


def summary(case_path):
    table = pd.read_csv(case_path, dtype={"h": str})
    folder = os.path.dirname(case_path)
    exact_rows = table[table["h"] == "exact"]
    grids = table[table["h"] != "exact"].copy()
    grids["h"] = grids["h"].astype(float)
    grids = grids.sort_values("h")
    h = grids["h"].to_numpy()
    phi = [read_points(os.path.join(folder, f), not f.lower().endswith(".csv"))
           for f in grids["file"]]
    ids = phi[0]["id"]
    for frame in phi[1:]:
        if len(frame) != len(ids) or (frame["id"].astype(int).to_numpy() != ids.astype(int).to_numpy()).any():
            sys.exit("field_reference: the grid files do not list the same points")
    phi1, phi2, phi3 = (phi[k]["value"].to_numpy(dtype=float) for k in range(3))
    exact = (read_points(os.path.join(folder, exact_rows["file"].iloc[0]), False)["value"]
             .to_numpy(dtype=float) if len(exact_rows) else np.full(len(ids), np.nan))
    r21, r32 = h[1] / h[0], h[2] / h[1]
    eps21, eps32 = phi2 - phi1, phi3 - phi2
    with np.errstate(all="ignore"):
        both = (eps21 != 0) & (eps32 != 0)
        R = np.where(both, eps21 / eps32, np.nan)
        convergence = np.select(
            [(eps21 == 0) & (eps32 == 0), ~both, (R > 0) & (R < 1), R >= 1, R > -1],
            ["no-change", "undetermined", "monotonic-convergence", "monotonic-divergence",
             "oscillatory-convergence"], "oscillatory-divergence")
        p = np.where(both, order(r21, r32, np.where(both, eps21, 1.0), np.where(both, eps32, 1.0)),
                     np.nan)
        r21p, r32p = np.power(r21, p), np.power(r32, p)
        ext = (r21p * phi1 - phi2) / (r21p - 1)
        ea21 = np.where(np.isnan(p), np.nan, np.abs((phi1 - phi2) / phi1))
        eext = np.abs((phi1 - phi2) / (r21p - 1) / ext)  # ext - phi1 without cancellation
        gci21 = FS * ea21 / (r21p - 1)
        gci32 = FS * np.abs((phi2 - phi3) / phi2) / (r32p - 1)
        ratio = gci32 / (r21p * gci21)
        status = np.select([(eps21 == 0) & (eps32 == 0), ~both, np.isnan(p)],
                           ["no change between the grids", "no change between two grids",
                            "no solution of the order equation"], "ok")
        out = pd.DataFrame({
            "quantity": ids, "grids": len(h), "h1": h[0], "h2": h[1], "h3": h[2], "r21": r21,
            "r32": r32, "phi1": phi1, "phi2": phi2, "phi3": phi3, "R": R,
            "convergence": convergence, "p": p, "phi_ext21": ext, "e_a21": ea21,
            "e_ext21": eext, "gci_fine21": gci21, "gci_coarse32": gci32,
            "asymptotic_ratio": ratio, "exact": exact,
            "error_phi1": np.abs((phi1 - exact) / exact),
            "error_ext21": np.abs((ext - exact) / exact), "status": status})
    return out


def compare(a_path, b_path):
    a = pd.read_csv(a_path, dtype={"quantity": str}, keep_default_na=False, na_values=[""],
                    float_precision="round_trip")
    b = pd.read_csv(b_path, dtype={"quantity": str}, keep_default_na=False, na_values=[""],
                    float_precision="round_trip")
    if len(a) != len(b) or list(a.columns) != list(b.columns):
        print(f"compare: different shapes {a.shape} {b.shape}")
        return 1
    differing = {}
    for column in a.columns:
        x, y = a[column], b[column]
        if x.dtype.kind == "f" or y.dtype.kind == "f":
            x, y = x.to_numpy(dtype=float), y.to_numpy(dtype=float)
            with np.errstate(all="ignore"):
                same = ((np.isnan(x) & np.isnan(y)) | (x == y) |
                        (np.abs(x - y) <= 1e-12 * np.maximum(np.abs(x), np.abs(y))))
        else:
            same = (x.astype(str) == y.astype(str)).to_numpy()
        if (~same).any():
            differing[column] = int((~same).sum())
            first = int(np.argmax(~same))
            with np.errstate(all="ignore"):
                worst = np.nanmax(np.where(same, 0, np.abs(x - y) / np.maximum(np.abs(x), np.abs(y))))
            print(f"compare: {column}: {differing[column]} of {len(a)} points differ beyond 1e-12 "
                  f"(at most {worst:.1e} relative), first at row {first + 2}: "
                  f"{a[column].iloc[first]!r} vs {b[column].iloc[first]!r}")
    if differing:
        print(f"compare: the other {len(a.columns) - len(differing)} columns agree on every point")
        return 1
    print(f"compare: all {len(a)} points agree in all {len(a.columns)} columns (1e-12 relative)")
    return 0


def main(argv):
    if len(argv) == 4 and argv[1] == "compare":
        return compare(argv[2], argv[3])
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    summary(argv[1]).to_csv(argv[2], index=False, columns=COLUMNS)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
