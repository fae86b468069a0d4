#!/usr/bin/env python3
# -*- coding: utf-8 -*-
"""Hand checks of the reference model.

Every worked example and edge case with concrete numbers that the program's
documentation gives is asserted here, so that the golden files derived from
the model can be trusted.  The last test re-runs the model on every case
under cases/ and compares with expected/.

    python3 selftest.py          # prints "N passed, M failed"
"""

import math
import os
import shutil
import subprocess
import sys
import tempfile
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import model as M          # noqa: E402

U = M.UNDEF
TESTS = []


def test(fn):
    TESTS.append(fn)
    return fn


def eq(a, b, msg=''):
    if a != b:
        raise AssertionError('%s\n  got:      %r\n  expected: %r' % (msg, a, b))


def close(a, b, tol=1e-14, msg=''):
    if not abs(a - b) <= tol * max(1.0, abs(b)):
        raise AssertionError('%s: %r is not close to %r' % (msg, a, b))


def rec(fmt, items=()):
    return M.format_records(fmt, items)


def computed(h, Th, exact=None, **kw):
    run = M.Run.from_values(h, Th, exact, **kw)
    M.run_error_estimation(run)
    return run


def listing_after(run, stage, *args):
    """Records one output stage appends to the listing."""
    start = len(run.listing)
    stage(run, *args)
    return run.listing[start:]


def data_file(run, name):
    return run.files[name]


# ---------------------------------------------------------------------------
# Rendering and the formatted-record layer
# ---------------------------------------------------------------------------

@test
def rendering_examples():
    eq(M.render_e(0.03125, 12, 4), '  3.1250E-02')
    eq(M.render_e(-2.5e-120, 12, 4), ' -2.5000-120')
    eq(M.render_e(0.0, 12, 4), '  0.0000E+00')
    eq(M.render_e(-0.0, 12, 4), '  0.0000E+00')
    eq(M.render_e(1234.5, 22, 14), '  1.23450000000000E+03')
    # exact tie rounds to the even digit; carry raises the exponent
    eq(M.render_e(0.00390625, 12, 4), '  3.9062E-03')
    eq(M.render_e(9.99996, 12, 4), '  1.0000E+01')
    # leading blanks: w = d + 8 gives 2 / 1, w = d + 9 gives 3 / 2
    eq(M.render_e(1.5, 12, 4), '  1.5000E+00')
    eq(M.render_e(-1.5, 12, 4), ' -1.5000E+00')
    eq(M.render_e(1.5, 13, 4), '   1.5000E+00')
    eq(M.render_e(-1.5, 23, 14), '  -1.50000000000000E+00')
    # exponent fields
    eq(M.render_e(1234.0, 12, 4), '  1.2340E+03')
    eq(M.render_e(1.0e-12, 12, 4), '  1.0000E-12')
    eq(M.render_e(1.0e308, 12, 4), '  1.0000+308')
    eq(M.render_e(1.0e-120, 13, 4), '   1.0000-120')
    # infinities and NaN: a blank, the word, the rest of the field blank
    eq(M.render_e(M.INF, 12, 4), ' Infinity   ')
    eq(M.render_e(-M.INF, 12, 4), ' -Infinity  ')
    eq(M.render_e(M.NAN, 22, 14), ' NaN' + ' ' * 18)
    # a text that does not fit
    eq(M.render_e(-1.0e-100, 10, 4), '*' * 10)
    # integers
    eq(rec('(I2)', [-5]), ['-5'])
    eq(rec('(I2)', [7]), [' 7'])
    eq(rec('(I2)', [-10]), ['**'])
    eq(rec('(I2)', [101]), ['**'])
    eq(rec('(I10)', [0]), ['         0'])


@test
def format_layer_examples():
    eq(rec("(/,T3,'h',T15,'Th')"), ['', '  h           Th'])
    eq(len(rec("(/,T3,'h',T15,'Th')")[1]), 16)
    r = rec('(1PE12.4,22X,1PE22.14)', [1.0, 2.0])[0]
    eq(r[12:34], ' ' * 22)
    eq(r[34:56], '  2.00000000000000E+00')
    eq(len(r), 56)
    eq(rec('(A12)', ['abcdefghijkl']), ['abcdefghijkl'])
    eq(rec('(A12)', ['abc']), ['         abc'])
    eq(rec('(A2)', ['abc']), ['ab'])
    eq(rec('(A)', [M.fixed('main.dat', 50)]), [M.fixed('main.dat', 50)])
    # a literal after the last item is still written, positioning is not
    eq(rec("('pE(Th) - pL(',A,')')", ['2']), ['pE(Th) - pL(2)'])
    eq(rec('(1PE12.4,1PE22.14,22X,1PE22.14)', [1.0]), ['  1.0000E+00'])
    # an infinite value keeps the whole field at the end of a record
    eq(rec('(1PE12.4)', [M.INF]), [' Infinity   '])
    # reversion: 1 + 45 items
    r = rec('(1PE12.4,30(1PE22.14))', [1.0] + [2.0] * 45)
    eq(len(r), 2)
    eq(len(r[0]), 12 + 30 * 22)
    eq(r[1], '  2.00000000000000E+00' * 15)
    # reversion to the start when the format has no group
    eq(rec('(1PE12.4,1PE12.4)', [1.0, 2.0, 3.0]),
       ['  1.0000E+00  2.0000E+00', '  3.0000E+00'])
    # the script completion
    eq(rec("('set title ''',A,/,'replot')", ["T (6/1/2026)'"]),
       ["set title 'T (6/1/2026)'", 'replot'])


@test
def truncation_after_last_record():
    d = tempfile.mkdtemp()
    try:
        with open(os.path.join(d, 'x.dat'), 'wb') as f:
            f.write(b''.join(b'old line\r\n' for _ in range(10)))
        run = M.Run()
        run.open11('x.dat')
        run.w11("('a')")
        run.w11("('b')")
        run.w11("('c')")
        run.close11()
        M.save_outputs(run, d)
        with open(os.path.join(d, 'x.dat'), 'rb') as f:
            eq(f.read(), b'a\r\nb\r\nc\r\n')
    finally:
        shutil.rmtree(d)


@test
def ieee_helpers():
    eq(M.fdiv(1.0, 0.0), M.INF)
    eq(M.fdiv(-1.0, 0.0), -M.INF)
    eq(M.fdiv(1.0, -0.0), -M.INF)
    assert math.isnan(M.fdiv(0.0, 0.0))
    eq(M.flog10(0.0), -M.INF)
    assert math.isnan(M.flog10(-1.0))
    eq(M.fpow(0.0, -1.0), M.INF)
    eq(M.fpow(10.0, 400.0), M.INF)
    assert math.isnan(M.fpow(-2.0, 0.5))
    eq(M.ipow(2.0, 0), 1.0)
    eq(M.ipow(2.0, -2), 0.25)
    eq(M.ipow(3.0, 5), 243.0)
    eq(M.ipow(0.0, -1), M.INF)


