#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/NAME/) from the shipped examples,
the golden cases and the format texts of the program. Run from the top of the source tree."""
import hashlib
import pathlib
import re
import struct

ROOT = pathlib.Path(__file__).resolve().parent.parent
CORPUS = ROOT / "fuzz" / "corpus"


def put(target, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / hashlib.sha1(data).hexdigest()[:16]).write_bytes(data)


def case_folders():
    yield from sorted((ROOT / "examples").glob("*/Kestrovanilque.in"))
    yield from sorted((ROOT / "tests/golden/cases").glob("*/Kestrovanilque.in"))


def first_value(data):
    text = data.decode("latin-1").strip().split("\n")[0].strip()
    return text.split()[0].strip("'\"") if text else ""


for start in case_folders():
    folder = start.parent
    main = folder / first_value(start.read_bytes())
    if not main.is_file():
        continue
    put("main_data", main.read_bytes())
    # Grid and exact-solution files: the first two and the last of each case, with the control
    # byte of variableNumber 2 (a grid file) or 2 | 0x80 (an exact-solution file).
    lines = main.read_bytes().decode("latin-1").split("\n")
    names = [first_value(line.encode("latin-1")) for line in lines[13:]]
    grids = [folder / n for n in names if n and (folder / n).is_file()]
    for grid in grids[:2] + grids[-1:]:
        put("grid_file", bytes([2]) + grid.read_bytes())
    exact = folder / first_value(lines[3].encode("latin-1")) if len(lines) > 3 else None
    if exact and exact.is_file():
        put("grid_file", bytes([2 | 0x80]) + exact.read_bytes())

# Format texts: every literal format of the program, with items of each kind.
formats = set()
for source in (ROOT / "src").rglob("*.cpp"):
    if source.name.endswith("_test.cpp"):
        continue
    formats.update(re.findall(r'"(\([^"]*\))"', source.read_text(encoding="utf-8")))
items = (bytes([1]) + struct.pack("<d", 1234.5) + bytes([0]) + struct.pack("<i", -42) +
         bytes([2, 5]) + b"pE_Th" + bytes([1]) + struct.pack("<d", -2.5e-120))
for text in sorted(formats):
    data = text.encode("utf-8")
    if len(data) < 256:
        put("format", bytes([len(data)]) + data + items)

# E descriptors: 1PE12.4, 1PE22.14, 0PE10.3 and 3PE15.5 on values with ties, carries, tiny and
# huge exponents, zero, -0.0, infinities and NaN.
values = [0.03125, 9.99995, 0.125, 2.5, 1e-300, 5e-324, 1.7976931348623157e308, 0.0, -0.0,
          float("inf"), float("-inf"), float("nan"), -2.5e-120, 123456789.0]
packed = b"".join(struct.pack("<d", v) for v in values)
for shape, width, decimals in ((0x80, 12, 4), (0x80, 22, 14), (8, 10, 3), (11, 15, 5)):
    put("record", bytes([shape, width, decimals]) + packed)

# The study's CSV tables: the shipped ones and small variants (cell counts with their dimension
# in the control byte, an exact row, quoted names, ';' and tab delimiters, CR LF, a BOM).
for table in sorted((ROOT / "examples/study").glob("*.csv")):
    put("study_csv", bytes([0]) + table.read_bytes())
put("study_csv", bytes([1 | 3 << 1]) + b"cells,drag\n1000,0.53\n8000,0.531\n64000,0.5312\nexact,0.5312\n")
put("study_csv", bytes([0]) + b'\xef\xbb\xbfh;"a;b";c\r\n0.1;1;2\r\n0.2;1.5;2.5\r\n# comment\r\n0.4;3;4\r\n')
put("study_csv", bytes([0]) + b"h\tq\n0.1\t1e-3\n0.05\t+2.5\nexact\t\n")
put("space_time_csv", bytes([0]) + b"h,dt,drag,iter_err,lift,iter_err:lift\n0.01,0.002,1.02,1e-7,0.5,\n"
    b"0.02,0.002,1.05,,0.52,2e-6\n0.01,0.004,1.03,1e-7,0.51,3e-6\n0.04,0.002,1.1,,0.55,\n0.01,0.008,1.06,,0.53,\n"
    b"exact,,1.0,,,\n")
put("space_time_csv", bytes([1 | 2 << 1]) + b"# constant Courant number\ncells;DT;q\n10000;0.01;2.1\n2500;0.02;2.3\n625;0.04;2.8\n")
put("space_time_csv", bytes([0]) + b"h,dt,a\n1,1,1\n1.0,1,2\n")

# Field cases (h,file tables) and the point files of a field: a classic grid file with its
# spacing, a CSV file with a header, a classic file without heading, an exact-value file.
put("field_case", bytes([0]) + b"h,file\n0.0125,fine.txt\n0.025,medium.csv\n0.05,coarse.txt\nexact,exact.txt\n")
put("field_case", bytes([2]) + b"# cells\r\ncells;file\r\n4096;a.txt\r\n512;b.txt\r\n")
classic = b"  0.1  grid spacing h\r\n 1 , 1.5\r\n2\t1.25D-1   value\r\n\r\n3 .5\r\n"
csv = b"id,value\n# medium\n1,1.5\n2,0.125\n3,0.5\n"
bare = b"1 1.5\n002 0.25\n+3 Infinity"
put("point_files", bytes([0b00_01_10, 1]) + classic + b"\n==\n" + csv + b"\n==\n" + bare)
put("point_files", bytes([0b01_00_01_10, 2 | 4]) + classic + b"\n==\n" + csv + b"\n==\n" + csv)
put("point_files", bytes([0, 0]) + bare + b"\n==\n" + bare)

# What VTK files declare: first byte 1 for .vtu text (0 for legacy .vtk) | a small read size.
def be(fmt, values):
    return b"".join(struct.pack(">" + fmt, v) for v in values)


legacy = b"# vtk DataFile Version 3.0\ngrid\n"
put("vtk_declared", bytes([7 << 1]) + legacy + b"ASCII\nDATASET UNSTRUCTURED_GRID\nFIELD FieldData 1\n"
    b"TIME 1 1 double\n0.5\nPOINTS 4 double\n0 0 0\n1 0 0\n1 1 0\n0 1 0\nMETADATA\nINFORMATION 0\n\n"
    b"CELLS 1 5\n4 0 1 2 3\nCELL_TYPES 1\n9\nPOINT_DATA 4\nSCALARS T double 1\nLOOKUP_TABLE default\n"
    b"1 2 3 4\nVECTORS U float\n1 0 0 2 0 0 3 0 0 4 0 0\nCELL_DATA 1\nFIELD f 2\nname 1 1 string\nab\n"
    b"NULL_ARRAY\nTENSORS6 s float\n1 2 3 4 5 6\n")
put("vtk_declared", bytes([3 << 1]) + legacy + b"BINARY\nDATASET POLYDATA\nPOINTS 3 float\n" + be("f", [0] * 9)
    + b"\nPOLYGONS 1 4\n" + be("i", [3, 0, 1, 2]) + b"\nLINES 1 3\n" + be("i", [2, 0, 2])
    + b"\nPOINT_DATA 3\nCOLOR_SCALARS c 2\n" + bytes(6) + b"\nLOOKUP_TABLE t 1\n" + bytes(4)
    + b"\nTEXTURE_COORDINATES tc 2 double\n" + be("d", [0] * 6) + b"\nSCALARS b bit 3\nLOOKUP_TABLE default\n\x01\x02")
put("vtk_declared", bytes([1 << 1]) + b"# vtk DataFile Version 5.1\nv\nBINARY\nDATASET UNSTRUCTURED_GRID\n"
    b"CELLS 2 3\nOFFSETS vtktypeint64\n" + be("q", [0, 3]) + b"\nCONNECTIVITY vtktypeint64\n" + be("q", [0, 1, 2])
    + b"\nCELL_TYPES 1\n" + be("i", [5]) + b"\nCELLS 1 5\n" + be("i", [900000, 0, 1, 2, 3]))
put("vtk_declared", bytes([0]) + legacy + b"ASCII\nDATASET RECTILINEAR_GRID\nDIMENSIONS 2 2 1\n"
    b"X_COORDINATES 2 float\n0 1\nY_COORDINATES 2 float\n0 1\nZ_COORDINATES 1 float\n0\n")
put("vtk_declared", bytes([0]) + legacy + b"ascii\ndataset structured_points\ndimensions 3 4 5\nspacing 1 1 1\n"
    b"origin 0 0 0\npoint_data 60\nglobal_ids g int\n" + b"1 " * 60 + b"\nCELLS 2 3\n-1 0 0\n")
put("vtk_declared", bytes([1 | 5 << 1]) + b'<?xml version="1.0"?>\n<!-- <Piece NumberOfPoints="9"> -->\n'
    b'<VTKFile type="UnstructuredGrid" version="1.0" header_type="UInt64"><UnstructuredGrid>\n'
    b"<FieldData><DataArray type='Float64' Name='TIME' NumberOfTuples='1' format='ascii'>0</DataArray></FieldData>\n"
    b"<Piece NumberOfCells = '1' NumberOfPoints=\"&#52;\"><PointData><DataArray type=\"Float64\" Name=\"T\" "
    b'NumberOfComponents="3" format="ascii"><![CDATA[1 2 3]]></DataArray></PointData>\n'
    b'<Points><DataArray type="Float64" NumberOfComponents="3" format="appended" offset="0"/></Points>\n'
    b'<Cells><DataArray type="Int64" Name="offsets" format="ascii">4</DataArray></Cells></Piece>\n'
    b'</UnstructuredGrid><AppendedData encoding="raw">_\x00<Piece NumberOfPoints="9"></AppendedData></VTKFile>\n')
put("vtk_declared", bytes([1]) + b'<!DOCTYPE v [<!ENTITY n "9">]><VTKFile><Piece NumberOfPoints="&n;"/></VTKFile>')
put("vtk_declared", bytes([1]) + "<VTKFile/>".encode("utf-16"))
