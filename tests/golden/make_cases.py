#!/usr/bin/env python3
# -*- coding: utf-8 -*-
"""Writes the input folders of the reference cases under cases/.

Each case folder holds what the program finds in its working directory:
"Kestrovanilque.in", the main data file, the grid files, the exact-solution
file and the seven prepared plot scripts.  Values are written with repr(),
so the doubles read back are exactly the doubles computed here.

    python3 make_cases.py            # (re)writes every case folder
"""

import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
CASES = os.path.join(HERE, 'cases')

KEPT = {
    'Kestrovanilque_pE_pU.gnu': 20,
    'Kestrovanilque_pU.gnu': 15,
    'Kestrovanilque_E.gnu': 19,
    'Kestrovanilque_E_U.gnu': 19,
    'Kestrovanilque_U.gnu': 16,
    'Kestrovanilque_E_U_2.gnu': 20,
    'Kestrovanilque_U_2.gnu': 15,
}

PLOTTED = {
    'Kestrovanilque_pE_pU.gnu': ("'pL.dat' w l, 'p2.dat' w l, 'p3.dat' w l, "
                                 "'pE_h.dat' w lp, 'pU_h.dat' w lp"),
    'Kestrovanilque_pU.gnu': ("'pL.dat' w l, 'p2.dat' w l, 'pU_h.dat' w lp, "
                              "'pU_i.dat' w lp"),
    'Kestrovanilque_E.gnu': ("'Eh.dat' w lp, 'Ei_12.dat' w lp, "
                             "'E_pL_p2.dat' u 1:2 w l, 'E_p3.dat' w l"),
    'Kestrovanilque_E_U.gnu': ("'Eh.dat' w lp, 'U_12.dat' u 1:3 w lp, "
                               "'U_pL.dat' w l, 'U_p2.dat' w l"),
    'Kestrovanilque_U.gnu': ("'U_12.dat' u 1:2 w lp, 'U_12.dat' u 1:3 w lp, "
                             "'U_pL.dat' w l, 'U_p3.dat' w l"),
    'Kestrovanilque_E_U_2.gnu': ("'Eh.dat' w lp, 'Uc_12.dat' w lp, "
                                 "'U_pL.dat' w l, 'U_p2.dat' w l"),
    'Kestrovanilque_U_2.gnu': ("'Uc_12.dat' w lp, 'Uc_13.dat' w lp, "
                               "'U_pL.dat' w l, 'U_p3.dat' w l"),
}


def script_lines(name):
    """K placeholder lines of gnuplot commands for one prepared script."""
    k = KEPT[name]
    lines = [
        '# %s: prepared plot commands (test placeholder)' % name,
        'set terminal dumb 120 40',
        'set key left top',
        "set xlabel 'log10(h)'",
        "set ylabel 'value'",
        'set grid',
        'plot ' + PLOTTED[name],
    ]
    n = len(lines)
    while len(lines) < k:
        lines.append('# prepared line %d of %d' % (len(lines) + 1, k))
    assert len(lines) == k and n <= k
    return lines


def write_bytes(folder, name, data):
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def write_text(folder, name, lines, eol='\r\n'):
    write_bytes(folder, name,
                ''.join(l + eol for l in lines).encode('latin-1'))


def write_scripts(folder, extra=None, eol='\r\n'):
    """The seven scripts with exactly K lines; extra maps a script name to
    'long' (two stale lines after line K) or 'open-end' (line K without its
    line end)."""
    extra = extra or {}
    for name in KEPT:
        lines = script_lines(name)
        mode = extra.get(name)
        if mode == 'long':
            lines = lines + ["set title 'an earlier run (1/1/2000)'",
                             'replot', '# stale line']
            write_text(folder, name, lines, eol)
        elif mode == 'open-end':
            data = ''.join(l + eol for l in lines[:-1]) + lines[-1]
            write_bytes(folder, name, data.encode('latin-1'))
        elif mode == 'short':
            write_text(folder, name, lines[:-3], eol)
        elif mode == 'missing':
            pass
        else:
            write_text(folder, name, lines, eol)


def write_case(name, *, hs, values, exact=None, variable=2, nvars=3,
               pL=2, deltaP=2, Fs=3.0, rtype=1, maxit=100, tol=1.0e-10,
               pumin=0.1, pumax=10.0, title="'Test case'", main='main.dat',
               listing='listing.txt', grid_names=None, scripts=None,
               eol='\r\n', gridcount=None):
    folder = os.path.join(CASES, name)
    if os.path.isdir(folder):
        shutil.rmtree(folder)
    os.makedirs(folder)
    write_text(folder, 'Kestrovanilque.in',
               [main + '          main data file of the run'])
    n = len(hs) if gridcount is None else gridcount
    if grid_names is None:
        grid_names = ['g%02d.dat' % (i + 1) for i in range(len(hs))]
    has_exact = 1 if exact is not None else 0
    lines = [
        '%-12d variableNumber: variable analysed in the grid files' % variable,
        '%-12s listing file' % listing,
        '%-12d hasExactSolution: 1 = yes, 0 = no' % has_exact,
        '%-12s exact-solution file' % 'exact.dat',
        '%-12d pL: asymptotic order' % pL,
        '%-12d deltaP: step between true orders' % deltaP,
        '%-12r Fs: safety factor' % Fs,
        '%-12d refinementType: 1 constant, 2 variable' % rtype,
        '%-12d maxIterations' % maxit,
        '%-12r tolerance' % tol,
        '%-12r pUMin' % pumin,
        '%-12r pUMax' % pumax,
        '%-12d gridCount' % n,
    ]
    for g in grid_names[:n]:
        lines.append('%-12s grid file, coarsest first' % g)
    lines.append(title + '   title of the run')
    lines.append('this record after the title is never read')
    write_text(folder, main, lines)
    if exact is not None:
        ex = []
        for v in range(1, nvars + 1):
            val = exact if v == variable else 1000.0 + v
            ex.append('%d  %r    variable %d' % (v, val, v))
        write_text(folder, 'exact.dat', ex)
    for i, h in enumerate(hs):
        rec = ['%r    h' % h]
        for v in range(1, nvars + 1):
            val = values[i] if v == variable else 10.0 * v + h
            rec.append('%d  %r    variable %d' % (v, val, v))
        fname = grid_names[i].strip().strip("'").strip()
        write_text(folder, fname, rec)
    write_scripts(folder, scripts, eol)
    return folder


