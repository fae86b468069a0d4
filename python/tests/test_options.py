"""Every keyword of the module is a row of the command's table of options: taken by the functions
its row names (TypeError elsewhere, as an unknown argument), accepted on the kinds of case it
applies to and refused on the others with the command's one line, the option named by its keyword."""
import re

import numpy as np
import pytest

import kestrovanilque as kv
from conftest import SOURCE

H_ALONE = {"csv", "main-data", "main-data-field", "field", "hdf5-field", "mesh-field"}
CSV = {"csv", "field", "space-time", "mesh-field"}
# Written out keyword by keyword: its option, the kinds it applies to, and the functions that take
# it (read_case; study, study_table and field). A keyword that changes, or a new one without a line
# here, fails.
EXPECTED = {
    "order": ("--order", H_ALONE | {"space-time"}, {"study"}),
    "fs": ("--fs", H_ALONE, {"study"}),
    "target_gci": ("--target-gci", H_ALONE, {"study"}),
    "noise": ("--noise", H_ALONE, {"study"}),
    "least_squares": ("--least-squares", H_ALONE, {"study"}),
    "threads": ("--threads", H_ALONE, {"study"}),
    "cells": ("--cells", CSV, {"read"}),
    "dim": ("--dim", CSV, {"read", "study"}),
    "field": ("--field", {"main-data", "main-data-field", "field", "hdf5-field", "mesh-field"}, {"read"}),
}
# A value each keyword takes, and the one it needs with it.
VALUES = {"order": 1.5, "fs": 2.0, "target_gci": 0.01, "noise": 1e-6, "least_squares": False, "threads": 2,
          "cells": True, "dim": 2, "field": True}
NEEDS = {"cells": {"dim": 2}, "dim": {"cells": True}}

H = [0.04, 0.02, 0.01, 0.005]
DRAG = [0.532672, 0.531544, 0.531283, 0.5312204]
CELLS = [8, 64, 512, 4096]


def test_the_module_takes_the_keywords_of_the_table():
    rows = {r["keyword"]: r for r in kv._options()}
    assert set(rows) == set(EXPECTED)
    for keyword, (option, kinds, functions) in EXPECTED.items():
        row = rows[keyword]
        assert (row["option"], set(row["kinds"])) == (option, kinds), keyword
        assert (row["read_case"], row["study"]) == ("read" in functions, "study" in functions), keyword


@pytest.fixture(scope="module")
def cases(tmp_path_factory):
    """A case of every kind read_case reads, by its kind's key: (path, the keywords that make it that
    kind, its variant with cell counts)."""
    d = tmp_path_factory.mktemp("kinds")

    def write(name, text):
        (d / name).write_text(text)
        return str(d / name)

    for g, h in enumerate([0.01, 0.02, 0.04]):
        write(f"p{g}.txt", "".join(f"{i} {1 + h * h * (i + 1)!r}\n" for i in range(4)))
    for cells in (4, 8, 16):
        h = 1 / cells
        write(f"g{cells}.csv", "x,y,T\n" + "".join(f"{i * h!r},{j * h!r},{1 + i * j * h * h!r}\n"
                                                    for i in range(cells + 1) for j in range(cells + 1)))
    main = str(SOURCE / "examples" / "trapezoid" / "trapezoid_case.txt")
    return {
        "csv": (write("t.csv", "h,a\n0.04,1.3\n0.02,1.1\n0.01,1.0\n"), {},
                write("tc.csv", "cells,a\n100,1.3\n400,1.1\n1600,1.0\n")),
        "main-data": (main, {}, None),
        "main-data-field": (main, {"field": True}, None),
        "field": (write("f.csv", "h,file\n0.01,p0.txt\n0.02,p1.txt\n0.04,p2.txt\n"), {},
                  write("fc.csv", "cells,file\n10000,p0.txt\n2500,p1.txt\n625,p2.txt\n")),
        "space-time": (write("r.csv", "h,dt,a\n0.01,0.1,1.0\n0.02,0.2,1.1\n0.04,0.4,1.3\n"), {},
                       write("rc.csv", "cells,dt,a\n10000,0.1,1.0\n2500,0.2,1.1\n625,0.4,1.3\n")),
        "mesh-field": (write("m.csv", "h,file\n0.0625,g16.csv\n0.125,g8.csv\n0.25,g4.csv\n"), {},
                       write("mc.csv", "cells,file\n256,g16.csv\n64,g8.csv\n16,g4.csv\n")),
        "hdf5-field": (write("field.h5", ""), {}, None),  # known by its extension
    }


