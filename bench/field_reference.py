#!/usr/bin/env python3
"""The per-point standard procedure of Celik et al. 2008 (J. Fluids Eng. 130, 078001) on a field
case, with the study's conventions (no order for a diverging series, the warnings of the three
finest grids in the status column, theoretical order 2, Fs = 1.25), as a user would write it with
pandas and numpy: read with pandas.read_csv, compute vectorised over all points, write the summary
CSV. The reference the field benchmarks time the tool against, and check it with, point by point
and column by column. It computes the columns of the standard procedure; the uncertainty columns
after `status`, and the status codes drawn from all grids (the asymptotic evidence of successive
triplets, least squares), it leaves to the tool, and `compare` leaves them out.

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


MAX_ORDER = 100.0
FAILURES = {
    "no-change": "all values equal: nothing to estimate",
    "fine": "phi1 = phi2 (eps21 = 0): no observed order",
    "coarse": "phi2 = phi3 (eps32 = 0): no observed order",
    "diverging": "diverging: no positive order fits",
    "no-root": "no solution of the order equation",
}


def order(r21, r32, eps21, eps32):
    """p of Celik et al. 2008, eq. (4)-(6), written without the outer absolute value:
    F(p) = p ln r21 - ln((r21^p - s)/(r32^p - s)) - ln|eps32/eps21| = 0, the first change of sign
    of a geometric scan from 1e-6 to 100, then bisection to a bracket of a few units in the last
    place (the tool solves to full precision; a bracket of 1e-12 would differ from it in e_ext21
    by up to 1e-10 relative where phi_ext21 is close to phi1). Returns p (NaN
    where there is none) and whether the series diverges (|eps32/eps21| <= 1)."""
    with np.errstate(all="ignore"):
        ratio = eps32 / eps21
        L = np.log(np.abs(ratio))
        diverging = np.abs(ratio) <= 1.0
        lnr21 = np.log(r21)
        if r21 == r32:
            p = L / lnr21
            return np.where((p > 0) & (p <= MAX_ORDER), p, np.nan), diverging
        s = np.where(ratio > 0, 1.0, -1.0)

        def F(p, k):
            return p * lnr21 - np.log((np.power(r21, p) - s[k]) / (np.power(r32, p) - s[k])) - L[k]

        n = len(eps21)
        every = np.arange(n)
        lo = np.full(n, 1e-6)
        f_lo = F(lo, every)
        hi = lo.copy()
        scanning = np.isfinite(L)
        bracketed = np.zeros(n, dtype=bool)
        while True:
            k = np.flatnonzero(scanning & (lo < MAX_ORDER))
            if len(k) == 0:
                break
            h = np.minimum(lo[k] * 1.25 + 1e-3, MAX_ORDER)
            f_hi = F(h, k)
            finite = np.isfinite(f_hi)
            found = finite & ((f_lo[k] == 0) | ((f_lo[k] < 0) != (f_hi < 0)))
            scanning[k[~finite | found]] = False
            bracketed[k[found]] = True
            hi[k[found]] = h[found]
            going = k[finite & ~found]
            lo[going] = h[finite & ~found]
            f_lo[going] = f_hi[finite & ~found]
        active = bracketed.copy()
        for _ in range(400):
            k = np.flatnonzero(active & (hi - lo > 4e-16 * hi))
            if len(k) == 0:
                break
            mid = 0.5 * (lo[k] + hi[k])
            f_mid = F(mid, k)
            root = f_mid == 0
            lo[k[root]] = mid[root]
            hi[k[root]] = mid[root]
            active[k[root]] = False
            same = ~root & ((f_mid < 0) == (f_lo[k] < 0))
            lo[k[same]] = mid[same]
            f_lo[k[same]] = f_mid[same]
            other = ~root & ~same
            hi[k[other]] = mid[other]
        return np.where(bracketed, 0.5 * (lo + hi), np.nan), diverging


def summary(case_path, p_th=2.0):
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
        R = np.where(eps32 != 0, eps21 / eps32, np.nan)
        convergence = np.select(
            [(eps21 == 0) & (eps32 == 0), ~both, (R > 0) & (R < 1), R > 0, R > -1],
            ["no-change", "undetermined", "monotonic-convergence", "monotonic-divergence",
             "oscillatory-convergence"], "oscillatory-divergence")
        p, diverging = order(r21, r32, np.where(both, eps21, 1.0), np.where(both, eps32, 1.0))
        p = np.where(both, p, np.nan)
        failure = np.select(
            [(eps21 == 0) & (eps32 == 0), eps21 == 0, eps32 == 0, ~np.isnan(p), diverging],
            [FAILURES["no-change"], FAILURES["fine"], FAILURES["coarse"], "",
             FAILURES["diverging"]], FAILURES["no-root"])
        has_p = ~np.isnan(p) & (p > 0)
        r21p, r32p = np.power(r21, p), np.power(r32, p)
        ext = np.where(has_p, (r21p * phi1 - phi2) / (r21p - 1), np.nan)
        ea21 = np.where(eps21 == 0, 0.0, np.abs(eps21 / phi1))
        eext = np.where(ext == phi1, 0.0, np.abs((ext - phi1) / ext))
        gci21 = FS * ea21 / (r21p - 1)
        ea32 = np.where(eps32 == 0, 0.0, np.abs(eps32 / phi2))
        gci32 = FS * ea32 / (r32p - 1)
        ratio = gci32 / (r21p * gci21)
        phi_max = np.maximum(np.maximum(np.abs(phi1), np.abs(phi2)), np.abs(phi3))
        # The correction factor of Stern et al. 2001 and P = p/p_th of Xing & Stern 2010, outside
        # the ranges where they were calibrated (0 < C <= 2, 0.5 <= P <= 2).
        cf = (r21p - 1) / (r21 ** p_th - 1)
        calibrated = (cf > 0) & (cf <= 2) & (p / p_th >= 0.5) & (p / p_th <= 2)
        warnings = [
            ("ratio<1.3", np.full(len(p), r21 < 1.3 or r32 < 1.3)),
            ("oscillatory", np.char.startswith(convergence.astype(str), "oscillatory")),
            ("p far from theory", has_p & ~((p >= 0.5 * p_th) & (p <= 2 * p_th))),
            ("CF/FS outside calibration", has_p & (convergence == "monotonic-convergence") & ~calibrated),
            ("phi1 near 0", np.abs(phi1) < 1e-3 * phi_max),
        ]
        status = pd.Series(failure, dtype=object)
        for code, flagged in warnings:
            joined = np.where(status == "", code, status + "; " + code)
            status = pd.Series(np.where(flagged, joined, status), dtype=object)
        status = status.where(status != "", "ok")
        out = pd.DataFrame({
            "quantity": ids, "grids": len(h), "h1": h[0], "h2": h[1], "h3": h[2], "r21": r21,
            "r32": r32, "phi1": phi1, "phi2": phi2, "phi3": phi3, "R": R,
            "convergence": convergence, "p": p, "phi_ext21": ext, "e_a21": ea21,
            "e_ext21": eext, "gci_fine21": gci21, "gci_coarse32": gci32,
            "asymptotic_ratio": ratio, "exact": exact,
            "error_phi1": np.where(exact != 0, np.abs((phi1 - exact) / exact), np.nan),
            "error_ext21": np.where(exact != 0, np.abs((ext - exact) / exact), np.nan),
            "status": status})
    return out


# Columns that are the difference of two nearly equal values over one of them (|phi_ext21 -
# phi1|/|phi_ext21|, ...): one unit in the last place of either value is an error of 1e-16 in the
# column however small the column is, so they agree when within 1e-12 of each other, absolutely,
# which is 1e-12 relative to the values they come from.
DIFFERENCES = {"e_a21", "e_ext21", "error_phi1", "error_ext21"}

# Codes drawn from every grid, not from the three finest alone.
TOOL_ONLY_CODES = {"not asymptotic", "orders approach p_th"}


def compare(a_path, b_path):
    a = pd.read_csv(a_path, dtype={"quantity": str}, keep_default_na=False, na_values=[""],
                    float_precision="round_trip")
    b = pd.read_csv(b_path, dtype={"quantity": str}, keep_default_na=False, na_values=[""],
                    float_precision="round_trip")
    # The tool's summary goes on after `status` with the uncertainty columns, which the
    # reference does not compute: the columns both have are compared, in the tool's order.
    common = [column for column in a.columns if column in set(b.columns)]
    if len(a) != len(b) or common != [column for column in b.columns if column in set(a.columns)]:
        print(f"compare: different shapes {a.shape} {b.shape}")
        return 1
    only = [column for column in list(a.columns) + list(b.columns) if column not in common]
    if only:
        print(f"compare: {len(common)} columns in both; not compared: {', '.join(only)}")
    a, b = a[common], b[common]
    # The status codes the reference does not compute, taken out of the tool's status.
    def reference_codes(status):
        codes = [c for c in str(status).split("; ") if c not in TOOL_ONLY_CODES and not c.startswith("ls ")]
        return "; ".join(codes) if codes else "ok"
    for frame in (a, b):
        frame.loc[:, "status"] = frame["status"].map(reference_codes)
    differing = {}
    identical = []
    for column in a.columns:
        x, y = a[column], b[column]
        if x.dtype.kind == "f" or y.dtype.kind == "f":
            x, y = x.to_numpy(dtype=float), y.to_numpy(dtype=float)
            with np.errstate(all="ignore"):
                same = ((np.isnan(x) & np.isnan(y)) | (x == y) |
                        (np.abs(x - y) <= 1e-12 * np.maximum(np.abs(x), np.abs(y))))
                if column in DIFFERENCES:
                    same |= np.abs(x - y) <= 1e-12
            bits = (np.isnan(x) & np.isnan(y)) | (x == y)
            if (~bits).any():
                identical.append(f"{column} {int(bits.sum())}")
        else:
            same = (x.astype(str) == y.astype(str)).to_numpy()
        if (~same).any():
            differing[column] = int((~same).sum())
            first = int(np.argmax(~same))
            worst = ""
            if x.dtype.kind == "f":
                with np.errstate(all="ignore"):
                    relative = np.nanmax(np.where(same, 0, np.abs(x - y) / np.maximum(np.abs(x), np.abs(y))))
                worst = f" (at most {relative:.1e} relative)"
            print(f"compare: {column}: {differing[column]} of {len(a)} points differ beyond 1e-12{worst}, "
                  f"first at row {first + 2}: {a[column].iloc[first]!r} vs {b[column].iloc[first]!r}")
    if identical:
        print("compare: points with the very same double (the rest within 1e-12 or listed above): " +
              ", ".join(identical))
    if differing:
        print(f"compare: the other {len(a.columns) - len(differing)} columns agree on every point")
        return 1
    print(f"compare: all {len(a)} points agree in all {len(a.columns)} columns (1e-12 relative; "
          f"{', '.join(sorted(DIFFERENCES))} to 1e-12 absolute)")
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
