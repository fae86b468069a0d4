"""The module's interface: arguments refused with the command's messages, arrays of the wrong
shape or dtype refused, the interpreter released while a field is studied, the result objects."""
import os
import signal
import threading
import time

import numpy as np
import pandas as pd
import pytest

import kestrovanilque as kv
from conftest import SOURCE

TRAPEZOID = SOURCE / "examples" / "trapezoid"
STEP_FLOW = SOURCE / "examples" / "study" / "step_flow.csv"

H = [0.04, 0.02, 0.01, 0.005]
DRAG = [0.532672, 0.531544, 0.531283, 0.5312204]
FIELD = np.array([DRAG, DRAG]).T.copy()  # 4 grids x 2 points

REFUSED = [
    (lambda: kv.study(H, DRAG, order=0), ValueError, "order: the theoretical order: a number above 0 and below 100, not 0"),
    (lambda: kv.study(H, DRAG, fs=-1), ValueError, "fs: a safety factor: a number above 0, not -1"),
    (lambda: kv.study(H, DRAG, target_gci=1.5), ValueError, "target_gci: a fraction: 0 < X < 1"),
    (lambda: kv.study(H, DRAG, noise=float("nan")), ValueError, "noise: an absolute level"),
    (lambda: kv.study(None, DRAG, cells=[8, 64, 512, 4096]), ValueError, "cells requires dim"),
    (lambda: kv.study(None, DRAG, cells=[8, 64, 512, 4096], dim=4), ValueError, "dim: Value 4 not in range 1 to 3"),
    (lambda: kv.study(H, DRAG, cells=H, dim=2), ValueError, "not both"),
    (lambda: kv.study(H[:1], DRAG[:1]), ValueError, "only 1 grid: a study needs the values of two grids at least"),
    (lambda: kv.study([0.04, 0.02, 0.04], DRAG[:3]), ValueError, "h[2]: this grid has the same h as the grid of h[0]: give each grid once"),
    (lambda: kv.study([0.04, -0.02, 0.01], DRAG[:3]), ValueError, "h[1]: h = '-0.02': it must be a positive, finite number"),
    (lambda: kv.study(H, DRAG[:3]), ValueError, "values has 3 values for 4 grids"),
    (lambda: kv.study(H, DRAG, "0.5"), TypeError, "incompatible function arguments"),
    (lambda: kv.study(H, DRAG, float("-inf")), ValueError, "column 'exact': the exact value '-inf' is not finite"),
    (lambda: kv.study_table({"h": H}), ValueError, "no quantity column"),
    (lambda: kv.study_table({"x": H, "drag": DRAG}), ValueError, "the table has no h column"),
    (lambda: kv.study_table({"cells": H, "drag": DRAG}), ValueError, "give dim"),
    (lambda: kv.study_table({"h": H, "drag": DRAG[:3] + ["0,5"]}), ValueError, "row 3: column 'drag': '0,5' has a decimal comma"),
    (lambda: kv.study_table({"h": H, "drag": DRAG[:3] + ["0.5x"]}), ValueError, "row 3: column 'drag': '0.5x' is not a number"),
    (lambda: kv.study_table({"h": H, "drag": DRAG}, exact={"lift": 1}), ValueError, "exact names 'lift'"),
    (lambda: kv.study_table({"h": H, "drag": DRAG[:3]}), ValueError, "column 'drag' has 3 values but column 'h' has 4"),
    (lambda: kv.study_table(pd.DataFrame({"h": H, "a": DRAG, "b": DRAG}).set_axis(["h", "a", "a"], axis=1)),
     ValueError, "the quantity name 'a' appears twice"),
    (lambda: kv.study_table(pd.DataFrame({"h": H, "a": H, "b": DRAG}).set_axis(["h", "h", "b"], axis=1)),
     ValueError, "the table has two h columns"),
    (lambda: kv.study_table({"h": H, "cells": H, "b": DRAG}), ValueError, "both an h and a cells column"),
    (lambda: kv.study_table([H, DRAG]), TypeError, "a pandas DataFrame or a dict of columns, not list"),
    (lambda: kv.field(H, FIELD.astype(np.float32)), TypeError, "values has dtype float32: give float64"),
    (lambda: kv.field(H, FIELD.astype(">f8")), TypeError, "values has dtype >f8"),
    (lambda: kv.field(H, FIELD.tolist()), TypeError, "values must be a numpy array of float64"),
    (lambda: kv.field(H, FIELD[:, 0]), ValueError, "values must be 2-D, grids x points: its shape is (4,)"),
    (lambda: kv.field(H[:2], FIELD), ValueError, "values has 4 rows for 2 grids"),
    (lambda: kv.field(H[:2] + [0.1, 0.2], FIELD.T.copy()), ValueError, "values.T if the points are the rows"),
    (lambda: kv.field(H, FIELD, np.zeros(3)), ValueError, "exact must hold one value per point (2)"),
    (lambda: kv.field(H, FIELD, threads=0), ValueError, "threads: Value 0 not in range 1 to 1024"),
    (lambda: kv.field(H, FIELD, columns=["p", "gci"]), ValueError, "no column 'gci'"),
    (lambda: kv.read_case("/nonexistent/case.csv"), ValueError, "/nonexistent/case.csv: cannot read the file"),
]


