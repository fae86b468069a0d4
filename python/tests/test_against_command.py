"""The module's numbers against summary.csv of the real command, column by column, to the last
bit: the shipped examples under several option sets, and a random field."""
import math

import numpy as np
import pandas as pd
import pytest

import kestrovanilque as kv
from conftest import SOURCE

STEP_FLOW = SOURCE / "examples" / "study" / "step_flow.csv"
TRAPEZOID = SOURCE / "examples" / "trapezoid" / "trapezoid_case.txt"
DRAG = [0.532672, 0.531544, 0.531283, 0.5312204]

# The command's options and the same as keyword arguments.
OPTION_SETS = [
    ([], {}),
    (["--order", "1.5"], {"order": 1.5}),
    (["--fs", "3", "--target-gci", "0.001"], {"fs": 3.0, "target_gci": 0.001}),
    (["--no-least-squares", "--noise", "1e-4"], {"least_squares": False, "noise": 1e-4}),
]


def same_field(text, value):
    """A CSV field (shortest round-trip form, empty for a number that is not finite) and a value:
    the very same double."""
    if isinstance(value, str):
        return text == value
    if text == "":
        return not math.isfinite(value)
    return float(text).hex() == float(value).hex()


def assert_rows_equal(rows, table):
    """rows: summary.csv of the command; table: column -> sequence of the module's values."""
    assert list(rows[0].keys()) == list(table.keys())
    for column, values in table.items():
        mismatched = [(row[column], value) for row, value in zip(rows, values, strict=True)
                      if not same_field(row[column], value)]
        assert not mismatched, f"{column}: {mismatched[:3]}"


@pytest.mark.parametrize("case", [STEP_FLOW, TRAPEZOID], ids=["step_flow", "trapezoid"])
@pytest.mark.parametrize("options,keywords", OPTION_SETS, ids=["defaults", "order", "fs-target", "noise"])
def test_tables_equal_the_command(command, case, options, keywords):
    rows = command(case, *options)
    frame = kv.study_table(kv.read_case(str(case)), **keywords)
    assert_rows_equal(rows, {c: list(frame[c]) for c in frame.columns})
    assert frame["grids"].dtype == np.int64


def test_a_dataframe_read_by_pandas_and_single_studies_equal_the_command(command):
    rows = command(STEP_FLOW)
    frame = kv.study_table(pd.read_csv(STEP_FLOW, comment="#"))
    assert_rows_equal(rows, {c: list(frame[c]) for c in frame.columns})
    # Each quantity alone, its grids coarsest first.
    case = kv.read_case(str(STEP_FLOW))
    for row, (name, values) in zip(rows, case.quantities.items()):
        r = kv.study(case.h[::-1], values[::-1], case.exact.get(name), name=name)
        assert_rows_equal([row], {c: [v] for c, v in r.to_dict().items()})


def test_a_table_of_cell_counts_equals_the_command(command, tmp_path):
    columns = {"cells": [64000, 8000, 512000, 4096000], "drag": DRAG[1::-1] + DRAG[2:], "lift": [1.2, 1.25, 1.19, 1.18]}
    (tmp_path / "cells.csv").write_text("cells,drag,lift\n" + "".join(
        f"{c!r},{d!r},{l!r}\n" for c, d, l in zip(*columns.values())))
    rows = command(tmp_path / "cells.csv", "--cells", "--dim", "3", "--target-gci", "0.0001")
    for frame in (kv.study_table(kv.read_case(tmp_path / "cells.csv", cells=True, dim=3), target_gci=1e-4),
                  kv.study_table(columns, dim=3, target_gci=1e-4)):
        assert_rows_equal(rows, {c: list(frame[c]) for c in frame.columns})
    assert rows[0]["cells_target"] != ""