# ---------------------------------------------------------------------------
# Run data, input, head
# ---------------------------------------------------------------------------

@test
def true_orders_and_texts():
    run = M.Run.from_values([1.0] * 4, [1.0] * 4, pL=2, deltaP=2)
    eq([run.pV(m) for m in range(1, 5)], [2, 4, 6, 8])
    eq([run.pV_text(m) for m in range(1, 5)], [' 2', ' 4', ' 6', ' 8'])
    run = M.Run.from_values([1.0] * 3, [1.0] * 3, pL=1, deltaP=50)
    eq(run.pV(3), 101)
    eq(run.pV_text(3), '**')
    run = M.Run.from_values([1.0], [1.0], pL=-3, deltaP=1)
    eq(run.pV_text(1), '-3')


@test
def run_stamp_and_plot_title():
    run = M.Run()
    M.build_run_stamp(run, 6, 1, 2026, 9, 5, 7)
    eq(run.runDate, '(6/1/2026)  ')
    eq(run.runTime, '9:5:7   ')
    M.build_run_stamp(run, 16, 12, 2026, 10, 15, 30)
    eq(run.runDate, '(16/12/2026)')
    eq(run.runTime, '10:15:30')
    run.title = M.fixed('Cavity flow', 90)
    M.build_run_stamp(run, 6, 1, 2026, 9, 5, 7)
    M.build_plot_title(run)
    eq(len(run.plotTitle), 102)
    eq(rec("('set title ''',A,/,'replot')", [M.adjusted(run.plotTitle)]),
       ["set title 'Cavity flow (6/1/2026)'", 'replot'])
    # a title of 90 characters: plotTitle cut at 102
    run.title = M.fixed('x' * 95, 90)
    eq(run.title, 'x' * 90)
    M.build_plot_title(run)
    eq(run.plotTitle, 'x' * 90 + " (6/1/2026)'")
    M.build_run_stamp(run, 16, 12, 2026, 9, 5, 7)
    M.build_plot_title(run)
    eq(run.plotTitle, 'x' * 90 + ' (16/12/2026')
    M.build_run_stamp(run, 6, 1, 2026, 9, 5, 7)
    # leading blanks of the title: no blank after the apostrophe
    run.title = M.fixed('   Lid', 90)
    M.build_plot_title(run)
    eq(rec("('set title ''',A,/,'replot')", [M.adjusted(run.plotTitle)])[0],
       "set title 'Lid (6/1/2026)'")


def _echo(run):
    run.listing = []
    M.build_run_stamp(run, 16, 12, 2026, 9, 5, 7)
    M.write_input_echo(run)
    return run.listing


@test
def input_echo_layout():
    run = M.Run.from_values([0.5, 0.25, 0.125], [1.0, 1.0, 1.0])
    run.title = M.fixed('Cavity flow', 90)
    run.mainDataFile = M.fixed('main.dat', 50)
    run.exactSolutionFile = M.fixed('  exact.dat', 50)
    run.variableNumber = 2
    run.maxIterations = 100
    run.gridFile = [None] + [M.fixed('g%d.dat' % i, 50) for i in (1, 2, 3)]
    L = _echo(run)
    eq(L[0], '')
    eq(L[1], '   título = Cavity flow')
    eq(L[3], '   Dia = (16/12/2026)     Hora = 9:5:7   ')
    eq(L[5], '   2' + ' ' * 19 +
       ' = número da variável, nos arquivos de resultados, a analisar')
    eq(L[7], 'nome do arquivo de dados principal = ' + M.fixed('main.dat', 50))
    eq(L[9], 'nome do arquivo da solução analítica exata = exact.dat')
    eq(L[10], '   0.00000000000000E+00 = solução analítica exata')
    eq(L[18], ' 100' + ' ' * 19 +
       ' = número máximo de iterações para obter pU com r variável')
    for k in (5, 8, 12, 13, 15, 17, 18, 19, 20, 21):
        eq(L[k][23:26], ' = ', 'explanation at 24, record %d' % (k + 1))
    eq(len(L), 22 + 2 + 3)
    eq(L[22], '')
    hdr = L[23]
    eq(hdr[3], 'h')
    eq(hdr[26:34], 'log10(h)')
    eq(hdr[39:42], 'r21')
    eq(hdr[52:], 'arquivos com resultados numéricos:')
    eq(L[24], '   5.00000000000000E-01  -3.0103E-01' + ' ' * 16 + 'g1.dat')
    eq(L[25], '   2.50000000000000E-01  -6.0206E-01   2.0000E+00   g2.dat')
    eq(L[26], '   1.25000000000000E-01  -9.0309E-01   2.0000E+00   g3.dat')
    eq(L[25].index('g2.dat'), 52)
    # a blank title, N = 0
    run = M.Run.from_values([], [])
    L = _echo(run)
    eq(L[1], '   título = ')
    eq(len(L), 24)
    # N = 1: no ratio
    run = M.Run.from_values([0.5], [1.0])
    run.gridFile = [None, M.fixed('g.dat', 50)]
    eq(_echo(run)[-1], '   5.00000000000000E-01  -3.0103E-01' + ' ' * 16 +
       'g.dat')


def _case_dir(files):
    d = tempfile.mkdtemp()
    for name, text in files.items():
        with open(os.path.join(d, name), 'wb') as f:
            f.write(text.encode('latin-1'))
    return d


def _main_lines(n, title, exact=1, variable=2, extra=''):
    lines = ['%d      variable' % variable, 'list.txt  listing',
             '%d     exact?' % exact, 'exact.dat', '2   pL', '2  dP',
             '3.0  Fs', '1 type', '100 maxit', '1.0e-3 tol', '0.3', '4.1',
             '%d   number of grids' % n]
    lines += ['g%d.dat   grid %d' % (i, i) for i in range(1, n + 1)]
    lines.append(title)
    return '\r\n'.join(lines) + '\r\n' + extra


