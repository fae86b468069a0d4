"""One table through both doors: a CSV file given to `kestrovanilque study`, and the same file read
by pandas and given to study_table, give the same summary.csv to the last bit, or the same refusal.
The command names the place of a fault FILE:LINE, the module the DataFrame's row ("row R: ...",
R the index label pandas gives, the line less 2 in these files); the rest of the message is the
same, a line named inside it ("the grid of line 2") named as the row ("the grid of row 0")."""
import csv
import re
import subprocess

import numpy as np
import pandas as pd
import pytest

import kestrovanilque as kv
from conftest import BINARY
from test_against_command import assert_rows_equal

PLAIN = """h,drag,lift
0.04,0.532672,1.201971
0.01,0.531283,1.203779
0.02,0.531544,1.203331
0.005,0.5312204,1.203927
exact,0.5312,
"""
# A solver's nan and inf are values: the quantity is studied and comes out undetermined.
NOT_FINITE = """h,drag,lift,p
0.04,0.532672,nan,12.77
0.02,0.531544,1.203331,inf
0.01,nan,1.203779,12.49
0.005,0.5312204,1.203927,-inf
"""
SIXTY_FIVE = "h,q\n" + "".join(f"{0.001 * g!r},{g}\n" for g in range(1, 66))
SAME_H = "h,drag\n0.04,0.532672\n0.02,0.531544\n0.040,0.531283\n"
CELLS = "cells,drag,lift\n64000,0.531544,1.25\n8000,0.532672,1.2\n512000,0.531283,1.19\n4096000,0.5312204,1.18\n"
EMPTY = "h,drag,lift\n0.04,0.532672,1.201971\n0.02,,1.203331\n0.01,0.531283,1.203779\n"
# Empty fields are missing values: lift on three grids, p on two (a finding), q on none.
MISSING = """h,drag,lift,p,q
0.04,0.532672,1.201971,12.77,
0.02,0.531544,,12.33686,
0.01,0.531283,1.203779,,
0.005,0.5312204,1.203927,,
exact,0.5312,1.204,,
"""
MISSING_CELLS = "cells,drag,lift\n25,1.3,1.2\n50,1.1,1.1\n100,,1.05\n200,1.0,\n"

CASES = [
    (PLAIN, [], {}, None),
    (NOT_FINITE, [], {}, None),
    (SIXTY_FIVE, [], {}, "case.csv:66: more than 64 grids: a study takes at most 64"),
    (SAME_H, [], {}, "case.csv:4: this grid has the same h as the grid of line 2: give each grid once"),
    (CELLS, ["--cells", "--dim", "3", "--target-gci", "0.0001"], {"dim": 3, "target_gci": 1e-4}, None),
    (EMPTY, [], {}, None),
    (MISSING, [], {}, None),
    # A target's cell count from the finest grid that has a value.
    (MISSING_CELLS, ["--cells", "--dim", "1", "--target-gci", "0.0001"], {"dim": 1, "target_gci": 1e-4}, None),
]


def empty_values(text):
    """Whether a grid's row of the table has an empty field (which pandas reads as NaN, a value)."""
    return any("" in line.split(",")[1:] for line in text.splitlines()[1:] if not line.startswith("exact"))


def shell(tmp_path, text, options):
    """The command on the table: (rows of summary.csv, None), or (None, its error without the
    program's name), having checked that a refusal leaves nothing."""
    (tmp_path / "case.csv").write_text(text)
    out = tmp_path / "out"
    run = subprocess.run([str(BINARY), "study", "case.csv", "--out", str(out), "--no-plots", *options],
                         cwd=tmp_path, capture_output=True, text=True)
    if run.returncode == 0:
        with open(out / "summary.csv", newline="") as f:
            return list(csv.DictReader(f)), None
    assert run.returncode == 2 and not out.exists(), run.stderr
    prefix = "kestrovanilque study: error: "
    assert run.stderr.startswith(prefix) and run.stderr.count("\n") == 1, run.stderr
    return None, run.stderr[len(prefix):].rstrip("\n")


def as_rows(message):
    """A message of the command as the module names places: case.csv:L -> row L-2, line N -> row N-2."""
    message = re.sub(r"^case\.csv:(\d+): ", lambda m: f"row {int(m.group(1)) - 2}: ", message)
    return re.sub(r"\bline (\d+)\b", lambda m: f"row {int(m.group(1)) - 2}", message)


@pytest.mark.parametrize("text,options,keywords,refusal", CASES,
                         ids=["plain", "nan-inf", "65-grids", "same-h", "cells-dim", "empty-field", "missing-values",
                              "missing-cells"])
def test_a_table_gives_the_same_from_the_shell_and_from_python(tmp_path, text, options, keywords, refusal):
    rows, error = shell(tmp_path, text, options)
    assert error == refusal
    # keep_default_na=False: an empty field stays empty (pandas would make it NaN, a value).
    frame = pd.read_csv(tmp_path / "case.csv", keep_default_na=False)
    if refusal is None:
        result = kv.study_table(frame, **keywords)
        assert_rows_equal(rows, {c: list(result[c]) for c in result.columns})
        # pandas' own reading of the table too, where it has no empty field (test below).
        if not empty_values(text):
            default = kv.study_table(pd.read_csv(tmp_path / "case.csv"), **keywords)
            pd.testing.assert_frame_equal(default, result, check_exact=True)
    else:
        with pytest.raises(ValueError) as raised:
            kv.study_table(frame, **keywords)
        assert str(raised.value) == as_rows(refusal)