@pytest.mark.parametrize("keyword", [k for k, (_, _, functions) in EXPECTED.items() if "read" in functions])
def test_read_case_takes_its_keywords_on_the_kinds_they_apply_to(cases, keyword):
    option, kinds, _ = EXPECTED[keyword]
    given = {keyword: VALUES[keyword], **NEEDS.get(keyword, {})}
    for kind, (path, making, with_cells) in cases.items():
        path = with_cells if "cells" in given and with_cells else path
        if kind in kinds:
            made = "main-data-field" if kind == "main-data" and given.get("field") else kind
            assert kv.read_case(path, **{**making, **given}).kind == made, (keyword, kind)
        else:
            with pytest.raises(ValueError) as refused:
                kv.read_case(path, **{**making, **given})
            # The first keyword given that does not apply, in the order of the table (cells before dim).
            first = "cells" if "cells" in given else keyword
            assert re.fullmatch(rf"{re.escape(path)}: {first} applies to [^\n]+, not to [^\n]+", str(refused.value)), \
                (keyword, kind, str(refused.value))


@pytest.mark.parametrize("keyword", list(EXPECTED))
def test_the_study_functions_take_their_keywords_on_the_kinds_they_apply_to(cases, keyword):
    option, kinds, functions = EXPECTED[keyword]
    value = VALUES[keyword]
    field = np.array([DRAG, DRAG]).T.copy()
    by_cells = keyword in NEEDS
    grids = {"h": None, "cells": CELLS} if by_cells else {"h": H}
    table = {"cells" if by_cells else "h": CELLS if by_cells else H, "drag": DRAG}
    calls = {  # function -> (the kind of case it studies, the call)
        "study": ("csv", lambda **kw: kv.study(grids["h"], DRAG, cells=grids.get("cells"), **kw)),
        "study_table": ("csv", lambda **kw: kv.study_table(table, **kw)),
        "field": ("field", lambda **kw: kv.field(grids["h"], field, cells=grids.get("cells"), **kw)),
    }
    if keyword == "cells":  # study() and field() take the cell counts themselves as cells
        del calls["study"], calls["field"]
    if not by_cells:  # a case read by read_case has its grids
        calls["study_table of a main data file"] = ("main-data", lambda **kw: kv.study_table(
            kv.read_case(cases["main-data"][0]), **kw))
    for name, (kind, call) in calls.items():
        if "study" not in functions:
            with pytest.raises(TypeError, match=f"got an unexpected keyword argument '{keyword}'"):
                call(**{keyword: value})
        elif kind in kinds:
            call(**{keyword: value})
        else:
            with pytest.raises(ValueError, match=f"^{keyword} applies to "):
                call(**{keyword: value})
    if "read" not in functions:
        with pytest.raises(TypeError, match=f"read_case\\(\\) got an unexpected keyword argument '{keyword}'"):
            kv.read_case(cases["csv"][0], **{keyword: value})


def test_keywords_are_checked_as_the_command_checks_options():
    # The value as given (no wrapping into an unsigned, 0 is not "left out"), in the order of the
    # table, before the grids; None is the option left out; a flag's None is False, as before.
    with pytest.raises(ValueError, match="^threads: Value -1 not in range 1 to 1024$"):
        kv.field(H, np.ones((4, 2)), threads=-1)
    with pytest.raises(ValueError, match="^dim: Value 0 not in range 1 to 3$"):
        kv.study(None, DRAG, cells=CELLS, dim=0)
    with pytest.raises(ValueError, match="^order: the theoretical order: a number above 0 and below 100, not 0$"):
        kv.study([1.0], [1.0], fs=-1, order=0)
    with pytest.raises(ValueError, match="^dim requires cells$"):
        kv.study(H, DRAG, dim=2)
    with pytest.raises(TypeError, match="^order must be a number, not str$"):
        kv.study(H, DRAG, fs=-1, order="2")
    with pytest.raises(TypeError, match="^dim must be an integer, not float$"):
        kv.study_table({"cells": CELLS, "drag": DRAG}, dim=2.0)
    assert kv.study(H, DRAG, order=None).series is not None and kv.study(H, DRAG, order=1.5).series is None
    assert np.isnan(kv.study(H, DRAG, least_squares=None).u_ls) and kv.study(H, DRAG, target_gci=0.01).h_target > 0