@test
def input_reading():
    files = {
        'Kestrovanilque.in': 'main.dat   the main data file\r\n',
        'main.dat': _main_lines(2, 'Test case 1'),
        'exact.dat': '1 5.0\r\n2 1.5D0  second\r\n3 9.0\r\n',
        'g1.dat': '0.5\r\n1 7.0\r\n2 1.25\r\n',
        'g2.dat': '.25  spacing\r\n1 , 7.0\r\n2\r\n 1.0625E0\r\n',
    }
    d = _case_dir(files)
    try:
        run = M.Run()
        M.read_input(run, d)
        eq(run.title, M.fixed('Test', 90))      # undelimited: first word
        eq(run.exactValue, 1.5)
        eq(run.h[1:], [0.5, 0.25])
        eq(run.Th[1:], [1.25, 1.0625])
        eq(run.tolerance, 1.0e-3)
        eq(run.launches, ['notepad Kestrovanilque.in', 'notepad main.dat'])
    finally:
        shutil.rmtree(d)
    # quoted name with leading blanks; variableNumber = 0; exact flag 2;
    # gridCount = 0 takes the next record as title
    files = {
        'Kestrovanilque.in': "'main file.dat'\r\n",
        'main file.dat': _main_lines(0, "'Lid, driven'", exact=2,
                                     variable=0),
    }
    d = _case_dir(files)
    try:
        run = M.Run()
        M.read_input(run, d)
        eq(run.title, M.fixed('Lid, driven', 90))
        eq(run.gridCount, 0)
        eq(run.exactValue, 0.0)
        eq(run.launches[1], "notepad 'main file.dat'")
    finally:
        shutil.rmtree(d)
    files = {
        'Kestrovanilque.in': 'main.dat\r\n',
        'main.dat': _main_lines(1, "'T'", variable=0).replace(
            'g1.dat   grid 1', "'  g1.dat'"),
        'exact.dat': '',
        'g1.dat': '0.5\r\n',
    }
    d = _case_dir(files)
    try:
        run = M.Run()
        M.read_input(run, d)
        eq(run.gridFile[1], M.fixed('  g1.dat', 50))
        eq(run.Th[1], 0.0)
        eq(run.exactValue, 0.0)
        eq(run.h[1], 0.5)
    finally:
        shutil.rmtree(d)


# ---------------------------------------------------------------------------
# Computation
# ---------------------------------------------------------------------------

H421 = [4.0, 2.0, 1.0]
T421 = [1.0, 1.25, 1.3125]


@test
def apparent_order_examples():
    run = computed(H421, T421)
    eq(run.a['pU(Th)'][3], 2.0)
    eq(run.a['it_pU(Th)'][3], 0)
    eq(run.a['pU(Th)'][1:3], [U, U])
    # equal consecutive values, oscillation, both ratio kinds
    for rt in (1, 2):
        run = computed(H421, [1.0, 1.25, 1.25], refinementType=rt,
                       maxIterations=50, tolerance=1e-6, pUMin=0.1, pUMax=8.0)
        eq(run.a['pU(Th)'][3], U)
        run = computed(H421, [1.0, 1.25, 1.2], refinementType=rt,
                       maxIterations=50, tolerance=1e-6, pUMin=0.1, pUMax=8.0)
        eq(run.a['pU(Th)'][3], U)
        eq(run.a['it_pU(Th)'][3], 0)
    # 0 < q < 1 with a constant ratio: negative order stored, no Ti_pU
    run = computed(H421, [1.0, 1.25, 1.75])
    close(run.a['pU(Th)'][3], -1.0)
    eq(run.a['Ti_pU'][3], U)
    # another refinement kind: nothing
    run = computed(H421, T421, refinementType=3)
    eq(run.a['pU(Th)'][3], U)
    # too few grids for the series
    run = computed([4.0, 2.0], [1.0, 1.25])
    eq(run.a['pU(Th)'][1:], [U, U])
    eq(run.a['it_pU(Th)'][1:], [0, 0])


def _bisect(maxit, lo, hi, tol=0.001):
    return computed([4.0, 2.0, 1.5], [17.0, 5.0, 3.25], refinementType=2,
                    maxIterations=maxit, tolerance=tol, pUMin=lo, pUMax=hi)


@test
def bisection_examples():
    run = _bisect(100, 0.3, 4.1)
    eq(run.a['pU(Th)'][3], 2.0000732421875)
    eq(run.a['it_pU(Th)'][3], 13)
    run = _bisect(5, 0.3, 4.1)
    eq(run.a['pU(Th)'][3], U)
    eq(run.a['it_pU(Th)'][3], 5)
    run = _bisect(100, 2.5, 6.0)            # root below the bracket
    eq(run.a['pU(Th)'][3], U)
    eq(run.a['it_pU(Th)'][3], 0)
    run = _bisect(100, 0.3, 1.5)            # root above the bracket
    eq(run.a['pU(Th)'][3], U)
    run = _bisect(1, 0.3, 4.1)              # a stop at k = 1 is discarded
    eq(run.a['pU(Th)'][3], U)
    for maxit in (0, -3):
        run = _bisect(maxit, 0.3, 4.1)
        eq(run.a['pU(Th)'][3], U)
        eq(run.a['it_pU(Th)'][3], 0)
    # stop exactly at the last permitted iteration: discarded, count kept
    run = _bisect(13, 0.3, 4.1)
    eq(run.a['pU(Th)'][3], U)
    eq(run.a['it_pU(Th)'][3], 13)
    run = _bisect(14, 0.3, 4.1)
    eq(run.a['pU(Th)'][3], 2.0000732421875)
    # equal ratios: the closed form to within the tolerance
    h = [4.0, 2.0, 1.0]
    th = [1.0 + x ** 2.5 for x in h]
    run = computed(h, th, refinementType=2, maxIterations=200,
                   tolerance=1e-9, pUMin=0.1, pUMax=10.0)
    close(run.a['pU(Th)'][3], math.log10(
        (th[1] - th[0]) / (th[2] - th[1])) / math.log10(2.0), tol=2e-9)


@test
def worked_example_4_2_1():
    """h = 4, 2, 1 and Th = 1.0, 1.25, 1.3125 through every quantity."""
    run = computed(H421, T421, exact=4.0 / 3.0, pL=2, Fs=3.0)
    a = run.a
    eq(a['Ti_12'][2], 1.25 + 0.25 / 3)
    eq(a['Ti_12'][3], 1.3125 + 0.0625 / 3)
    eq(a['Ti_23'][3], a['Ti_12'][2])
    eq(a['Ti_13'][3], 1.3125 + 0.3125 / 15)
    close(a['Ti_12'][3], 4.0 / 3.0)
    close(a['Ti_13'][3], 4.0 / 3.0)
    eq(a['pU(Th)'][3], 2.0)
    eq(a['Ti_pU'][3], a['Ti_12'][3])
    close(a['Tc_12'][3], 4.0 / 3.0)
    close(a['Tc_13'][3], 4.0 / 3.0)
    eq(a['Tc_12'][3], a['Ti_12'][3])
    # estimators
    eq(a['Ud'][3], 0.0625)
    close(a['Uri_12'][3], 0.0625 / 3)
    eq(a['Uri_pU'][3], a['Uri_12'][3])
    eq(a['Uri_p'][3], abs(a['Uri_12'][3]))
    assert a['Uri_p'][3] > 0
    eq(a['Uc_12'][3], 0.0)
    eq(a['GCI_pL'][3], 0.0625)
    eq(a['GCI_p'][3], a['GCI_pL'][3])
    # true errors, effective orders
    close(a['E(Th)'][1], 1.0 / 3)
    close(a['E(Th)'][2], 1.0 / 12)
    close(a['E(Th)'][3], 1.0 / 48)
    close(a['pE(Th)'][2], 2.0, 1e-12)
    close(a['pE(Th)'][3], 2.0, 1e-12)
    eq(a['pE(Th)'][1], U)
    # level table
    eq(run.T_i[2][1], a['Ti_12'][2])
    eq(run.T_i[3][1], a['Ti_12'][3])