def manufactured(h, pL=2, dP=2):
    # T + C1 h^pL + C2 h^(pL+dP) + a small third term
    return 1.0 + 0.5 * h ** pL - 0.25 * h ** (pL + dP) + 0.01 * h ** (pL + 2 * dP)


def oscillating_values():
    """Ten grids, ratio 2; the differences of Th change sign at grids 4 and
    7 (no pU(Th) there), and the extrapolated series Ti_pU turns back at
    grid 10 (no pU(Ti_pU) there although pU(Th) exists)."""
    hs = [1.0 / 2 ** k for k in range(10)]
    steps = [-0.3, -0.08, 0.02, 0.005, 0.0012, -0.0003, -0.00007, -0.000018,
             -0.0000045]
    vals = [1.4]
    for d in steps:
        vals.append(float('%.12g' % (vals[-1] + d)))
    return hs, vals


def main():
    os.makedirs(CASES, exist_ok=True)

    # (a) manufactured solution, ratio 2, exact value known
    hs = [1.0 / 2 ** k for k in range(6)]
    write_case('exact_ratio2', hs=hs, values=[manufactured(h) for h in hs],
               exact=1.0, title="'Manufactured solution, ratio 2'",
               scripts={'Kestrovanilque_pE_pU.gnu': 'long'})

    # (b) the same without the exact value
    write_case('noexact_ratio2', hs=hs, values=[manufactured(h) for h in hs],
               exact=None, title="'Manufactured solution, no exact value'",
               scripts={'Kestrovanilque_U.gnu': 'open-end',
                        'Kestrovanilque_U_2.gnu': 'long'})

    # (c) variable refinement ratio, bisection for pU
    hs = [1.0, 0.6, 0.4, 0.25, 0.16, 0.1, 0.07, 0.05]
    vals = [2.0 + 0.3 * h ** 2 - 0.1 * h ** 3 + 0.02 * h ** 4 for h in hs]
    write_case('variable_ratio', hs=hs, values=vals, exact=2.0, pL=2,
               deltaP=1, rtype=2, maxit=100, tol=1.0e-10, pumin=0.1,
               pumax=10.0, Fs=1.25, title="'Variable ratio, bisection'",
               eol='\n', scripts={'Kestrovanilque_E.gnu': 'open-end'})

    # (d) oscillating values
    hs, vals = oscillating_values()
    write_case('oscillating', hs=hs, values=vals, exact=1.045806,
               title="'Oscillating convergence'", variable=1, nvars=2)

    # (e) 35 grids
    hs = [1.1 ** -k for k in range(35)]
    vals = [3.0 - 0.2 * h ** 2 + 0.05 * h ** 3 - 0.01 * h ** 4 for h in hs]
    write_case('n35', hs=hs, values=vals, exact=3.0, pL=2, deltaP=1,
               title="'Thirty-five grids, ratio 1.1'")

    # (f) small grid counts
    write_case('n0', hs=[], values=[], exact=1.0, title="'No grid at all'")
    write_case('n1', hs=[0.5], values=[1.01], exact=1.0,
               title="'One grid'")
    write_case('n2', hs=[0.5, 0.25], values=[1.2, 1.05], exact=1.0,
               title="'Two grids'", grid_names=["'  g01.dat'", 'g02.dat'])
    write_case('n3', hs=[0.25, 0.125, 0.0625], values=[2.25, 2.0625, 2.015625],
               exact=None, title="'Three grids, Joe''s case'", pL=1, deltaP=1)

    # (g) E(Th)(1) = 0 and zero candidates of the lower level
    hs = [0.4, 0.2, 0.1, 0.05, 0.025, 0.0125]
    vals = [1.0, 0.97, 0.975, 0.9738, 0.9735, 0.9735]
    write_case('eth1_zero', hs=hs, values=vals, exact=1.0, Fs=1.25,
               title="'Zero error on the coarsest grid'")

    # a grid coarser than its predecessor (h(6) > h(5)): pU(Ti_pU) exists
    # where Ti_pU does not, so Tbi_pU is defined on a grid without Ti_pU
    hs = [1.0, 0.5, 0.25, 0.125, 0.0625, 0.1, 0.05, 0.025]
    vals = [1.0 + 0.5 * h * h - 0.3 * h ** 3 for h in hs]
    write_case('coarsening', hs=hs, values=vals, exact=1.0,
               title="'A coarser grid in the middle'", pL=2, deltaP=1)

    # fatal stops: a prepared script shorter than its kept lines, and a
    # missing one (created empty by the open)
    hs = [0.5, 0.25, 0.125, 0.0625]
    vals = [1.0 + h * h for h in hs]
    write_case('short_script', hs=hs, values=vals, exact=1.0,
               title="'Short true-error script'",
               scripts={'Kestrovanilque_E.gnu': 'short'})
    write_case('missing_script', hs=hs, values=vals, exact=None,
               title="'Missing second estimate script'",
               scripts={'Kestrovanilque_U_2.gnu': 'missing'})


if __name__ == '__main__':
    main()