def test_values_that_are_not_finite_are_studied_one_by_one_as_in_the_table(tmp_path):
    rows, _ = shell(tmp_path, NOT_FINITE, [])
    frame = pd.read_csv(tmp_path / "case.csv")
    for row, name in zip(rows, ["drag", "lift", "p"], strict=True):
        r = kv.study(list(frame["h"]), list(frame[name]), name=name)
        assert_rows_equal([row], {c: [v] for c, v in r.to_dict().items()})
    assert [row["convergence"] for row in rows] == ["undetermined", "monotonic-convergence", "undetermined"]
    # A field studies them too, each point as the quantity of the table.
    field = kv.field(list(frame["h"]), frame[["drag", "lift", "p"]].to_numpy(), columns=["p", "convergence"])
    assert [field["convergence_names"][c] for c in field["convergence"]] == [row["convergence"] for row in rows]


def test_pandas_empty_field_is_a_value_and_an_exact_nan_is_unknown(tmp_path):
    # pandas reads an empty field as NaN, which the module cannot tell from a solver's nan: studied.
    (tmp_path / "case.csv").write_text(EMPTY)
    result = kv.study_table(pd.read_csv(tmp_path / "case.csv"))
    assert list(result["convergence"]) == ["undetermined", "monotonic-convergence"]
    # An exact value NaN, given as a number, is unknown, as an empty exact field of a CSV file.
    given = kv.study_table({"h": [0.04, 0.02, 0.01], "drag": [1.3, 1.1, 1.0]}, exact={"drag": float("nan")})
    assert np.isnan(given["exact"][0])
    with pytest.raises(ValueError, match="column 'drag': the exact value 'inf' is not finite"):
        kv.study_table({"h": [0.04, 0.02, 0.01], "drag": [1.3, 1.1, 1.0]}, exact={"drag": float("inf")})


def test_a_missing_value_leaves_its_quantity_the_grids_that_have_one(tmp_path):
    rows, _ = shell(tmp_path, MISSING, [])
    assert [(row["grids"], row["status"]) for row in rows] == [
        ("4", "ok"), ("3", "ok"), ("2", "missing values"), ("0", "missing values")]
    # read_case shows a missing value as None; None in a dict is missing too, NaN a value.
    case = kv.read_case(str(tmp_path / "case.csv"))
    assert case.quantities["lift"] == [1.203927, 1.203779, None, 1.201971]
    given = kv.study_table({"h": [0.04, 0.02, 0.01, 0.005], "a": [1.3, None, 1.0, 1.0], "b": [1.3, float("nan"), 1.0, 1.0]})
    assert list(given["grids"]) == [3, 4]


def test_pandas_index_column_is_refused_with_how_to_save_without_it(tmp_path):
    frame = pd.DataFrame({"h": [0.04, 0.02, 0.01], "drag": [1.3, 1.1, 1.0]})
    frame.to_csv(tmp_path / "indexed.csv")  # pandas' default: the index first, its column unnamed
    message = ("the first column has no name and h comes second, as pandas writes its index with to_csv(): "
               "save the table with to_csv(path, index=False)")
    assert shell(tmp_path, (tmp_path / "indexed.csv").read_text(), []) == (None, "case.csv:1: " + message)
    with pytest.raises(ValueError) as raised:
        kv.read_case(str(tmp_path / "indexed.csv"))
    assert str(raised.value) == f"{tmp_path / 'indexed.csv'}:1: {message}"
    # pandas reads the index back as a column 'Unnamed: 0'.
    with pytest.raises(ValueError) as raised:
        kv.study_table(pd.read_csv(tmp_path / "indexed.csv"))
    assert str(raised.value) == ("column 'Unnamed: 0' holds 0, 1, 2, ...: pandas' index, written by to_csv() and read "
                                 "back as a column: read the file with read_csv(path, index_col=0), or save the table "
                                 "with to_csv(path, index=False)")
    # Read as the index, the table is studied as the file saved without it.
    rows, _ = shell(tmp_path, frame.to_csv(index=False), [])
    result = kv.study_table(pd.read_csv(tmp_path / "indexed.csv", index_col=0))
    assert_rows_equal(rows, {c: list(result[c]) for c in result.columns})


@pytest.mark.parametrize("call", [
    lambda h: kv.study(h, [1.0] * len(h)),
    lambda h: kv.study(None, [1.0] * len(h), cells=[1 / x for x in h], dim=1),
    lambda h: kv.field(h, np.ones((len(h), 2))),
    lambda h: kv.study_table({"h": h, "q": [1.0] * len(h)}),
], ids=["study", "study-cells", "field", "study_table"])
def test_every_entry_that_takes_grids_takes_at_most_64(call):
    h = [0.001 * g for g in range(1, 5001)]
    call(h[:64])
    with pytest.raises(ValueError, match=r"^(h|cells|row )\[?64\]?: more than 64 grids: a study takes at most 64$"):
        call(h[:65])
    with pytest.raises(ValueError, match="more than 64 grids"):
        call(h)