@test
def undefined_order_blanks_extrapolations():
    run = computed(H421, [1.0, 1.25, 1.2], exact=1.3)
    a = run.a
    for name in ('Ti_pU', 'Tc_12', 'Tc_13', 'Uri_pU', 'Uri_p', 'Uc_12',
                 'Uc_13', 'GCI_p', 'E(Ti_pU)', 'E(Tc_12)', 'E(Tc_13)'):
        eq(a[name][3], U, name)
    for name in ('Ti_12', 'Ti_13', 'Ti_23', 'Ti_bi', 'Uri_13', 'Uri_23',
                 'Uri_bi', 'GCI_pL', 'Ud'):
        assert a[name][3] < M.LIMIT, name


@test
def two_and_three_term_extrapolations():
    h = [0.5 ** k for k in range(6)]
    two = [2.0 + 0.7 * x ** 2 - 0.4 * x ** 4 for x in h]
    run = computed(h, two, pL=2, deltaP=2)
    for i in range(3, 7):
        close(run.a['Ti_bi'][i], 2.0, 1e-13, 'Ti_bi(%d)' % i)
    three = [2.0 + 0.7 * x ** 2 - 0.4 * x ** 4 + 0.3 * x ** 6 for x in h]
    run = computed(h, three, pL=2, deltaP=2)
    for i in range(4, 7):
        close(run.a['Ti_tri'][i], 2.0, 1e-12, 'Ti_tri(%d)' % i)
    # the coefficients carry the factor (s-1)^3 (s+1) of the plain form
    r, pL, dP = 2.0, 2, 2
    c0, c1, c2, c3, den = M.three_term_coefficients(r, pL, dP)
    s = r ** dP
    f = (s - 1) ** 3 * (s + 1)
    close(c0, r ** (3 * pL + 3 * dP) * f)
    close(c1, -(r ** (2 * pL + dP) + r ** (2 * pL + 2 * dP)
                + r ** (2 * pL + 3 * dP)) * f)
    close(c2, (r ** pL + r ** (pL + dP) + r ** (pL + 2 * dP)) * f)
    close(c3, -f)
    close(den, (r ** pL - 1) * (r ** (pL + dP) - 1) * (r ** (pL + 2 * dP) - 1)
          * f)
    A, K, D = M.two_term_coefficients(r, pL, dP)
    eq(D, (r ** pL - 1) * (r ** (pL + dP) - 1))
    eq(K, -(r ** pL + r ** (pL + dP)))
    # one ratio h(1)/h(2) for every grid, whatever the refinement kind
    h = [1.0, 0.5, 0.3, 0.2]
    th = [1.3, 1.1, 1.04, 1.02]
    run = computed(h, th, refinementType=2, maxIterations=50,
                   tolerance=1e-8, pUMin=0.1, pUMax=9.0)
    A, K, D = M.two_term_coefficients(2.0, 2, 2)
    eq(run.a['Ti_bi'][4], (A * th[3] + K * th[2] + th[1]) / D)
    # deltaP = 0: every Ti_tri is 0/0; Ti_bi stays finite
    run = computed(h, th, deltaP=0)
    assert math.isnan(run.a['Ti_tri'][4])
    _, _, D = M.two_term_coefficients(2.0, 2, 0)
    eq(D, (4.0 - 1.0) ** 2)
    assert math.isfinite(run.a['Ti_bi'][3])


@test
def estimator_signs_and_gci():
    h = [1.0, 0.5, 0.25, 0.125]
    dec = [1.0 + x * x for x in h]          # decreasing values
    run = computed(h, dec)
    for i in (3, 4):
        assert run.a['Uri_p'][i] < 0
    # pU larger than pL: GCI_p = GCI_pL; smaller pU: larger GCI_p
    th = [1.0 + x ** 3 for x in h]
    run = computed(h, th, pL=2)
    assert run.a['pU(Th)'][4] > 2
    eq(run.a['GCI_p'][4], run.a['GCI_pL'][4])
    th = [1.0 + x ** 1.5 for x in h]
    run = computed(h, th, pL=2)
    assert run.a['GCI_p'][4] > run.a['GCI_pL'][4]


@test
def effective_order_rules():
    h = [1.0, 0.5, 0.25, 0.125]
    # an error equal to zero, an error changing sign
    run = computed(h, [1.5, 1.0, 0.9, 1.05], exact=1.0)
    eq(run.a['pE(Th)'][2], U)               # E(2) = 0
    eq(run.a['pE(Th)'][3], U)               # E(1) ... R = E(2)/E(3) = 0
    eq(run.a['pE(Th)'][4], U)               # sign change
    # E(Ti_pU)(3) = 1.0e11 and a positive E(Ti_pU)(4)
    run = computed(h, [1.0, 1.25, 1.2, 1.19], exact=1.3)
    e = run.a['E(Ti_pU)']
    eq(e[3], U)
    assert 0 < e[4] < M.LIMIT
    eq(run.a['pE(Ti_pU)'][4], M.fdiv(math.log10(U / e[4]), math.log10(2.0)))
    # without an exact value every pE is 1.0e11
    run = computed(h, [1.0 + x * x for x in h])
    for name in ('pE(Th)', 'pE(Ti_pU)', 'pE(Tc_12)', 'pE(Tc_13)',
                 'pE(Tbi_pU)'):
        eq(run.a[name][1:], [U] * 4, name)


@test
def level_table_example():
    h = [1.0, 0.5, 0.25]
    th = [1.0 + x ** 2 + x ** 4 for x in h]
    run = computed(h, th, pL=2, deltaP=2)
    eq(run.T_i[2][1], 0.75)
    eq(run.T_i[3][1], 0.984375)
    eq(run.T_i[3][2], 1.0)
    eq(run.U12_T[3][1], 0.015625)
    run = computed([1.0, 0.5], [3.0, 1.3125])
    eq(run.T_i[2][1], 0.75)
    eq(len(run.T_i[2]), 2)


@test
def small_grid_counts():
    run = computed([0.5], [1.01], exact=1.0)
    close(run.a['E(Th)'][1], -0.01)
    for name in M.PER_GRID_REALS:
        if name.startswith('p'):
            eq(run.a[name][1], U, name)
    for name in M.PER_GRID_INTS:
        eq(run.a[name][1], 0)
    run = computed([0.5, 0.25], [1.2, 1.05], exact=1.0)
    for name in ('Ti_12', 'Ud', 'Uri_12', 'GCI_pL', 'pE(Th)', 'E(Ti_12)'):
        assert run.a[name][2] < M.LIMIT, name
    assert run.T_i[2][1] < M.LIMIT
    h = [1.0, 0.5, 0.25, 0.125]
    run = computed(h, [1.0 + x * x + x ** 4 + x ** 6 for x in h], exact=1.0)
    assert run.a['Ti_tri'][4] < M.LIMIT
    for name in ('pU(Ti_pU)', 'pU(Tc_12)', 'pU(Tc_13)', 'pU(Tbi_pU)'):
        eq(run.a[name][1:], [U] * 4)