def random_field(points, seed=7):
    """Smooth points phi0 + a h^2 + b h^3, and some that oscillate, diverge or do not change."""
    rng = np.random.default_rng(seed)
    h = np.array([0.01, 0.02, 0.03, 0.045, 0.0675])
    phi0 = rng.uniform(-2, 2, points)
    values = phi0 + np.outer(h ** 2, rng.normal(0, 50, points)) + np.outer(h ** 3, rng.normal(0, 500, points))
    kind = rng.integers(0, 20, points)
    values[:, kind == 0] *= np.array([1, -1, 1, -1, 1])[:, None]  # oscillating
    values[:, kind == 1] = rng.normal(size=(5, int((kind == 1).sum())))  # noise
    values[:, kind == 2] = 1.5  # no change
    exact = np.where(kind % 3 == 0, phi0, np.nan)
    return h, values, exact


def write_field_case(folder, h, values, exact, first="h"):
    names = []
    for g in range(len(h)):
        names.append(f"g{g}.csv")
        (folder / names[-1]).write_text("id,value\n" + "".join(f"{i},{v!r}\n" for i, v in enumerate(values[g])))
    (folder / "exact.csv").write_text("id,value\n" + "".join(f"{i},{v!r}\n" for i, v in enumerate(exact)))
    # Coarsest first in the case: the command orders the grids as the module does.
    lines = [f"{x!r},{name}" for x, name in zip(h, names)][::-1]
    (folder / "case.csv").write_text(f"{first},file\n" + "\n".join(lines) + "\nexact,exact.csv\n")
    return folder / "case.csv"


CELLS = (np.array([0.01, 0.02, 0.03, 0.045, 0.0675]) ** -2).round()


@pytest.mark.parametrize("options,keywords", [
    OPTION_SETS[0], OPTION_SETS[2],
    (["--cells", "--dim", "2", "--target-gci", "0.01"], {"cells": CELLS, "dim": 2, "target_gci": 0.01}),
], ids=["defaults", "fs-target", "cells-target"])
def test_a_random_field_equals_the_command(command, tmp_path, options, keywords):
    h, values, exact = random_field(3000)
    cells = keywords.get("cells")
    case = write_field_case(tmp_path, h if cells is None else cells, values, exact,
                            "h" if cells is None else "cells")
    rows = command(case, "--threads", "2", *options)
    given = None if cells is not None else h[::-1].copy()
    result = kv.field(given, values[::-1], exact, threads=2, **{**keywords, "cells": None if cells is None else cells[::-1]})
    table = {}
    for column, array in result.items():
        if column.endswith("_names"):
            continue
        names = result.get(column + "_names")
        table[column] = ([names[code] for code in array] if names is not None
                         else [str(x) for x in array] if array.dtype.kind == "i" else array)
    assert_rows_equal(rows, table)
    assert len(set(result["convergence"])) >= 4
    if not options:
        # The command's own kernel on the array (what the benchmark times) writes the same rows.
        summary = next(tmp_path.glob("run*/summary.csv")).read_bytes()
        assert kv._field_csv(h, values, exact) == summary


def test_a_field_s_codes_do_not_depend_on_the_threads():
    h, values, exact = random_field(20000, seed=11)
    one, two = kv.field(h, values, exact, threads=1), kv.field(h, values, exact, threads=2)
    for column in ("status", "ls_fit"):
        assert one[column + "_names"] == two[column + "_names"] and np.array_equal(one[column], two[column])


def test_strided_values_are_read_in_place_to_the_same_numbers():
    h, values, exact = random_field(500, seed=3)
    contiguous = kv.field(h, values, exact)
    big = np.zeros((10, 1500), order="F")
    big[::2, ::3] = values[:, ::-1]
    strided = kv.field(h, big[::2, ::3][:, ::-1], exact[::-1].copy()[::-1])  # negative strides
    for column, array in contiguous.items():
        assert np.array_equal(array, strided[column], equal_nan=column not in ("status_names", "ls_fit_names",
                                                                               "convergence_names")
                              and array.dtype.kind == "f"), column