@pytest.mark.parametrize("call,error,message", REFUSED, ids=[m[:40] for _, _, m in REFUSED])
def test_bad_arguments_raise_with_the_command_s_message(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert message in str(raised.value)


def test_a_case_option_that_does_not_apply_is_refused_as_by_the_command(tmp_path):
    (tmp_path / "case.csv").write_text("h,drag\n0.02,1.01\n0.01,1.0\n")
    with pytest.raises(ValueError, match="first column is h"):
        kv.read_case(str(tmp_path / "case.csv"), cells=True, dim=2)


def test_read_case_gives_what_the_command_reads(tmp_path, monkeypatch):
    case = kv.read_case(TRAPEZOID / "Kestrovanilque.in")  # the start file leads to the main data file
    assert (case.kind, case.file, case.order, case.fs) == ("main-data", str(TRAPEZOID / "trapezoid_case.txt"), 2, 3)
    assert case.h == sorted(case.h) and case.grid_files[0].endswith("grid8.txt") and case.classic["delta_p"] == 2
    assert list(case.quantities) == ["var1", "var2", "var3"] and case.exact["var2"] == 0.6931471805599453
    (tmp_path / "g1.txt").write_text("1 1.0\n2 2.0\n")
    (tmp_path / "g2.txt").write_text("1 1.1\n2 2.1\n")
    (tmp_path / "field.csv").write_text("h,file\n0.2,g2.txt\n0.1,g1.txt\n")
    field = kv.read_case(str(tmp_path / "field.csv"))
    assert (field.kind, field.h, field.quantities, field.order) == ("field", [0.1, 0.2], {}, None)
    assert field.grid_files == [str(tmp_path / "g1.txt"), str(tmp_path / "g2.txt")]
    with pytest.raises(ValueError, match="study a field's values with field()"):
        kv.study_table(field)
    monkeypatch.chdir(tmp_path)
    (tmp_path / "-table.csv").write_text("h,drag\n0.02,1.01\n0.01,1.0\n")
    assert kv.read_case("-table.csv").quantities == {"drag": [1.0, 1.01]}


def test_exact_values_and_grids_in_any_order_give_the_same_table():
    case = kv.read_case(str(STEP_FLOW))
    reference = kv.study_table(case)
    frame = case.to_frame()
    assert list(frame.index) == [1, 2, 3, 4, "exact"] and frame["h"][1] == 0.005
    same = lambda other: pd.testing.assert_frame_equal(kv.study_table(other), reference, check_exact=True)
    same(frame.iloc[[2, 0, 4, 3, 1]])
    same({"h": ["exact"] + list(frame["h"][:4]), **{q: [frame[q]["exact"]] + list(frame[q][:4]) for q in case.quantities}})
    pd.testing.assert_frame_equal(kv.study_table(frame.drop(index="exact"), exact=case.exact), reference,
                                  check_exact=True)
    with pytest.raises(ValueError, match="exact values given twice"):
        kv.study_table(frame, exact=case.exact)
    with pytest.raises(ValueError, match="a second exact row"):
        kv.study_table(pd.concat([frame, frame.loc[["exact"]]]))


def test_a_result_has_every_column_and_its_details():
    r = kv.study(H, DRAG, 0.5312, name="drag")
    assert list(r.to_dict()) == kv.columns()
    assert all(hasattr(r, c) for c in kv.columns(target_gci=True))
    assert r.grids == 4 and r.convergence == "monotonic-convergence" and r.status == "ok" and r.converges
    assert r.least_squares.u[0] == r.u_ls and r.least_squares.chosen == r.ls_fit
    assert len(r.least_squares.fits) == 8 and r.correction_factor.u == r.u_cf and r.factor_of_safety.u == r.u_fs
    assert len(r.series["pU"]) == 4 and r.series["refinement_type"] == "constant"
    assert kv.study(H, DRAG, order=1.5).series is None
    assert np.isnan(kv.study(H, DRAG).exact) and np.isnan(r.h_target)
    assert kv.study(H, DRAG, target_gci=1e-5).to_dict()["h_target"] > 0
    oscillating = kv.study([1, 2, 4], [1.0, 1.1, 0.95])
    assert oscillating.convergence == "oscillatory-convergence"
    assert "oscillatory" in [w.code for w in oscillating.warnings] and oscillating.correction_factor is None


def test_two_grids_and_changes_within_the_noise():
    two = kv.study([0.02, 0.01], [1.01, 1.0])
    assert (two.convergence, two.fs, two.p_used, two.grids) == ("two-grids", 3.0, 2.0, 2) and np.isnan(two.p)
    assert kv.study(H, [1.0, 1 + 1e-9, 1 - 1e-9, 1.0], noise=1e-6).convergence == "within-noise"


def test_a_field_studies_values_that_are_not_finite_as_the_command_does():
    values = np.array([[1.3, np.nan], [1.1, 1.1], [1.0, 1.0]])
    result = kv.field(H[:3], values, np.array([np.inf, 1.0]))
    names = result["convergence_names"]
    assert [names[c] for c in result["convergence"]] == ["monotonic-convergence", "undetermined"]
    assert np.isnan(result["exact"][0]) and result["exact"][1] == 1.0


def test_values_that_are_not_finite_are_studied_as_the_command_does():
    # study() refused them once; a CSV table's nan and inf are studied, and so are these.
    finest = kv.study(H, DRAG[:3] + [float("inf")])
    assert (finest.convergence, finest.phi1) == ("undetermined", float("inf"))
    coarsest = kv.study(H, [float("nan")] + DRAG[1:])
    assert coarsest.convergence == "monotonic-convergence" and np.isnan(coarsest.u_ls)


def test_cells_give_h_and_the_grid_a_target_needs():
    r = kv.study(None, DRAG, cells=[8e3, 64e3, 512e3, 4096e3], dim=3, target_gci=1e-5)
    assert r.h1 == 4096e3 ** (-1 / 3) and r.cells_target > 4096e3


def test_field_points_are_their_single_studies_and_frame_keeps_the_names():
    rng = np.random.default_rng(5)
    values = 1 + np.outer(np.array(H) ** 2, rng.normal(size=50)) + rng.normal(0, 1e-5, (4, 50))
    result = kv.field(H, values, 2.0, columns=["p", "u_ls", "convergence", "status"])
    assert list(kv.field(H, values, columns="p")) == ["p"]
    for i in range(0, 50, 7):
        single = kv.study(H, values[:, i], 2.0)
        assert result["p"][i] == single.p or np.isnan(single.p)
        assert result["u_ls"][i] == single.u_ls
        assert result["status_names"][result["status"][i]] == single.status
    frame = kv.frame(result)
    assert list(frame.columns) == ["p", "u_ls", "convergence", "status"]
    assert isinstance(frame["convergence"].dtype, pd.CategoricalDtype)
    assert kv.field(H, np.zeros((4, 0)))["p"].shape == (0,)


def test_field_releases_the_interpreter():
    values = np.random.default_rng(1).normal(size=(4, 60000))
    count, stop = [0], threading.Event()

    def spin():
        while not stop.is_set():
            count[0] += 1

    thread = threading.Thread(target=spin)
    thread.start()
    time.sleep(0.05)
    before = count[0]
    kv.field(H, values, threads=1, columns=["p"])
    during = count[0] - before
    stop.set()
    thread.join()
    assert during > 1000


def test_ctrl_c_stops_a_field_study():
    values = np.ones((3, 3_000_000)) + np.arange(3)[:, None] ** 2
    # Python's own handler, also where SIGINT was ignored when the tests started (a background job).
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    timer = threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT))
    start = time.monotonic()
    try:
        timer.start()
        with pytest.raises(KeyboardInterrupt):
            kv.field(H[:3], values, threads=1, least_squares=False, columns=["p"])
    finally:
        timer.join()
        signal.signal(signal.SIGINT, previous)
    assert time.monotonic() - start < 3.0


def test_help_teaches():
    assert "grids x points" in kv.field.__doc__ and "study_table(case)" in kv.read_case.__doc__
    assert "Celik et al. 2008" in kv.study.__doc__ or "Celik" in kv.__doc__
    assert kv.Result.gci_fine21.__doc__.startswith("the grid convergence index")