# ---------------------------------------------------------------------------
# Order tables and files
# ---------------------------------------------------------------------------

def _blocks(L):
    """Split listing records into tables (each starts with an empty
    record)."""
    out = []
    for r in L:
        if r == '':
            out.append([])
        else:
            out[-1].append(r)
    return out


def _order_run(pe, pu, it, exact=1.0):
    run = M.Run.from_values([0.5, 0.25, 0.125], [1.0, 1.0, 1.0], exact)
    run.a['pE(Th)'][3] = pe
    run.a['pU(Th)'][3] = pu
    run.a['it_pU(Th)'][3] = it
    L = listing_after(run, M.write_order_report, M.ORDER_MEMBERS[0])
    return run, L


@test
def order_table_rows():
    run, L = _order_run(1.75, 2.25, 7)
    eq(L[0], '')
    eq(L[1], '  h           pE(Th)                pU(Th)                '
             'pE(Th) - pL(2)        pU(Th) - pL(2)         it_pU(Th)')
    row = L[4]
    eq(row, '  1.2500E-01  1.75000000000000E+00  2.25000000000000E+00 '
            '-2.50000000000000E-01  2.50000000000000E-01         7')
    eq(len(row), 110)
    eq(data_file(run, 'pE_h.dat')[2], ' -9.0309E-01  1.75000000000000E+00')
    run, L = _order_run(1.75, U, 7)
    eq(L[4], '  1.2500E-01  1.75000000000000E+00' + ' ' * 22
       + ' -2.50000000000000E-01')
    eq(len(L[4]), 78)
    eq(L[4][56:], ' -2.50000000000000E-01')
    run, L = _order_run(U, 2.25, 7)
    eq(L[4], '  1.2500E-01' + ' ' * 22 + '  2.25000000000000E+00' + ' ' * 22
       + '  2.50000000000000E-01         7')
    eq(data_file(run, 'pE_h.dat')[2], '')
    # exactly 1.0e10: no row at all
    run, L = _order_run(1.0e10, 2.25, 7)
    eq(len(L), 4)
    # the order file
    eq(data_file(run, 'pL.dat'), ['#  log(h)                 pL',
                                  ' -3.0103E-01       2',
                                  ' -6.0206E-01       2',
                                  ' -9.0309E-01       2'])


@test
def order_tables_two_grids():
    run = computed([0.5, 0.25], [1.2, 1.05], exact=1.0)
    L = listing_after(run, M.write_order_reports)
    blocks = _blocks(L)
    eq(len(blocks), 5)
    th = blocks[0]
    eq(len(th), 3)
    eq(len(th[2]), 78)
    for b in blocks[1:]:
        eq([len(r) for r in b[1:]], [12, 12])
    eq(data_file(run, 'pU_h.dat'), ['#  log(h)                 pU_h'])
    for f in ('pE_i.dat', 'pU_i.dat', 'pE_bi.dat', 'pU_bi.dat',
              'pE_c12.dat', 'pU_c12.dat', 'pE_c13.dat', 'pU_c13.dat'):
        eq(len(data_file(run, f)), 1, f)
    eq(data_file(run, 'p2.dat')[1:], [' -3.0103E-01       4',
                                      ' -6.0206E-01       4'])
    eq(data_file(run, 'p3.dat')[1:], [' -3.0103E-01       6',
                                      ' -6.0206E-01       6'])
    eq(data_file(run, 'p2.dat')[0], '#  log(h)                 pV(2)')


@test
def order_tables_without_exact_value():
    h = [0.5 ** k for k in range(7)]
    run = computed(h, [1.0 + x * x for x in h])
    L = listing_after(run, M.write_order_reports)
    blocks = _blocks(L)
    eq(len(blocks[0][2]), 12)            # grid s + 1: h alone
    eq(blocks[0][3][12:34], ' ' * 22)    # pE column blank, pU follows
    eq(blocks[0][3][56:78], ' ' * 22)
    eq(len(blocks[0][3]), 110)
    eq(data_file(run, 'pE_h.dat')[1:], [''] * 6)
    eq(len(data_file(run, 'pU_h.dat')), 1 + 5)


@test
def composite_labels():
    for pL, text in ((12, '12'), (100, '**')):
        run = M.Run.from_values([1.0], [1.0], pL=pL)
        L = listing_after(run, M.write_order_report, M.ORDER_MEMBERS[0])
        assert ('pE(Th) - pL(%s)' % text) in L[1]
        assert ('pU(Th) - pL(%s)' % text) in L[1]
    run = M.Run.from_values([1.0], [1.0])
    L = listing_after(run, M.write_order_report, M.ORDER_MEMBERS[2])
    eq(L[1], '  h           pE(Tbi_pU)            pU(Tbi_pu)            '
             'pE(Tbi_pU) - p3(6)    pU(Tbi_pU) - p3(6)     it_pU(Tbi_pU)')


# ---------------------------------------------------------------------------
# Value, difference, true-error tables
# ---------------------------------------------------------------------------

@test
def value_table_header():
    run = M.Run.from_values([1.0], [1.0])
    L = listing_after(run, M.write_value_table)
    eq(len(L[1]), 218)
    for k, lab in enumerate(M.VALUE_LABELS):
        eq(L[1][14 + 22 * k:14 + 22 * k + len(lab)], lab)


@test
def value_tables_two_grids():
    run = computed([0.5, 0.25], [1.2, 1.05], exact=1.0)
    v = listing_after(run, M.write_value_table)
    eq([len(r) for r in v[2:]], [34, 56])
    d = listing_after(run, M.write_difference_table)
    eq([len(r) for r in d[2:]], [12, 34])
    e = listing_after(run, M.write_true_error_table)
    eq([len(r) for r in e[2:]], [34, 56])


@test
def value_tables_four_grids_pu_undefined_at_3():
    h = [1.0, 0.5, 0.25, 0.125]
    run = computed(h, [1.0, 1.25, 1.2, 1.19], exact=1.3)
    assert run.a['Ti_pU'][3] == U and run.a['Ti_pU'][4] < M.LIMIT
    v = listing_after(run, M.write_value_table)
    r3, r4 = v[4], v[5]
    eq(r3[78:100], ' ' * 22)                 # column 4 blank
    eq(len(r3), 12 + 6 * 22)                 # nothing after column 6
    eq(len(r4), 12 + 9 * 22)                 # full through column 9
    d = listing_after(run, M.write_difference_table)
    eq(d[5][78:100], M.render_e(run.a['Ti_pU'][4] - U, 22, 14))
    assert d[5][78:100].strip().startswith('-9.9999')
    # exactly 1.0e10: no row
    run.a['Ti_pU'][3] = 1.0e10
    v = listing_after(run, M.write_value_table)
    eq(len(v), 2 + 3)


