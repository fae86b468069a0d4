"""Finds the module and the command it is checked against: KV_PYTHON_MODULE_DIR and KV_BINARY
(set by ctest), else the release build of the source tree."""
import csv
import os
import pathlib
import subprocess
import sys

import pytest

SOURCE = pathlib.Path(__file__).resolve().parents[2]
MODULE_DIR = pathlib.Path(os.environ.get("KV_PYTHON_MODULE_DIR", SOURCE / "build" / "release" / "python"))
sys.path.insert(0, str(MODULE_DIR))
BINARY = pathlib.Path(os.environ.get("KV_BINARY", MODULE_DIR.parent / "kestrovanilque"))


@pytest.fixture
def command(tmp_path):
    """Runs `kestrovanilque study CASE OPTIONS...` and returns the rows of its summary.csv."""
    def run(case, *options):
        out = tmp_path / f"run{len(list(tmp_path.iterdir()))}"
        subprocess.run([str(BINARY), "study", str(case), "--out", str(out), "--no-plots", *options],
                       check=True, stdout=subprocess.DEVNULL)
        with open(out / "summary.csv", newline="") as f:
            return list(csv.DictReader(f))
    return run