@test
def value_table_pu_undefined_tbi_defined():
    h = [1.0, 0.5, 0.25, 0.125, 0.0625, 0.1, 0.05, 0.025]
    th = [1.0 + 0.5 * x * x - 0.3 * x ** 3 for x in h]
    run = computed(h, th, exact=1.0, pL=2, deltaP=1)
    assert run.a['Ti_pU'][6] > M.LIMIT and run.a['Tbi_pU'][6] < M.LIMIT
    v = listing_after(run, M.write_value_table)
    row = v[2 + 5]
    eq(row[78:100], ' ' * 22)
    eq(row[166:210], ' ' * 44)
    eq(row[210:232], M.render_e(run.a['Tbi_pU'][6], 22, 14))
    eq(len(row), 232)


# ---------------------------------------------------------------------------
# Estimated-error table and files
# ---------------------------------------------------------------------------

@test
def estimator_files_and_table():
    h = [1.0, 0.5, 0.25, 0.125]
    run = computed(h, [1.0, 1.25, 1.3, 1.3])    # Th(4) = Th(3)
    L = listing_after(run, M.write_estimated_error_report)
    eq(data_file(run, 'U_12.dat')[-1], '')
    eq(len(data_file(run, 'U_12.dat')), 1 + 3)
    eq(data_file(run, 'U_12.dat')[0],
       '# log(h)      log|Ud|               log|Uri_12|           log(GCI_pL)')
    # Ti_pU undefined at grid 4: empty lines, blank column, Uc absent
    for f in ('Uri_pU.dat', 'Uc_12.dat', 'Uc_13.dat'):
        eq(data_file(run, f)[-1], '', f)
    r4 = L[-1]
    eq(r4[56:78], ' ' * 22)
    eq(len(r4), 12 + 6 * 22)
    # a negative estimator plotted through its magnitude
    eq(data_file(run, 'Uri_13.dat')[1].split()[1],
       M.render_e(math.log10(abs(run.a['Uri_13'][3])), 22, 14).strip())
    # three grids: Utri.dat holds its header only; table ends with grid 3
    run = computed(h[:3], [1.0, 1.25, 1.3125], exact=1.4)
    L = listing_after(run, M.write_estimated_error_report)
    eq(len(data_file(run, 'Utri.dat')), 1)
    eq(len(L), 2 + 3)
    eq(L[-1][144:166], ' ' * 22)             # column 7 blank


# ---------------------------------------------------------------------------
# Ratio tables
# ---------------------------------------------------------------------------

@test
def ratio_tables_zero_tests():
    h = [1.0, 0.5, 0.25, 0.125]
    run = computed(h, [1.1, 1.1, 1.3, 1.32], exact=1.4)
    eq(run.a['Uri_12'][2], 0.0)
    g = listing_after(run, M.write_gci_table)
    eq([r[:12] for r in g[2:]][:2], ['  1.0000E+00', '  2.5000E-01'])
    e = listing_after(run, M.write_estimator_ratio_table)
    eq([r[:12] for r in e[2:]][:2], ['  1.0000E+00', '  2.5000E-01'])
    f = listing_after(run, M.write_effectivity_table)
    eq(f[3][24:36], M.render_e(-1.0, 12, 4))
    # E(Th)(i) = 0: no effectivity row, no form-1 GCI row
    run = computed(h, [1.0, 1.25, 1.4, 1.38], exact=1.4)
    f = listing_after(run, M.write_effectivity_table)
    g = listing_after(run, M.write_gci_table)
    assert not any(r.startswith('  2.5000E-01') for r in f)
    assert not any(r.startswith('  2.5000E-01') for r in g)
    # Ti_pU undefined and E(Th) != 0: columns 1-3, a gap, 5-7
    run = computed(h, [1.0, 1.25, 1.2, 1.21], exact=1.4)
    eq(run.a['Ti_pU'][4], U)
    f = listing_after(run, M.write_effectivity_table)
    eq(f[-1][48:60], ' ' * 12)
    eq(len(f[-1]), 12 + 7 * 12)
    eq(len(f[-2]), 12 + 6 * 12)              # grid 3: columns 5 and 6


@test
def gci_table_rows():
    h = [1.0, 0.5, 0.25]
    run = computed(h, [1.0, 1.25, 1.3125], exact=1.4, Fs=3.0)
    g = listing_after(run, M.write_gci_table)
    eq(g[1][140:], 'Gp/|Eh|-Fs')
    short = g[3]
    eq(short[12:34], ' ' * 22)
    eq(short[34:56], M.render_e(run.a['GCI_pL'][2], 22, 14))
    eq(short[56:90], ' ' * 34)
    eq(len(short), 138)
    eq(len(g[4]), 12 + 66 + 72)
    run.hasExactSolution = 0
    g = listing_after(run, M.write_gci_table)
    eq(g[1][104:], 'Gp/|U12|-Fs')
    eq(len(g[3]), 102)


# ---------------------------------------------------------------------------
# Level tables
# ---------------------------------------------------------------------------

@test
def level_headers():
    run = M.Run.from_values([1.0] * 4, [1.0] * 4, pL=2, deltaP=2)
    eq(M.level_header(run, 'T'),
       'h' + ' ' * 11 + 'Th(p=2)' + ' ' * 15 + 'T_1i(p=4)' + ' ' * 13
       + 'T_2i(p=6)' + ' ' * 13 + 'T_3i(p=8)')
    eq(M.level_header(run, 'ERatio'),
       'h           E(Th)/E(Th)' + '  ' + '         E(Th)/E(T_1i)'
       + '         E(Th)/E(T_2i)' + '         E(Th)/E(T_3i)')
    eq(M.level_header(run, 'UOverE')[:45],
       'h           (U/E-1)(Th(p=2))      (U/E-1)(T_1')
    L = listing_after(run, M.write_level_table, 'T')
    eq(L[0], '')
    eq(L[1], '  ' + M.level_header(run, 'T'))
    run = M.Run.from_values([1.0], [1.0])
    eq(M.level_header(run, 'dT'), 'h           dTh(p=2)')


@test
def level_header_past_500():
    run = M.Run.from_values([1.0] * 35, [1.0] * 35, pL=2, deltaP=1)
    hd = M.level_header(run, 'T')
    assert len(hd) <= 500
    full = 'h           Th(p=2)  ' + ''.join(
        '             T_%di(p=%d)' % (j, j + 2) for j in range(1, 35))
    eq(hd, full[:500].rstrip(' '))
    # a cut inside the blanks of a prefix: the blanks go at the next level
    # and the next label is appended again
    run = M.Run.from_values([1.0] * 40, [1.0] * 40, pL=2, deltaP=2)
    pieces = ['h           Th(p=2)  ']
    buf = pieces[0]
    for j in range(1, 40):
        buf = (buf.strip(' ') + ('  ' if j == 1 else '')
               + '             T_%di(p=%d)' % (j, 2 + 2 * j))[:500]
    eq(M.level_header(run, 'T'), buf.strip(' '))


@test
def level_tables_rows():
    h = [1.0, 0.5, 0.25]
    th = [1.0 + x ** 2 + x ** 4 for x in h]
    run = computed(h, th, exact=1.0)
    L = listing_after(run, M.write_level_table, 'T')
    eq(L[4], '  2.5000E-01' + M.render_e(th[2], 22, 14)
       + M.render_e(0.984375, 22, 14) + M.render_e(1.0, 22, 14))
    # E(level 2, grid 3) = 0 removes the whole row in the ratio tables
    L = listing_after(run, M.write_level_table, 'ERatio')
    eq(len(L), 2 + 2)
    # N = 2 difference table
    run = computed([0.5, 0.25], [1.2, 1.05], exact=1.0)
    L = listing_after(run, M.write_level_table, 'dT')
    eq(L[1], '  h           dTh(p=2)' + ' ' * 14 + 'dT_1i(p=4)')
    eq(L[2:], ['  5.0000E-01', '  2.5000E-01' + M.render_e(1.05 - 1.2, 22,
                                                           14)])
    # N = 1
    run = computed([0.5], [1.01], exact=1.0)
    eq(listing_after(run, M.write_level_table, 'T'),
       ['', '  h           Th(p=2)', '  5.0000E-01' + M.render_e(1.01, 22,
                                                                  14)])
    eq(listing_after(run, M.write_level_table, 'ERatio')[2],
       '  5.0000E-01' + M.render_e(1.0, 22, 14))
    for t in ('dT', 'Uri12', 'UOverE', 'URatio'):
        eq(listing_after(run, M.write_level_table, t)[2:], ['  5.0000E-01'])
    run = computed([0.5], [1.0], exact=1.0)
    eq(listing_after(run, M.write_level_table, 'ERatio')[2:], [])


@test
def level_rows_past_31_values():
    h = [1.1 ** -k for k in range(33)]
    run = computed(h, [1.0 + x * x for x in h], pL=2, deltaP=1)
    L = listing_after(run, M.write_level_table, 'T')
    # grid 30: h + 30 values, one record; grid 31: h + 31 values, two
    eq(len(L[2 + 29]), 12 + 30 * 22)
    eq(len(L[2 + 30]), 12 + 30 * 22)
    eq(len(L[2 + 31]), 22)
    eq(len(L), 2 + 30 + 2 * 3)


# ---------------------------------------------------------------------------
# Scripts and plot files
# ---------------------------------------------------------------------------

@test
def script_completion():
    d = tempfile.mkdtemp()
    try:
        lines = ['# line %d' % k for k in range(1, 21)]
        with open(os.path.join(d, 'Kestrovanilque_pE_pU.gnu'), 'wb') as f:
            f.write(('\r\n'.join(lines + ['old', 'replot']) + '\r\n')
                    .encode())
        with open(os.path.join(d, 'Kestrovanilque_E.gnu'), 'wb') as f:
            f.write(('\n'.join(lines[:19])).encode())
        run = M.Run()
        run.title = M.fixed('Cavity flow', 90)
        M.build_run_stamp(run, 6, 1, 2026, 9, 5, 7)
        M.build_plot_title(run)
        M.complete_plot_script(run, d, 'Kestrovanilque_pE_pU.gnu', 20)
        eq(run.files['Kestrovanilque_pE_pU.gnu'],
           ('\r\n'.join(lines) + "\r\nset title 'Cavity flow (6/1/2026)'"
            "\r\nreplot\r\n").encode())
        M.complete_plot_script(run, d, 'Kestrovanilque_E.gnu', 19)
        eq(run.files['Kestrovanilque_E.gnu'],
           ('\n'.join(lines[:19]) + "\r\nset title 'Cavity flow (6/1/2026)'"
            "\r\nreplot\r\n").encode())
        try:
            M.complete_plot_script(run, d, 'Kestrovanilque_U.gnu', 16)
            raise AssertionError('no end-of-file stop')
        except M.FatalIOError as e:
            eq(e.text, 'end-of-file during read, unit 11, file '
                       'Kestrovanilque_U.gnu')
        eq(run.files['Kestrovanilque_U.gnu'], b'')
    finally:
        shutil.rmtree(d)


@test
def true_error_plot_files():
    run = M.Run.from_values([0.5, 0.25, 0.125], [1.01, 1.0, 0.999],
                            exact=1.0)
    M.run_error_estimation(run)
    M.write_true_error_plot_files(run)
    eh = data_file(run, 'Eh.dat')
    eq(eh[0], '#  log(h)                 log|Eh|')
    eq(eh[1], '  -3.01029995663981E-01  -2.00000000000000E+00')
    eq(len(eh[1]), 46)
    eq(eh[2], '')                           # E(Th)(2) = 0
    eq(len(data_file(run, 'Ei_tri.dat')), 1)
    eq(len(data_file(run, 'Ebi.dat')), 1)
    p2 = data_file(run, 'E_pL_p2.dat')
    eq(p2[0], '#  log(h)                 log|E_pL|              log|E_p2|')
    r = 0.125 / 0.5
    eq(p2[2], rec('(6(1PE23.14))', [math.log10(0.125),
                                    math.log10(abs(r ** 2 * -0.01)),
                                    math.log10(abs(r ** 4 * -0.01))])[0])
    # E(Th)(1) = 0: fallback rows in both reference files
    run = computed([0.5, 0.25, 0.125, 0.0625], [1.0, 0.99, 0.995, 0.997],
                   exact=1.0)
    M.write_true_error_plot_files(run)
    p2 = data_file(run, 'E_pL_p2.dat')
    eq(p2[1], rec('(6(1PE23.14))', [math.log10(0.5), 0.0, 0.0])[0])
    eq(p2[2], rec('(6(1PE23.14))', [math.log10(0.0625),
                                    math.log10(0.125 ** 2),
                                    math.log10(0.125 ** 4)])[0])
    p3 = data_file(run, 'E_p3.dat')
    x = math.pow(0.5 ** 6 * 0.001, 1.0 / 6)
    eq(p3[1:], rec('(6(1PE23.14))', [math.log10(0.5), 0.0])
       + rec('(6(1PE23.14))', [math.log10(x), -3.0]))
    # a zero candidate: fallback of E_p3.dat although E(Th)(1) != 0
    h = [1.0, 0.5, 0.25, 0.125]
    run = computed(h, [1.2, 1.05, 1.0125, 1.003125], exact=1.0)
    eq(run.a['E(Ti_12)'][4], 0.0)
    M.write_true_error_plot_files(run)
    p3 = data_file(run, 'E_p3.dat')
    eq(p3[2].split()[1], '-3.00000000000000E+00')
    # undefined Ti_pU blanks its grid; a large negative E(Tbi_pU) passes
    run = computed(h, [1.0, 1.25, 1.2, 1.19], exact=1.3)
    M.write_true_error_plot_files(run)
    eq(data_file(run, 'Ei_pU.dat')[1], '')
    run = computed([1.0] * 5, [1.0] * 5, exact=1.0)
    run.a['E(Tbi_pU)'][5] = -5.0e11
    run.a['Tbi_pU'][5] = 5.0e11
    M.write_true_error_plot_files(run)
    assert data_file(run, 'Ebi.dat')[1] != ''


@test
def lower_level_candidates():
    eq(M.lower_level([U, 0.5, -0.2, 0.3]), 0.2)
    eq(M.lower_level([U, U]), U)
    eq(M.lower_level([0.1, 0.0, 0.3]), 0.0)


@test
def estimate_reference_files():
    run = M.Run.from_values([0.5, 0.25, 0.125], [1.0, 1.0, 1.0])
    M.run_error_estimation(run)
    run.a['Uri_12'][2] = 0.01
    M.write_estimate_reference_files(run, 1)
    eq(data_file(run, 'U_pL.dat'),
       ['# log(h)      log|E_pL|',
        ' -6.0206E-01 -2.00000000000000E+00',
        ' -9.0309E-01 -2.60205999132796E+00'])
    # one zero candidate (Ud(N) = 0 here): U_p2/U_p3 fall back
    eq(run.a['Ud'][3], 0.0)
    x = math.pow(0.5 ** 4 * 0.001, 0.25)
    eq(data_file(run, 'U_p2.dat')[1:],
       [' -3.0103E-01  0.00000000000000E+00',
        rec('(1PE12.4,11(1PE22.14))', [math.log10(x), -3.0])[0]])
    # U2 = 0: all three files fall back
    run.a['Uri_12'][2] = 0.0
    M.write_estimate_reference_files(run, 2)
    eq(data_file(run, 'U_pL.dat')[1:],
       [' -3.0103E-01  0.00000000000000E+00',
        rec('(1PE12.4,11(1PE22.14))', [math.log10(0.125),
                                       math.log10(0.25 ** 2)])[0]])
    # regular lines
    h = [1.0, 0.5, 0.25, 0.125]
    run = computed(h, [1.0 + x * x + x ** 3 for x in h])
    M.write_estimate_reference_files(run, 2)
    U2 = run.a['Uri_12'][2]
    m = M.lower_level([run.a[k][4] for k in ('Uc_13', 'Uc_12', 'Uri_pU',
                                             'Uri_13', 'Uri_12')] + [U2])
    xx = math.pow(0.5 ** 6 * abs(m / U2), 1.0 / 6)
    eq(data_file(run, 'U_p3.dat')[1:],
       rec('(1PE12.4,11(1PE22.14))', [math.log10(0.5), math.log10(abs(U2))])
       + rec('(1PE12.4,11(1PE22.14))', [math.log10(xx), math.log10(m)]))


# ---------------------------------------------------------------------------
# Whole runs
# ---------------------------------------------------------------------------

def _whole_run(case, exact):
    src = os.path.join(HERE, 'cases', case)
    run, fatal = M.perform_run(src, (16, 12, 2026), (9, 5, 7))
    assert fatal is None
    return run


@test
def stage_order_in_listing():
    run = _whole_run('noexact_ratio2', False)
    heads = [r for k, r in enumerate(run.listing)
             if k > 0 and run.listing[k - 1] == '' and r.startswith('  h ')]
    firsts = [h.split()[1] for h in heads]
    eq(firsts, ['pE(Th)', 'pE(Ti_pU)', 'pE(Tbi_pU)', 'pE(Tc_12)', 'pE(Tc_13)',
                'Th', 'dTh', 'Uri_12(Th)', 'Uri_p(Th)', 'Ud/U12-1',
                'Th(p=2)', 'dTh(p=2)', 'Uri_12(Th(p=2))', 'U12(Th)/U12(Th)'])
    eq(run.launches, ['notepad Kestrovanilque.in', 'notepad main.dat',
                      'wgnuplot Kestrovanilque_pU.gnu',
                      'wgnuplot Kestrovanilque_U.gnu',
                      'wgnuplot Kestrovanilque_U_2.gnu',
                      'notepad listing.txt'])
    assert 'Eh.dat' not in run.files
    run = _whole_run('exact_ratio2', True)
    heads = [r for k, r in enumerate(run.listing)
             if k > 0 and run.listing[k - 1] == '' and r.startswith('  h ')]
    firsts = [h.split()[1] for h in heads]
    eq(firsts, ['pE(Th)', 'pE(Ti_pU)', 'pE(Tbi_pU)', 'pE(Tc_12)', 'pE(Tc_13)',
                'Th', 'dTh', 'E(Th)', 'E(Th)', 'Ud/|Eh|-1', 'Uri_p(Th)',
                'Eh/Ei12', 'Ud/U12-1', 'Th(p=2)', 'dTh(p=2)', 'E(Th(p=2))',
                'Uri_12(Th(p=2))', '(U/E-1)(Th(p=2))', 'E(Th)/E(Th)',
                'U12(Th)/U12(Th)'])
    eq(run.launches[2:], ['wgnuplot Kestrovanilque_pE_pU.gnu',
                          'wgnuplot Kestrovanilque_E.gnu',
                          'wgnuplot Kestrovanilque_E_U.gnu',
                          'wgnuplot Kestrovanilque_E_U_2.gnu',
                          'notepad listing.txt'])


@test
def editor_commands():
    eq(M.editor_command(M.fixed('  list.txt', 50)), 'notepad list.txt')
    eq(M.editor_command(M.fixed("it's here.txt", 50)),
       "notepad 'it'\\''s here.txt'")
    eq(M.editor_command(M.fixed('a' * 50, 50)), 'notepad ' + 'a' * 50)


@test
def golden_cases_reproduce():
    exp_root = os.path.join(HERE, 'expected')
    if not os.path.isdir(exp_root):
        return
    tmp = tempfile.mkdtemp()
    try:
        for case in sorted(os.listdir(os.path.join(HERE, 'cases'))):
            out = os.path.join(tmp, case)
            subprocess.run([sys.executable, os.path.join(HERE, 'model.py'),
                            os.path.join(HERE, 'cases', case), out,
                            '--date', '16/12/2026', '--time', '9:5:7'],
                           stderr=subprocess.DEVNULL)
            exp = os.path.join(exp_root, case)
            eq(sorted(os.listdir(out)), sorted(os.listdir(exp)), case)
            for name in os.listdir(exp):
                with open(os.path.join(out, name), 'rb') as f1, \
                        open(os.path.join(exp, name), 'rb') as f2:
                    eq(f1.read() == f2.read(), True, case + '/' + name)
    finally:
        shutil.rmtree(tmp)


def main():
    passed = failed = 0
    for fn in TESTS:
        try:
            fn()
            passed += 1
        except Exception:
            failed += 1
            print('FAIL %s' % fn.__name__)
            traceback.print_exc()
    print('%d passed, %d failed' % (passed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
