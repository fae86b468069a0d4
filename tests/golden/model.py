#!/usr/bin/env python3
# -*- coding: utf-8 -*-
"""Independent reference model of one kestrovanilque run.

Usage:
    python3 model.py CASE_DIR OUT_DIR --date D/M/YYYY --time H:M:S

CASE_DIR holds the files the program finds in its working directory
("Kestrovanilque.in", the main data file it names, the grid files, the
exact-solution file and the seven prepared "Kestrovanilque_*.gnu" scripts).
The model writes into OUT_DIR every file the run writes or changes: the
listing, every plot data file, every completed plot script, plus
"launches.txt" (the external commands the run starts, in order).

Every text file is Latin-1 with CR LF record ends.  Numbers follow IEEE
doubles exactly: every division, logarithm and power goes through a helper
that returns the IEEE result instead of raising.

Layout of this file:
  1. IEEE arithmetic helpers
  2. formatted-record writer (a small interpreter of the edit descriptors)
  3. list-directed reader of the input files
  4. run state
  5. input stage, listing head and input echo
  6. computation (apparent orders, extrapolations, true errors, effective
     orders, estimators, level table)
  7. output stages, in run order
  8. plot scripts, launches, driver
"""

import math
from decimal import Decimal, localcontext
import os
import re
import sys

UNDEF = 1.0e11          # marker of a per-grid real that cannot be formed
LIMIT = 1.0e10          # a value above it counts as undefined
INF = float('inf')
NAN = float('nan')

START_FILE = 'Kestrovanilque.in'


# ---------------------------------------------------------------------------
# 1. IEEE arithmetic helpers
# ---------------------------------------------------------------------------

def fdiv(a, b):
    """a / b with the IEEE result for a zero divisor."""
    try:
        return a / b
    except ZeroDivisionError:
        if a != a or a == 0.0:
            return NAN
        sign = math.copysign(1.0, a) * math.copysign(1.0, b)
        return math.copysign(INF, sign)


def _correctly_rounded(compute):
    """The double nearest to an exact result: log10 and pow are correctly rounded, as the
    program computes them (60 significant digits, then one rounding to binary)."""
    with localcontext() as context:
        context.prec = 60
        context.Emax = 10 ** 6
        context.Emin = -10 ** 6
        return float(compute())


def flog10(x):
    """Base-10 logarithm with the C library results at the domain edges."""
    if x != x:
        return NAN
    if x == 0.0:
        return -INF
    if x < 0.0:
        return NAN
    if x == INF:
        return INF
    return _correctly_rounded(lambda: Decimal(x).log10())


def _is_odd_integer(y):
    return math.isfinite(y) and y == math.floor(y) and math.fmod(y, 2.0) != 0.0


def fpow(x, y):
    """Real power (C pow) with IEEE results instead of exceptions."""
    if x > 0.0 and x != 1.0 and y != 0.0 and math.isfinite(x) and math.isfinite(y):
        r = _correctly_rounded(lambda: Decimal(x) ** Decimal(y))
        if not math.isinf(r):
            return r
    try:
        return math.pow(x, y)
    except OverflowError:
        if x < 0.0 and _is_odd_integer(y):
            return -INF
        return INF
    except ValueError:
        if x == 0.0:                      # zero to a negative power
            if math.copysign(1.0, x) < 0.0 and _is_odd_integer(y):
                return -INF
            return INF
        return NAN                        # negative base, non-integer power


def ipow(x, n):
    """Integer power by repeated squaring (exponent built from pL, deltaP)."""
    p = 1.0
    if n != 0:
        if n < 0:
            u = -n
            x = fdiv(1.0, x)
        else:
            u = n
        while True:
            if u & 1:
                p = p * x
            u >>= 1
            if u:
                x = x * x
            else:
                break
    return p


def wrap32(n):
    """32-bit signed wrap-around of an integer result."""
    n &= 0xFFFFFFFF
    return n - 0x100000000 if n >= 0x80000000 else n


def defined(x):
    """Listing and file tests: strictly below the limit."""
    return x < LIMIT


def undefined(x):
    """Listing tests: strictly above the limit."""
    return x > LIMIT


# ---------------------------------------------------------------------------
# 2. Formatted-record writer
# ---------------------------------------------------------------------------

def render_e(x, w, d):
    """1PEw.d rendering of a real."""
    if x != x:
        return (' NaN').ljust(w) if w >= 4 else '*' * w
    if x in (INF, -INF):
        t = ' Infinity' if x > 0 else ' -Infinity'
        return t.ljust(w) if w >= len(t) else '*' * w
    if x == 0.0:
        text = '0.' + '0' * d + 'E+00'
    else:
        s = '%.*e' % (d, abs(x))
        mant, ex = s.split('e')
        ex = int(ex)
        if abs(ex) <= 99:
            exf = 'E%s%02d' % ('-' if ex < 0 else '+', abs(ex))
        elif abs(ex) <= 999:
            exf = '%s%03d' % ('-' if ex < 0 else '+', abs(ex))
        else:
            return '*' * w
        text = ('-' if x < 0 else '') + mant + exf
    if len(text) > w:
        return '*' * w
    return text.rjust(w)


def render_i(n, w):
    """Iw rendering of an integer."""
    t = str(int(n))
    if len(t) > w:
        return '*' * w
    return t.rjust(w)


def render_a(s, w):
    """Aw (w given) or A (w None) rendering of a text item."""
    if w is None:
        return s
    if len(s) < w:
        return s.rjust(w)
    return s[:w]


_FORMAT_CACHE = {}


def parse_format(fmt):
    """Parse "(desc,desc,...)" into a node list.

    Nodes: ('L', text)  ('X', n)  ('T', n)  ('/',)  ('P', k)
           ('E', w, d)  ('I', w)  ('A', w or None)  ('G', repeat, nodes)
    """
    if fmt in _FORMAT_CACHE:
        return _FORMAT_CACHE[fmt]
    s = fmt.strip()
    if not (s.startswith('(') and s.endswith(')')):
        raise ValueError('format must be parenthesised: %r' % fmt)
    nodes, i = _parse_list(s, 1)
    if i != len(s):
        raise ValueError('trailing text in format: %r' % fmt)
    _FORMAT_CACHE[fmt] = nodes
    return nodes


def _parse_number(s, i):
    m = re.match(r'\d+', s[i:])
    if not m:
        return None, i
    return int(m.group(0)), i + len(m.group(0))


def _parse_data(s, i):
    """Parse an E, I or A descriptor at s[i]; return (node, next index)."""
    c = s[i].upper()
    i += 1
    if c == 'E':
        w, i = _parse_number(s, i)
        if s[i] != '.':
            raise ValueError('E descriptor needs .d')
        dd, i = _parse_number(s, i + 1)
        return ('E', w, dd), i
    if c == 'I':
        w, i = _parse_number(s, i)
        return ('I', w), i
    if c == 'A':
        w, i = _parse_number(s, i)
        return ('A', w), i
    raise ValueError('unknown descriptor %r' % c)


def _parse_list(s, i):
    nodes = []
    while True:
        while s[i] == ' ':
            i += 1
        c = s[i]
        if c == ')':
            return nodes, i + 1
        if c == ',':
            i += 1
            continue
        if c == '/':
            nodes.append(('/',))
            i += 1
            continue
        if c == "'":
            j = i + 1
            text = []
            while True:
                if s[j] == "'":
                    if j + 1 < len(s) and s[j + 1] == "'":
                        text.append("'")
                        j += 2
                        continue
                    break
                text.append(s[j])
                j += 1
            nodes.append(('L', ''.join(text)))
            i = j + 1
            continue
        if c.upper() == 'T' and s[i + 1].isdigit():
            n, i = _parse_number(s, i + 1)
            nodes.append(('T', n))
            continue
        n, j = _parse_number(s, i)
        if n is not None:
            c2 = s[j].upper()
            if c2 == '(':
                sub, i = _parse_list(s, j + 1)
                nodes.append(('G', n, sub))
            elif c2 == 'P':
                nodes.append(('P', n))
                i = j + 1          # no comma needed after kP
            elif c2 == 'X':
                nodes.append(('X', n))
                i = j + 1
            else:
                node, i = _parse_data(s, j)
                nodes.append(('G', n, [node]) if n != 1 else node)
            continue
        if c == '(':
            sub, i = _parse_list(s, i + 1)
            nodes.append(('G', 1, sub))
            continue
        if c.upper() == 'X':
            nodes.append(('X', 1))
            i += 1
            continue
        node, i = _parse_data(s, i)
        nodes.append(node)


class _StopWrite(Exception):
    pass


class _RecordBuilder:
    def __init__(self, items):
        self.items = list(items)
        self.next_item = 0
        self.records = []
        self.buf = []
        self.pos = 0
        self.used = 0

    def remaining(self):
        return len(self.items) - self.next_item

    def put(self, text):
        end = self.pos + len(text)
        if end > len(self.buf):
            self.buf.extend(' ' * (end - len(self.buf)))
        self.buf[self.pos:end] = list(text)
        self.pos = end

    def end_record(self):
        self.records.append(''.join(self.buf))
        self.buf = []
        self.pos = 0

    def take(self):
        if self.next_item >= len(self.items):
            raise _StopWrite()
        v = self.items[self.next_item]
        self.next_item += 1
        self.used += 1
        return v

    def run(self, nodes):
        for node in nodes:
            kind = node[0]
            if kind == 'L':
                self.put(node[1])
            elif kind == 'X':
                self.pos += node[1]
            elif kind == 'T':
                self.pos = node[1] - 1
            elif kind == '/':
                self.end_record()
            elif kind == 'P':
                pass               # every format uses 1P; E fields assume it
            elif kind == 'G':
                for _ in range(node[1]):
                    self.run(node[2])
            elif kind == 'E':
                v = self.take()
                if not isinstance(v, float):
                    raise TypeError('E field needs a real, got %r' % (v,))
                self.put(render_e(v, node[1], node[2]))
            elif kind == 'I':
                v = self.take()
                if not isinstance(v, int) or isinstance(v, bool):
                    raise TypeError('I field needs an integer, got %r' % (v,))
                self.put(render_i(v, node[1]))
            elif kind == 'A':
                v = self.take()
                if not isinstance(v, str):
                    raise TypeError('A field needs a text, got %r' % (v,))
                self.put(render_a(v, node[1]))
            else:
                raise ValueError(node)


def format_records(fmt, items=()):
    """Records produced by one formatted write statement."""
    nodes = parse_format(fmt)
    rev = 0
    for k, node in enumerate(nodes):
        if node[0] == 'G':
            rev = k                # reversion restarts at the last outer group
    b = _RecordBuilder(items)
    start = 0
    try:
        while True:
            before = b.used
            b.run(nodes[start:])
            if b.remaining() == 0:
                break
            if b.used == before:
                raise ValueError('format without data descriptor: %r' % fmt)
            b.end_record()
            start = rev
    except _StopWrite:
        pass
    b.end_record()
    return b.records


# ---------------------------------------------------------------------------
# 3. List-directed reader of the input files
# ---------------------------------------------------------------------------

class FatalIOError(Exception):
    """A fatal run-time I/O error: one line on stderr, process ends."""

    def __init__(self, number, text):
        Exception.__init__(self, text)
        self.number = number
        self.text = text


def eof_error(unit, name):
    return FatalIOError(24, 'end-of-file during read, unit %d, file %s'
                        % (unit, name))


def split_records(data):
    """Records of a text file: LF ends a record (a CR before it is dropped);
    trailing bytes without a line end form a last record."""
    text = data.decode('latin-1')
    if text == '':
        return []
    recs = text.split('\n')
    if text.endswith('\n'):
        recs.pop()
    return [r[:-1] if r.endswith('\r') else r for r in recs]


_REAL_RE = re.compile(r'^[+-]?(\d+\.?\d*|\.\d+)([eEdD][+-]?\d+)?$')
_INT_RE = re.compile(r'^[+-]?\d+$')


class ListReader:
    """Sequential list-directed reads from one file on unit 7."""

    def __init__(self, name, data, unit=7):
        self.name = name
        self.unit = unit
        self.recs = split_records(data)
        self.next_rec = 0

    def _eof(self):
        return eof_error(self.unit, self.name)

    def _conv(self):
        return FatalIOError(59, 'list-directed I/O syntax error, unit %d, '
                                'file %s' % (self.unit, self.name))

    def read(self, kinds):
        """One read statement; kinds holds 'int', 'real' or ('text', n).
        Returns a list of values, None where the variable keeps its value."""
        out = [None] * len(kinds)
        cur = self.next_rec
        if cur >= len(self.recs):
            raise self._eof()
        rec = self.recs[cur]
        p = 0
        after_value = False
        k = 0
        while k < len(kinds):
            while True:
                while p < len(rec) and rec[p] in ' \t':
                    p += 1
                if p >= len(rec):
                    cur += 1
                    if cur >= len(self.recs):
                        raise self._eof()
                    rec = self.recs[cur]
                    p = 0
                    continue
                break
            c = rec[p]
            if c == ',':
                p += 1
                if after_value:
                    after_value = False
                    continue
                k += 1                     # null value: variable unchanged
                continue
            if c == '/':
                break                      # slash ends the read
            kind = kinds[k]
            if isinstance(kind, tuple) and c in '\'"':
                delim = c
                p += 1
                val = []
                while True:
                    if p >= len(rec):
                        cur += 1
                        if cur >= len(self.recs):
                            raise self._eof()
                        rec = self.recs[cur]
                        p = 0
                        continue
                    if rec[p] == delim:
                        if p + 1 < len(rec) and rec[p + 1] == delim:
                            val.append(delim)
                            p += 2
                            continue
                        p += 1
                        break
                    val.append(rec[p])
                    p += 1
                token = ''.join(val)
            else:
                q = p
                while q < len(rec) and rec[q] not in ' \t,/':
                    q += 1
                token = rec[p:q]
                p = q
            if isinstance(kind, tuple):
                n = kind[1]
                out[k] = token[:n].ljust(n)
            elif kind == 'int':
                if not _INT_RE.match(token):
                    raise self._conv()
                out[k] = wrap32(int(token))
            else:
                if not _REAL_RE.match(token):
                    raise self._conv()
                out[k] = float(token.replace('d', 'e').replace('D', 'e'))
            after_value = True
            k += 1
        self.next_rec = cur + 1
        return out


# ---------------------------------------------------------------------------
# 4. Run state
# ---------------------------------------------------------------------------

def fixed(s, n):
    """A textN value: cut to n characters or blank-padded to n."""
    return s[:n].ljust(n)


def adjusted(s):
    """Left-adjusted and trimmed: leading blanks moved to the end, then
    trailing blanks removed."""
    return s.strip(' ')


PER_GRID_REALS = [
    'Ti_12', 'Ti_13', 'Ti_23', 'Ti_pU', 'Ti_bi', 'Ti_tri', 'Tc_12', 'Tc_13',
    'Tbi_pU',
    'E(Th)', 'E(Ti_12)', 'E(Ti_13)', 'E(Ti_23)', 'E(Ti_pU)', 'E(Ti_bi)',
    'E(Ti_tri)', 'E(Tc_12)', 'E(Tc_13)', 'E(Tbi_pU)',
    'pE(Th)', 'pE(Ti_pU)', 'pE(Tc_12)', 'pE(Tc_13)', 'pE(Tbi_pU)',
    'pU(Th)', 'pU(Ti_pU)', 'pU(Tc_12)', 'pU(Tc_13)', 'pU(Tbi_pU)',
    'Ud', 'Uri_12', 'Uri_13', 'Uri_23', 'Uri_pU', 'Uri_p', 'Uri_bi',
    'Uri_tri', 'Uc_12', 'Uc_13', 'GCI_pL', 'GCI_p',
]
PER_GRID_INTS = ['it_pU(Th)', 'it_pU(Ti_pU)', 'it_pU(Tc_12)', 'it_pU(Tc_13)',
                 'it_pU(Tbi_pU)']


class Run:
    """Run parameters, per-grid arrays and everything the run writes."""

    def __init__(self):
        # run parameters (all zero / blank before the input is read)
        self.mainDataFile = ' ' * 50
        self.variableNumber = 0
        self.listingFile = ' ' * 50
        self.hasExactSolution = 0
        self.exactSolutionFile = ' ' * 50
        self.pL = 0
        self.deltaP = 0
        self.Fs = 0.0
        self.refinementType = 0
        self.maxIterations = 0
        self.tolerance = 0.0
        self.pUMin = 0.0
        self.pUMax = 0.0
        self.gridCount = 0
        self.title = ' ' * 90
        self.exactValue = 0.0
        self.runDate = ' ' * 12
        self.runTime = ' ' * 8
        self.plotTitle = ' ' * 102
        self.N = 0
        # output state
        self.files = {}          # name -> list of records, or bytes
        self.file_order = []
        self.listing = None      # list of records once the listing is open
        self.launches = []
        self.current = None      # records of the file open on unit 11

    @classmethod
    def from_values(cls, h, Th, exact=None, **params):
        """A run whose input is given directly (used by the self-tests):
        h and Th for grids 1..N, the exact value or None, and any run
        parameter by name (defaults: pL = 2, deltaP = 2, Fs = 3,
        refinementType = 1)."""
        run = cls()
        run.pL, run.deltaP, run.Fs, run.refinementType = 2, 2, 3.0, 1
        for k, v in params.items():
            setattr(run, k, v)
        run.gridCount = len(h)
        if exact is not None:
            run.hasExactSolution = 1
            run.exactValue = exact
        run.allocate()
        for i in range(len(h)):
            run.h[i + 1] = h[i]
            run.Th[i + 1] = Th[i]
        run.listing = []
        return run

    # -- arrays --------------------------------------------------------------
    def allocate(self):
        n = max(self.gridCount, 0)
        self.N = n
        # index 0 unused; grid i is index i
        self.h = [0.0] * (n + 1)
        self.Th = [0.0] * (n + 1)
        self.gridFile = [' ' * 50] * (n + 1)
        self.a = {}
        for name in PER_GRID_REALS:
            self.a[name] = [UNDEF] * (n + 1)
        for name in PER_GRID_INTS:
            self.a[name] = [0] * (n + 1)
        self.a['h'] = self.h
        self.a['Th'] = self.Th
        cols = max(n - 1, 0)
        self.T_i = [[UNDEF] * (cols + 1) for _ in range(n + 1)]
        self.U12_T = [[UNDEF] * (cols + 1) for _ in range(n + 1)]

    def pV(self, m):
        """True order of level m (the formula holds for every m)."""
        return wrap32(self.pL + wrap32((m - 1) * self.deltaP))

    def pV_text(self, m):
        return format_records('(I2)', [self.pV(m)])[0]

    def r21(self, i):
        return fdiv(self.h[i - 1], self.h[i])

    def r32(self, i):
        return fdiv(self.h[i - 2], self.h[i - 1])

    # -- writing -------------------------------------------------------------
    def lst(self, fmt, items=()):
        """Append the records of one write statement to the listing."""
        self.listing.extend(format_records(fmt, items))

    def open11(self, name):
        recs = []
        self.current = recs
        self.files[name] = recs
        if name not in self.file_order:
            self.file_order.append(name)
        else:
            self.file_order.remove(name)
            self.file_order.append(name)

    def w11(self, fmt, items=()):
        self.current.extend(format_records(fmt, items))

    def close11(self):
        self.current = None

    def launch(self, command):
        self.launches.append(command)


# ---------------------------------------------------------------------------
# 5. Input stage, listing head and input echo
# ---------------------------------------------------------------------------

_SHELL_SAFE = set('ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz'
                  '0123456789_./:@%+,=-')


def shell_word(name):
    """The name as the POSIX shell must see it."""
    if all(c in _SHELL_SAFE or ord(c) >= 0x80 for c in name):
        return name
    return "'" + name.replace("'", "'\\''") + "'"


def editor_command(name):
    """"notepad " + name left-adjusted and trimmed, in a 90-character field
    (the name part cut at 82 characters), trailing blanks dropped."""
    part = adjusted(name)[:82]
    return ('notepad ' + shell_word(part)).rstrip(' ')


def _read_file(run, case_dir, name, unit=7):
    """Open by name with open-or-create: a missing file is created empty."""
    path = os.path.join(case_dir, name)
    if os.path.isfile(path):
        with open(path, 'rb') as f:
            return f.read()
    run.files[name] = b''
    run.file_order.append(name)
    return b''


def read_input(run, case_dir):
    run.launch('notepad ' + START_FILE)
    rd = ListReader(START_FILE, _read_file(run, case_dir, START_FILE))
    v = rd.read([('text', 50)])
    if v[0] is not None:
        run.mainDataFile = v[0]

    run.launch(editor_command(run.mainDataFile))
    name = adjusted(run.mainDataFile)
    rd = ListReader(name, _read_file(run, case_dir, name))

    def one(kind, attr):
        val = rd.read([kind])[0]
        if val is not None:
            setattr(run, attr, val)

    one('int', 'variableNumber')
    one(('text', 50), 'listingFile')
    one('int', 'hasExactSolution')
    one(('text', 50), 'exactSolutionFile')
    one('int', 'pL')
    one('int', 'deltaP')
    one('real', 'Fs')
    one('int', 'refinementType')
    one('int', 'maxIterations')
    one('real', 'tolerance')
    one('real', 'pUMin')
    one('real', 'pUMax')
    one('int', 'gridCount')
    run.allocate()
    for i in range(1, run.N + 1):
        val = rd.read([('text', 50)])[0]
        if val is not None:
            run.gridFile[i] = val
    one(('text', 90), 'title')

    if run.hasExactSolution == 1:
        name = adjusted(run.exactSolutionFile)
        rd = ListReader(name, _read_file(run, case_dir, name))
        for _ in range(run.variableNumber):
            vals = rd.read(['int', 'real'])
            if vals[1] is not None:
                run.exactValue = vals[1]

    for i in range(1, run.N + 1):
        name = adjusted(run.gridFile[i])
        rd = ListReader(name, _read_file(run, case_dir, name))
        val = rd.read(['real'])[0]
        if val is not None:
            run.h[i] = val
        for _ in range(run.variableNumber):
            vals = rd.read(['int', 'real'])
            if vals[1] is not None:
                run.Th[i] = vals[1]


def build_run_stamp(run, day, month, year, hour, minute, second):
    d = str(day)[:2]
    mo = str(month)[:2]
    y = str(year)[:4]
    hh = str(hour)[:2]
    mi = str(minute)[:2]
    ss = str(second)[:4]
    run.runDate = fixed('(' + d + '/' + mo + '/' + y + ')', 12)
    run.runTime = fixed(hh + ':' + mi + ':' + ss, 8)


def build_plot_title(run):
    run.plotTitle = fixed(run.title.rstrip(' ') + ' '
                          + run.runDate.rstrip(' ') + "'", 102)


ECHO_FORMAT = (
    "(/,3X,'título = ',A,/,/,3X,'Dia = ',A12,5X,'Hora = ',A8,/,/,I4,19X,"
    "' = número da variável, nos arquivos de resultados, a analisar',/,/,"
    "'nome do arquivo de dados principal = ',A,/,I4,19X,"
    "' = com solução analítica?   1 = sim;   0 = não',/,"
    "'nome do arquivo da solução analítica exata = ',A,/,1PE23.14,"
    "' = solução analítica exata',/,/,I4,19X,"
    "' = ordem assintótica do erro verdadeiro',/,I4,19X,"
    "' = variação entre as ordens verdadeiras do erro verdadeiro',/,/,I4,19X,"
    "' = número de malhas',/,/,I4,19X,"
    "' = tipo de refino de malha (r): 1=constante; 2=variável',/,I4,19X,"
    "' = número máximo de iterações para obter pU com r variável',/,1PE23.14,"
    "' = tolerância na obtenção de pU com r variável',/,1PE23.14,"
    "' = limite inferior de pU (r variável)',/,1PE23.14,"
    "' = limite superior de pU (r variável)')")


def write_input_echo(run):
    run.lst(ECHO_FORMAT, [
        adjusted(run.title), run.runDate, run.runTime, run.variableNumber,
        run.mainDataFile, run.hasExactSolution,
        adjusted(run.exactSolutionFile), run.exactValue, run.pL, run.deltaP,
        run.gridCount, run.refinementType, run.maxIterations, run.tolerance,
        run.pUMin, run.pUMax])
    run.lst("(/,T4,'h',T27,'log10(h)',T40,'r21',"
            "T53,'arquivos com resultados numéricos:')")
    for i in range(1, run.N + 1):
        if i == 1:
            run.lst('(1PE23.14,1PE13.4,16X,A)',
                    [run.h[1], flog10(run.h[1]), adjusted(run.gridFile[1])])
        else:
            run.lst('(1PE23.14,2(1PE13.4),3X,A)',
                    [run.h[i], flog10(run.h[i]), run.r21(i),
                     adjusted(run.gridFile[i])])


# ---------------------------------------------------------------------------
# 6. Computation
# ---------------------------------------------------------------------------

def solve_variable_ratio_order(run, p_low, p_high, r21, r32, q, pu, it, i):
    """Bisection for F(p) = 0; writes pu[i] (every iteration) and it[i]."""
    l21 = flog10(r21)

    def F(p):
        arg = fdiv((fpow(r21, p) - 1.0) * q, fpow(r32, p) - 1.0)
        return p * l21 - flog10(arg)

    lo = p_low
    hi = p_high
    k = 1
    while k <= run.maxIterations:
        mid = (lo + hi) * 0.5
        pu[i] = mid
        flo = F(lo)
        fmid = F(mid)
        if flo * fmid > 0.0:
            lo = mid
            k += 1
            continue
        it[i] = k
        if hi - lo <= run.tolerance:
            break
        hi = mid
        k += 1
    if k == run.maxIterations or k == run.maxIterations + 1:
        pu[i] = UNDEF


def apparent_order(run, x, i0, pu, it):
    n = run.N
    for i in range(1, n + 1):
        pu[i] = UNDEF
        it[i] = 0
    if n < i0:
        return
    for i in range(i0, n + 1):
        d = x[i] - x[i - 1]
        if d == 0.0:
            q = 0.0
        else:
            q = fdiv(x[i - 1] - x[i - 2], d)
        if run.refinementType == 1 and q > 0.0:
            pu[i] = fdiv(flog10(q), flog10(run.r21(i)))
        elif run.refinementType == 2 and q > 0.0:
            solve_variable_ratio_order(run, run.pUMin, run.pUMax, run.r21(i),
                                       run.r32(i), q, pu, it, i)


def order_defined(p):
    return 0.0 < p <= LIMIT


def compute_extrapolations(run):
    a, n, pL, Th = run.a, run.N, run.pL, run.Th
    apparent_order(run, Th, 3, a['pU(Th)'], a['it_pU(Th)'])
    for i in range(2, n + 1):
        r21 = run.r21(i)
        a['Ti_12'][i] = Th[i] + fdiv(Th[i] - Th[i - 1], ipow(r21, pL) - 1.0)
    for i in range(3, n + 1):
        r21 = run.r21(i)
        r32 = run.r32(i)
        r31 = r21 * r32
        a['Ti_23'][i] = Th[i - 1] + fdiv(Th[i - 1] - Th[i - 2],
                                         ipow(r32, pL) - 1.0)
        a['Ti_13'][i] = Th[i] + fdiv(Th[i] - Th[i - 2], ipow(r31, pL) - 1.0)
        pu = a['pU(Th)'][i]
        if order_defined(pu):
            a['Ti_pU'][i] = Th[i] + fdiv(Th[i] - Th[i - 1],
                                         fpow(r21, pu) - 1.0)
            a['Tc_12'][i] = (a['Ti_12'][i] + a['Ti_pU'][i]) * 0.5
            a['Tc_13'][i] = (a['Ti_13'][i] + a['Ti_pU'][i]) * 0.5
        else:
            a['Ti_pU'][i] = UNDEF
            a['Tc_12'][i] = UNDEF
            a['Tc_13'][i] = UNDEF
    apparent_order(run, a['Ti_pU'], 5, a['pU(Ti_pU)'], a['it_pU(Ti_pU)'])
    apparent_order(run, a['Tc_12'], 5, a['pU(Tc_12)'], a['it_pU(Tc_12)'])
    apparent_order(run, a['Tc_13'], 5, a['pU(Tc_13)'], a['it_pU(Tc_13)'])
    T = a['Ti_pU']
    for i in range(5, n + 1):
        pu = a['pU(Ti_pU)'][i]
        if order_defined(pu):
            a['Tbi_pU'][i] = T[i] + fdiv(T[i] - T[i - 1],
                                         fpow(run.r21(i), pu) - 1.0)
        else:
            a['Tbi_pU'][i] = UNDEF
    apparent_order(run, a['Tbi_pU'], 7, a['pU(Tbi_pU)'], a['it_pU(Tbi_pU)'])


def two_term_coefficients(r, pL, dP):
    A = ipow(r, wrap32(2 * pL + dP))
    B = ipow(r, dP) + 1.0
    K = -(ipow(r, pL) * B)
    D = K + A + 1.0
    return A, K, D


def two_term_extrapolation(run):
    n, Th = run.N, run.Th
    if n < 3:
        return
    r = fdiv(run.h[1], run.h[2])
    A, K, D = two_term_coefficients(r, run.pL, run.deltaP)
    for i in range(3, n + 1):
        run.a['Ti_bi'][i] = fdiv(A * Th[i] + K * Th[i - 1] + Th[i - 2], D)


def three_term_coefficients(r, pL, dP):
    """Unfactored coefficients (c0..c3 of Th(i)..Th(i-3)) and denominator."""
    s = ipow(r, dP)
    y = ipow(r, pL)
    s2 = ipow(s, 2)
    s3 = ipow(s, 3)
    s4 = ipow(s, 4)
    s5 = ipow(s, 5)
    s6 = ipow(s, 6)
    y2 = ipow(y, 2)
    y3 = ipow(y, 3)
    G = s3 - s2 - s + 1.0
    H = s6 - s5 - s4 + s2 + s - 1.0
    c0 = ((1.0 - s2) * y * G + y * H) * y2 * s
    c1 = y * ((s3 - 1.0) * y * G - (s + 1.0) * y * H)
    c2 = y * H
    c3 = (1.0 - s) * G
    den = ((y2 * s + 1.0 - y * s - y) * y * H
           + (y2 * s3 + y3 * s + 1.0 - y3 * s3 - y2 - s) * G)
    return c0, c1, c2, c3, den


def three_term_extrapolation(run):
    n, Th = run.N, run.Th
    if n < 4:
        return
    r = fdiv(run.h[1], run.h[2])
    c0, c1, c2, c3, den = three_term_coefficients(r, run.pL, run.deltaP)
    for i in range(4, n + 1):
        run.a['Ti_tri'][i] = fdiv(c0 * Th[i] + c1 * Th[i - 1]
                                  + c2 * Th[i - 2] + c3 * Th[i - 3], den)


def compute_true_errors(run):
    a, n, ev = run.a, run.N, run.exactValue
    for i in range(1, n + 1):
        a['E(Th)'][i] = ev - run.Th[i]
    for i in range(2, n + 1):
        a['E(Ti_12)'][i] = ev - a['Ti_12'][i]
    for i in range(3, n + 1):
        a['E(Ti_23)'][i] = ev - a['Ti_23'][i]
        a['E(Ti_13)'][i] = ev - a['Ti_13'][i]
        a['E(Ti_bi)'][i] = ev - a['Ti_bi'][i]
        if a['Ti_pU'][i] > LIMIT:
            a['E(Ti_pU)'][i] = UNDEF
            a['E(Tc_12)'][i] = UNDEF
            a['E(Tc_13)'][i] = UNDEF
        else:
            a['E(Ti_pU)'][i] = ev - a['Ti_pU'][i]
            a['E(Tc_12)'][i] = ev - a['Tc_12'][i]
            a['E(Tc_13)'][i] = ev - a['Tc_13'][i]
    for i in range(4, n + 1):
        a['E(Ti_tri)'][i] = ev - a['Ti_tri'][i]
    for i in range(5, n + 1):
        if a['Tbi_pU'][i] > LIMIT:
            a['E(Tbi_pU)'][i] = UNDEF
        else:
            a['E(Tbi_pU)'][i] = ev - a['Tbi_pU'][i]


def _effective_order(run, e, pe, first, test_limit):
    for i in range(first, run.N + 1):
        if e[i] == 0.0:
            continue
        R = fdiv(e[i - 1], e[i])
        if not R > 0.0:
            continue
        if test_limit and not e[i] < LIMIT:
            continue
        pe[i] = fdiv(flog10(R), flog10(run.r21(i)))


def compute_effective_orders(run):
    a, n = run.a, run.N
    _effective_order(run, a['E(Th)'], a['pE(Th)'], 2, False)
    if n >= 4:
        _effective_order(run, a['E(Ti_pU)'], a['pE(Ti_pU)'], 4, True)
        _effective_order(run, a['E(Tc_12)'], a['pE(Tc_12)'], 4, True)
        _effective_order(run, a['E(Tc_13)'], a['pE(Tc_13)'], 4, True)
    if n >= 6:
        _effective_order(run, a['E(Tbi_pU)'], a['pE(Tbi_pU)'], 6, True)


def compute_error_estimators(run):
    a, n, Th = run.a, run.N, run.Th
    for i in range(2, n + 1):
        a['Ud'][i] = abs(Th[i] - Th[i - 1])
    for i in range(2, n + 1):
        a['Uri_12'][i] = a['Ti_12'][i] - Th[i]
    for i in range(3, n + 1):
        a['Uri_13'][i] = a['Ti_13'][i] - Th[i]
        a['Uri_23'][i] = a['Ti_23'][i] - Th[i]
        a['Uri_bi'][i] = a['Ti_bi'][i] - Th[i]
        if a['Ti_pU'][i] > LIMIT:
            a['Uri_pU'][i] = UNDEF
            a['Uri_p'][i] = UNDEF
            a['Uc_12'][i] = UNDEF
            a['Uc_13'][i] = UNDEF
        else:
            a['Uri_pU'][i] = a['Ti_pU'][i] - Th[i]
            m12 = abs(a['Uri_12'][i])
            mpu = abs(a['Uri_pU'][i])
            M = mpu if mpu > m12 else m12
            a['Uri_p'][i] = -M if Th[i] - Th[i - 1] < 0.0 else M
            a['Uc_12'][i] = abs(a['Ti_12'][i] - a['Ti_pU'][i]) * 0.5
            a['Uc_13'][i] = abs(a['Ti_13'][i] - a['Ti_pU'][i]) * 0.5
    for i in range(4, n + 1):
        a['Uri_tri'][i] = a['Ti_tri'][i] - Th[i]


def compute_gci(run):
    a, n, Th, Fs, pL = run.a, run.N, run.Th, run.Fs, run.pL
    for i in range(2, n + 1):
        a['GCI_pL'][i] = fdiv(Fs * abs(Th[i] - Th[i - 1]),
                              ipow(run.r21(i), pL) - 1.0)
    for i in range(3, n + 1):
        if a['Ti_pU'][i] > LIMIT:
            a['GCI_p'][i] = UNDEF
            continue
        pu = a['pU(Th)'][i]
        p = float(pL) if float(pL) <= pu else pu
        a['GCI_p'][i] = fdiv(Fs * abs(Th[i] - Th[i - 1]),
                             fpow(run.r21(i), p) - 1.0)


def compute_level_table(run):
    n, T, U = run.N, run.T_i, run.U12_T
    for i in range(2, n + 1):
        T[i][1] = run.a['Ti_12'][i]
    for j in range(2, n):
        pv = run.pV(j)
        for i in range(j + 1, n + 1):
            T[i][j] = T[i][j - 1] + fdiv(T[i][j - 1] - T[i - 1][j - 1],
                                         ipow(run.r21(i), pv) - 1.0)
    for j in range(1, n - 1):
        for i in range(j + 2, n + 1):
            U[i][j] = T[i][j + 1] - T[i][j]


def run_error_estimation(run):
    compute_extrapolations(run)
    two_term_extrapolation(run)
    three_term_extrapolation(run)
    for name in ('pE(Th)', 'pE(Ti_pU)', 'pE(Tc_12)', 'pE(Tc_13)',
                 'pE(Tbi_pU)'):
        arr = run.a[name]
        for i in range(1, run.N + 1):
            arr[i] = UNDEF
    if run.hasExactSolution == 1:
        compute_true_errors(run)
        compute_effective_orders(run)
    compute_error_estimators(run)
    compute_gci(run)
    compute_level_table(run)


# ---------------------------------------------------------------------------
# 7. Output stages
# ---------------------------------------------------------------------------

def _lit(text):
    return "'" + text.replace("'", "''") + "'"


def header_format(labels, lead='/,'):
    """Format of a header line: labels is a list of (column, text)."""
    parts = []
    for col, text in labels:
        parts.append('T%d' % col)
        parts.append(_lit(text))
    return '(' + lead + ','.join(parts) + ')'


ROW_A = '(1PE12.4,1PE22.14,22X,1PE22.14)'

# member: (X, s, q index, pE label, pU label, composite 59, composite 81,
#          it label, order file (name, label) or None, pE file, pU file)
ORDER_MEMBERS = [
    ('Th', 1, 1, 'pE(Th)', 'pU(Th)', 'pE(Th) - pL(', 'pU(Th) - pL(',
     'it_pU(Th)', ('pL.dat', 'pL'), ('pE_h.dat', 'pE_h'),
     ('pU_h.dat', 'pU_h')),
    ('Ti_pU', 3, 2, 'pE(Ti_pU)', 'pU(Ti_pU)', 'pE(Ti_pU) - p2(',
     'pU(Ti_pU) - p2(', 'it_pU(Ti_pU)', ('p2.dat', 'pV(2)'),
     ('pE_i.dat', 'pE_i'), ('pU_i.dat', 'pU_i')),
    ('Tbi_pU', 5, 3, 'pE(Tbi_pU)', 'pU(Tbi_pu)', 'pE(Tbi_pU) - p3(',
     'pU(Tbi_pU) - p3(', 'it_pU(Tbi_pU)', ('p3.dat', 'pV(3)'),
     ('pE_bi.dat', 'pE_bi'), ('pU_bi.dat', 'pU_bi')),
    ('Tc_12', 3, 2, 'pE(Tc_12)', 'pU(Tc_12)', 'pE(Tc_12) - p2(',
     'pU(Tc_12) - p2(', 'it_pU(Tc_12)', None,
     ('pE_c12.dat', 'pE_c12'), ('pU_c12.dat', 'pU_c12')),
    ('Tc_13', 3, 2, 'pE(Tc_13)', 'pU(Tc_13)', 'pE(Tc_13) - p2(',
     'pU(Tc_13) - p2(', 'it_pU(Tc_13)', None,
     ('pE_c13.dat', 'pE_c13'), ('pU_c13.dat', 'pU_c13')),
]


def write_order_report(run, member):
    (X, s, qk, lpe, lpu, l59, l81, lit, ofile, efile, ufile) = member
    n = run.N
    h = run.h
    pE = run.a['pE(%s)' % X]
    pU = run.a['pU(%s)' % X]
    it = run.a['it_pU(%s)' % X]
    qi = run.pV(qk)
    q = float(qi)
    qtext = adjusted(run.pV_text(qk))
    run.lst("(/,T3,'h',T15," + _lit(lpe) + ",T37," + _lit(lpu) + ",T59,"
            + _lit(l59) + ",A,')',T81," + _lit(l81) + ",A,')',T104,"
            + _lit(lit) + ")", [qtext, qtext])
    for i in range(1, n + 1):
        if i <= s:
            run.lst(ROW_A, [h[i]])
        elif i == s + 1:
            if defined(pE[i]):
                run.lst(ROW_A, [h[i], pE[i], pE[i] - q])
            else:
                run.lst(ROW_A, [h[i]])
        else:
            if defined(pE[i]) and defined(pU[i]):
                run.lst('(1PE12.4,4(1PE22.14),I10)',
                        [h[i], pE[i], pU[i], pE[i] - q, pU[i] - q, it[i]])
            elif defined(pE[i]) and undefined(pU[i]):
                run.lst(ROW_A, [h[i], pE[i], pE[i] - q])
            elif undefined(pE[i]) and defined(pU[i]):
                run.lst('(1PE12.4,22X,1PE22.14,22X,1PE22.14,I10)',
                        [h[i], pU[i], pU[i] - q, it[i]])
            elif undefined(pE[i]) and undefined(pU[i]):
                run.lst(ROW_A, [h[i]])
    if ofile is not None:
        run.open11(ofile[0])
        run.w11(header_format([(1, '#'), (4, 'log(h)'), (27, ofile[1])], ''))
        for i in range(1, n + 1):
            run.w11('(1PE12.4,I8)', [flog10(h[i]), qi])
        run.close11()
    for fname, label, arr, first in ((efile[0], efile[1], pE, s + 1),
                                     (ufile[0], ufile[1], pU, s + 2)):
        run.open11(fname)
        run.w11(header_format([(1, '#'), (4, 'log(h)'), (27, label)], ''))
        for i in range(first, n + 1):
            if defined(arr[i]):
                run.w11(ROW_A, [flog10(h[i]), arr[i]])
            else:
                run.current.append('')
        run.close11()


def write_order_reports(run):
    for member in ORDER_MEMBERS:
        write_order_report(run, member)


VALUE_SEQ = ['Th', 'Ti_12', 'Ti_13', 'Ti_pU', 'Ti_23', 'Ti_bi', 'Ti_tri',
             'Tc_12', 'Tc_13', 'Tbi_pU']
VALUE_LABELS = ['Th', 'Ti_12', 'Ti_13', 'Ti_pU', 'Ti_23', 'Ti_bi', 'Ti_tri',
                'Tc_12', 'Tc_13', 'Tbi_pU']
DIFF_LABELS = ['dTh', 'dTi_12', 'dTi_13', 'dTi_pU', 'dTi_23', 'dTi_bi',
               'dTi_tri', 'dTc_12', 'dTc_13', 'dTbi_pU']
ERROR_LABELS = ['E(Th)', 'E(Ti_12)', 'E(Ti_13)', 'E(Ti_pU)', 'E(Ti_23)',
                'E(Ti_bi)', 'E(Ti_tri)', 'E(Tc_12)', 'E(Tc_13)', 'E(Tbi_pU)']

FULL10 = '(1PE12.4,10(1PE22.14))'
NO_TRI = '(1PE12.4,6(1PE22.14),22X,3(1PE22.14))'
NO_PU = '(1PE12.4,3(1PE22.14),22X,3(1PE22.14),44X,1PE22.14)'


def _wide_header(run, labels, col0=15, width=22):
    cols = [(3, 'h')] + [(col0 + width * k, lab) for k, lab in
                         enumerate(labels)]
    run.lst(header_format(cols))


def _value_row(run, i, g, col):
    """One row of the value-table schedule for grid i; col(k) is the value
    of column k (1..10) at grid i; g is the grid whose schedule applies."""
    tpu = run.a['Ti_pU'][i]
    tbi = run.a['Tbi_pU'][i]
    h = run.h[i]
    if g == 1:
        run.lst(FULL10, [h, col(1)])
    elif g == 2:
        run.lst(FULL10, [h, col(1), col(2)])
    elif g == 3:
        if defined(tpu):
            run.lst(NO_TRI, [h] + [col(k) for k in (1, 2, 3, 4, 5, 6, 8, 9)])
        elif undefined(tpu):
            run.lst(NO_PU, [h] + [col(k) for k in (1, 2, 3, 5, 6)])
    elif g == 4:
        if defined(tpu):
            run.lst(FULL10, [h] + [col(k) for k in range(1, 10)])
        elif undefined(tpu):
            run.lst(NO_PU, [h] + [col(k) for k in (1, 2, 3, 5, 6, 7)])
    else:
        if defined(tpu) and defined(tbi):
            run.lst(FULL10, [h] + [col(k) for k in range(1, 11)])
        elif defined(tpu) and undefined(tbi):
            run.lst(FULL10, [h] + [col(k) for k in range(1, 10)])
        elif undefined(tpu) and defined(tbi):
            run.lst(NO_PU, [h] + [col(k) for k in (1, 2, 3, 5, 6, 7, 10)])
        elif undefined(tpu) and undefined(tbi):
            run.lst(NO_PU, [h] + [col(k) for k in (1, 2, 3, 5, 6, 7)])


def _seq(run, name):
    return run.Th if name == 'Th' else run.a[name]


def write_value_table(run):
    _wide_header(run, VALUE_LABELS)
    for i in range(1, run.N + 1):
        _value_row(run, i, i, lambda k, i=i: _seq(run, VALUE_SEQ[k - 1])[i])


def write_difference_table(run):
    _wide_header(run, DIFF_LABELS)

    def col(k, i):
        x = _seq(run, VALUE_SEQ[k - 1])
        return x[i] - x[i - 1]

    for i in range(1, run.N + 1):
        if i == 1:
            run.lst(FULL10, [run.h[1]])
        elif i == 2:
            run.lst(FULL10, [run.h[2], col(1, 2)])
        elif i == 3:
            run.lst(FULL10, [run.h[3], col(1, 3), col(2, 3)])
        else:
            _value_row(run, i, i - 1, lambda k, i=i: col(k, i))


def write_true_error_table(run):
    _wide_header(run, ERROR_LABELS)
    for i in range(1, run.N + 1):
        _value_row(run, i, i,
                   lambda k, i=i: run.a['E(%s)' % VALUE_SEQ[k - 1]][i])


def write_estimated_error_report(run):
    a, n, h = run.a, run.N, run.h
    if run.hasExactSolution == 1:
        labels = ['E(Th)', 'Uri_12(Th)', 'Uri_13(Th)', 'Uri_pU(Th)',
                  'Uri_23(Th)', 'Uri_bi(Th)', 'Uri_tri(Th)', 'Uc(Tc_12)',
                  'Uc(Tc_13)', 'E(Tc_12)', 'E(Tc_13)']
        names = ['E(Th)', 'Uri_12', 'Uri_13', 'Uri_pU', 'Uri_23', 'Uri_bi',
                 'Uri_tri', 'Uc_12', 'Uc_13', 'E(Tc_12)', 'E(Tc_13)']
        full = '(1PE12.4,11(1PE22.14))'
        g3_def = '(1PE12.4,6(1PE22.14),22X,4(1PE22.14))'
        g3_def_cols = (1, 2, 3, 4, 5, 6, 8, 9, 10, 11)
        und = '(1PE12.4,3(1PE22.14),22X,3(1PE22.14),44X,1PE22.14)'
        g3_und_cols = (1, 2, 3, 5, 6)
        g4_und_cols = (1, 2, 3, 5, 6, 7)
        g1_cols, g2_cols = (1,), (1, 2)
    else:
        labels = ['Uri_12(Th)', 'Uri_13(Th)', 'Uri_pU(Th)', 'Uri_23(Th)',
                  'Uri_bi(Th)', 'Uri_tri(Th)', 'Uc(Tc_12)', 'Uc(Tc_13)']
        names = ['Uri_12', 'Uri_13', 'Uri_pU', 'Uri_23', 'Uri_bi',
                 'Uri_tri', 'Uc_12', 'Uc_13']
        full = '(1PE12.4,8(1PE22.14))'
        g3_def = '(1PE12.4,5(1PE22.14),22X,2(1PE22.14))'
        g3_def_cols = (1, 2, 3, 4, 5, 7, 8)
        und = '(1PE12.4,2(1PE22.14),22X,3(1PE22.14),44X,1PE22.14)'
        g3_und_cols = (1, 2, 4, 5)
        g4_und_cols = (1, 2, 4, 5, 6)
        g1_cols, g2_cols = (), (1,)
    _wide_header(run, labels)
    for i in range(1, n + 1):
        def vals(cols, i=i):
            return [h[i]] + [a[names[k - 1]][i] for k in cols]
        tpu = a['Ti_pU'][i]
        if i == 1:
            run.lst(full, vals(g1_cols))
        elif i == 2:
            run.lst(full, vals(g2_cols))
        elif i == 3:
            if defined(tpu):
                run.lst(g3_def, vals(g3_def_cols))
            elif undefined(tpu):
                run.lst(und, vals(g3_und_cols))
        else:
            if defined(tpu):
                run.lst(full, vals(range(1, len(names) + 1)))
            elif undefined(tpu):
                run.lst(und, vals(g4_und_cols))
    write_estimator_files(run)


def write_estimator_files(run):
    a, n, h = run.a, run.N, run.h
    files = [
        ('U_12.dat', ['log|Ud|', 'log|Uri_12|', 'log(GCI_pL)'], 2,
         ['Ud', 'Uri_12', 'GCI_pL'], False),
        ('Uri_13.dat', ['log|Uri_13|'], 3, ['Uri_13'], False),
        ('Uri_23.dat', ['log|Uri_23|'], 3, ['Uri_23'], False),
        ('Uri_bi.dat', ['log|Uri_bi|'], 3, ['Uri_bi'], False),
        ('Uri_pU.dat', ['log|Uri_pU|', 'log|Uri_p|', 'log(GCI_p)'], 3,
         ['Uri_pU', 'Uri_p', 'GCI_p'], True),
        ('Uc_12.dat', ['log(Uc_12)'], 3, ['Uc_12'], True),
        ('Uc_13.dat', ['log(Uc_13)'], 3, ['Uc_13'], True),
        ('Utri.dat', ['log|Uri_tri|'], 4, ['Uri_tri'], False),
    ]
    for fname, labels, first, names, limit in files:
        run.open11(fname)
        cols = [(1, '#'), (3, 'log(h)')] + [(15 + 22 * k, lab) for k, lab
                                            in enumerate(labels)]
        run.w11(header_format(cols, ''))
        for i in range(first, n + 1):
            v0 = a[names[0]][i]
            if v0 != 0.0 and (not limit or v0 < LIMIT):
                run.w11('(1PE12.4,11(1PE22.14))',
                        [flog10(h[i])] + [flog10(abs(a[nm][i]))
                                          for nm in names])
            else:
                run.current.append('')
        run.close11()


def _ratio_header(run, labels, cols):
    run.lst(header_format([(3, 'h')] + list(zip(cols, labels))))


def write_effectivity_table(run):
    a, n, h = run.a, run.N, run.h
    labels = ['Ud/|Eh|-1', 'U12/Eh-1', 'U13/Eh-1', 'UpU/Eh-1', 'U23/Eh-1',
              'Ubi/Eh-1', 'Utri/Eh-1', 'U/|Ec12|-1', 'U/|Ec13|-1']
    _ratio_header(run, labels, [15 + 12 * k for k in range(9)])
    for i in range(1, n + 1):
        eh = a['E(Th)'][i]
        tpu = a['Ti_pU'][i]

        def c(k, i=i, eh=eh):
            if k == 1:
                return fdiv(a['Ud'][i], abs(eh)) - 1.0
            if k == 8:
                return fdiv(a['Uc_12'][i], abs(a['E(Tc_12)'][i])) - 1.0
            if k == 9:
                return fdiv(a['Uc_13'][i], abs(a['E(Tc_13)'][i])) - 1.0
            nm = ['', '', 'Uri_12', 'Uri_13', 'Uri_pU', 'Uri_23', 'Uri_bi',
                  'Uri_tri'][k]
            return fdiv(a[nm][i], eh) - 1.0

        full_ok = (a['E(Tc_13)'][i] != 0.0 and a['E(Tc_12)'][i] != 0.0
                   and defined(tpu) and eh != 0.0)
        short_ok = undefined(tpu) and eh != 0.0
        if i == 1:
            run.lst('(10(1PE12.4))', [h[1]])
        elif i == 2:
            if eh != 0.0:
                run.lst('(10(1PE12.4))', [h[2], c(1), c(2)])
        elif i == 3:
            if full_ok:
                run.lst('(7(1PE12.4),12X,2(1PE12.4))',
                        [h[3]] + [c(k) for k in (1, 2, 3, 4, 5, 6, 8, 9)])
            elif short_ok:
                run.lst('(4(1PE12.4),12X,3(1PE12.4))',
                        [h[3]] + [c(k) for k in (1, 2, 3, 5, 6)])
        else:
            if full_ok:
                run.lst('(10(1PE12.4))', [h[i]] + [c(k) for k in range(1, 10)])
            elif short_ok:
                run.lst('(4(1PE12.4),12X,3(1PE12.4))',
                        [h[i]] + [c(k) for k in (1, 2, 3, 5, 6, 7)])


def write_gci_table(run):
    a, n, h, Fs = run.a, run.N, run.h, run.Fs
    exact = run.hasExactSolution == 1
    labels = ['Uri_p(Th)', 'GCI_pL(Th)', 'GCI_p(Th)', 'Urip/U12-1',
              'GpL/|U12|-Fs', 'Gp/|U12|-Fs', 'Urip/Eh-1', 'GpL/|Eh|-Fs',
              'Gp/|Eh|-Fs']
    cols = [15, 37, 59, 81, 93, 105, 117, 129, 141]
    if not exact:
        labels, cols = labels[:6], cols[:6]
    _ratio_header(run, labels, cols)
    full = '(1PE12.4,3(1PE22.14),6(1PE12.4))'
    short = '(1PE12.4,22X,1PE22.14,34X,1PE12.4,24X,1PE12.4)'
    for i in range(1, n + 1):
        u12 = a['Uri_12'][i]
        eh = a['E(Th)'][i]
        tpu = a['Ti_pU'][i]
        urip, gpl, gp = a['Uri_p'][i], a['GCI_pL'][i], a['GCI_p'][i]

        def short_items(i=i, u12=u12, eh=eh, gpl=gpl):
            items = [h[i], gpl, fdiv(gpl, abs(u12)) - Fs]
            if exact:
                items.append(fdiv(gpl, abs(eh)) - Fs)
            return items

        if i == 1:
            run.lst(full, [h[1]])
            continue
        ok = u12 != 0.0 and (not exact or eh != 0.0)
        if i == 2:
            if ok:
                run.lst(short, short_items())
            continue
        if ok and defined(tpu):
            items = [h[i], urip, gpl, gp, fdiv(urip, u12) - 1.0,
                     fdiv(gpl, abs(u12)) - Fs, fdiv(gp, abs(u12)) - Fs]
            if exact:
                items += [fdiv(urip, eh) - 1.0, fdiv(gpl, abs(eh)) - Fs,
                          fdiv(gp, abs(eh)) - Fs]
            run.lst(full, items)
        elif ok and undefined(tpu):
            run.lst(short, short_items())


def write_true_error_ratio_table(run):
    a, n, h = run.a, run.N, run.h
    labels = ['Eh/Ei12', 'Ei13/Ei12', 'EipU/Ei12', 'Ei23/Ei12', 'E_bi/Ei12',
              'E_tri/Ei12', 'Ec12/Ei12', 'Ec13/Ei12', 'Eh/Ec12', 'Eh/Ec13',
              'Ec13/Ec12']
    _ratio_header(run, labels, [15 + 12 * k for k in range(11)])
    pairs = [('E(Th)', 'E(Ti_12)'), ('E(Ti_13)', 'E(Ti_12)'),
             ('E(Ti_pU)', 'E(Ti_12)'), ('E(Ti_23)', 'E(Ti_12)'),
             ('E(Ti_bi)', 'E(Ti_12)'), ('E(Ti_tri)', 'E(Ti_12)'),
             ('E(Tc_12)', 'E(Ti_12)'), ('E(Tc_13)', 'E(Ti_12)'),
             ('E(Th)', 'E(Tc_12)'), ('E(Th)', 'E(Tc_13)'),
             ('E(Tc_13)', 'E(Tc_12)')]
    for i in range(1, n + 1):
        def c(k, i=i):
            num, den = pairs[k - 1]
            return fdiv(a[num][i], a[den][i])
        e12 = a['E(Ti_12)'][i]
        tpu = a['Ti_pU'][i]
        full_ok = (a['E(Tc_13)'][i] != 0.0 and a['E(Tc_12)'][i] != 0.0
                   and defined(tpu) and e12 != 0.0)
        short_ok = undefined(tpu) and e12 != 0.0
        if i == 1:
            run.lst('(12(1PE12.4))', [h[1]])
        elif i == 2:
            if e12 != 0.0:
                run.lst('(12(1PE12.4))', [h[2], c(1)])
        elif i == 3:
            if full_ok:
                run.lst('(6(1PE12.4),12X,5(1PE12.4))',
                        [h[3]] + [c(k) for k in (1, 2, 3, 4, 5, 7, 8, 9, 10,
                                                 11)])
            elif short_ok:
                run.lst('(3(1PE12.4),12X,3(1PE12.4))',
                        [h[3]] + [c(k) for k in (1, 2, 4, 5)])
        else:
            if full_ok:
                run.lst('(12(1PE12.4))', [h[i]] + [c(k) for k in range(1, 12)])
            elif short_ok:
                run.lst('(3(1PE12.4),12X,3(1PE12.4))',
                        [h[i]] + [c(k) for k in (1, 2, 4, 5, 6)])


def write_estimator_ratio_table(run):
    a, n, h = run.a, run.N, run.h
    labels = ['Ud/U12-1', 'U13/U12-1', 'UpU/U12-1', 'U23/U12-1', 'Ubi/U12-1',
              'Utri/U12-1', '|U12|/Uc12', '|U12|/Uc13', 'Uc13/Uc12']
    _ratio_header(run, labels, [15 + 12 * k for k in range(9)])
    for i in range(1, n + 1):
        u12 = a['Uri_12'][i]

        def c(k, i=i, u12=u12):
            if k <= 6:
                nm = ['Ud', 'Uri_13', 'Uri_pU', 'Uri_23', 'Uri_bi',
                      'Uri_tri'][k - 1]
                return fdiv(a[nm][i], u12) - 1.0
            if k == 7:
                return fdiv(abs(u12), a['Uc_12'][i])
            if k == 8:
                return fdiv(abs(u12), a['Uc_13'][i])
            return fdiv(a['Uc_13'][i], a['Uc_12'][i])

        tpu = a['Ti_pU'][i]
        full_ok = (a['Uc_13'][i] != 0.0 and a['Uc_12'][i] != 0.0
                   and defined(tpu) and u12 != 0.0)
        short_ok = undefined(tpu) and u12 != 0.0
        if i == 1:
            run.lst('(10(1PE12.4))', [h[1]])
        elif i == 2:
            if u12 != 0.0:
                run.lst('(10(1PE12.4))', [h[2], c(1)])
        elif i == 3:
            if full_ok:
                run.lst('(6(1PE12.4),12X,3(1PE12.4))',
                        [h[3]] + [c(k) for k in (1, 2, 3, 4, 5, 7, 8, 9)])
            elif short_ok:
                run.lst('(3(1PE12.4),12X,3(1PE12.4))',
                        [h[3]] + [c(k) for k in (1, 2, 4, 5)])
        else:
            if full_ok:
                run.lst('(10(1PE12.4))', [h[i]] + [c(k) for k in range(1, 10)])
            elif short_ok:
                run.lst('(3(1PE12.4),12X,3(1PE12.4))',
                        [h[i]] + [c(k) for k in (1, 2, 4, 5, 6)])


# -- level tables ------------------------------------------------------------

LEVEL_TABLES = {
    # name: (first label pieces, level prefix, level suffix kind)
    'T': ('h           Th(p=', ')', '             T_', 'i(p=', ')'),
    'dT': ('h           dTh(p=', ')', '            dT_', 'i(p=', ')'),
    'E': ('h           E(Th(p=', '))', '          E(T_', 'i(p=', '))'),
    'ERatio': ('h           E(Th)/E(Th)', None, '         E(Th)/E(T_',
               'i)', None),
    'Uri12': ('h           Uri_12(Th(p=', '))', '     Uri_12(T_', 'i(p=',
              '))'),
    'UOverE': ('h           (U/E-1)(Th(p=', '))', '    (U/E-1)(T_', 'i(p=',
               '))'),
    'URatio': ('h           U12(Th)/U12(Th)', None, '     U12(Th)/U12(T_',
               'i)', None),
}


def level_header(run, table):
    first, first_end, prefix, mid, end = LEVEL_TABLES[table]
    p1 = adjusted(run.pV_text(1))
    label = first + (p1 + first_end if first_end is not None else '')
    buf = fixed(label, 500)
    for j in range(1, run.N):
        jt = adjusted(format_records('(I2)', [j])[0])
        s = adjusted(buf)
        if j == 1:
            s += '  '
        s += prefix + jt + mid
        if end is not None:
            s += adjusted(run.pV_text(j + 1)) + end
        buf = fixed(s, 500)
    return adjusted(buf)


LEVEL_ROW = '(1PE12.4,30(1PE22.14))'


def write_level_table(run, table):
    run.lst('(/,2X,A)', [level_header(run, table)])
    n, h, Th, a = run.N, run.h, run.Th, run.a
    T, U = run.T_i, run.U12_T
    ev = run.exactValue
    Eh, U12 = a['E(Th)'], a['Uri_12']

    def elev(i, j):
        return ev - T[i][j]

    for i in range(1, n + 1):
        row = None
        if table == 'T':
            row = [h[i], Th[i]] + [T[i][j] for j in range(1, i)]
        elif table == 'dT':
            if i == 1:
                row = [h[1]]
            else:
                row = [h[i], Th[i] - Th[i - 1]] + [T[i][j] - T[i - 1][j]
                                                   for j in range(1, i - 1)]
        elif table == 'E':
            row = [h[i], Eh[i]] + [elev(i, j) for j in range(1, i)]
        elif table == 'ERatio':
            if Eh[i] != 0.0 and all(elev(i, j) != 0.0 for j in range(1, i)):
                row = [h[i], fdiv(Eh[i], Eh[i])] + [fdiv(Eh[i], elev(i, j))
                                                    for j in range(1, i)]
        elif table == 'Uri12':
            if i == 1:
                row = [h[1]]
            else:
                row = [h[i], U12[i]] + [U[i][j] for j in range(1, i - 1)]
        elif table == 'UOverE':
            if i == 1:
                row = [h[1]]
            elif Eh[i] != 0.0 and all(elev(i, j) != 0.0
                                      for j in range(1, i - 1)):
                row = [h[i], fdiv(U12[i], Eh[i]) - 1.0] + [
                    fdiv(U[i][j], elev(i, j)) - 1.0 for j in range(1, i - 1)]
        elif table == 'URatio':
            if i == 1:
                row = [h[1]]
            elif U12[i] != 0.0 and all(U[i][j] != 0.0
                                       for j in range(1, i - 1)):
                row = [h[i], fdiv(U12[i], U12[i])] + [
                    fdiv(U12[i], U[i][j]) for j in range(1, i - 1)]
        if row is not None:
            run.lst(LEVEL_ROW, row)


def write_level_tables(run):
    exact = run.hasExactSolution == 1
    write_level_table(run, 'T')
    write_level_table(run, 'dT')
    if exact:
        write_level_table(run, 'E')
    write_level_table(run, 'Uri12')
    if exact:
        write_level_table(run, 'UOverE')
        write_level_table(run, 'ERatio')
    write_level_table(run, 'URatio')


# -- true-error plot files ---------------------------------------------------

def write_true_error_plot_files(run):
    a, n, h = run.a, run.N, run.h
    per_grid = [
        ('Eh.dat', 'log|Eh|', 'E(Th)', 1, None),
        ('Ei_12.dat', 'log|Ei_12|', 'E(Ti_12)', 2, None),
        ('Ei_13.dat', 'log|Ei_13|', 'E(Ti_13)', 3, None),
        ('Ei_23.dat', 'log|Ei_23|', 'E(Ti_23)', 3, None),
        ('Ei_bi.dat', 'log|Ei_bi|', 'E(Ti_bi)', 3, None),
        ('Ei_tri.dat', 'log|Ei_tri|', 'E(Ti_tri)', 4, None),
        ('Ei_pU.dat', 'log|Ei_pU|', 'E(Ti_pU)', 3, 'Ti_pU'),
        ('Ec_12.dat', 'log|Ec_12|', 'E(Tc_12)', 3, 'Tc_12'),
        ('Ec_13.dat', 'log|Ec_13|', 'E(Tc_13)', 3, 'Tc_13'),
        ('Ebi.dat', 'log|Ebi_pU|', 'E(Tbi_pU)', 5, 'E(Tbi_pU)'),
    ]
    for fname, label, ename, first, extra in per_grid:
        run.open11(fname)
        run.w11(header_format([(1, '#'), (4, 'log(h)'), (27, label)], ''))
        e = a[ename]
        for i in range(first, n + 1):
            if e[i] != 0.0 and (extra is None or a[extra][i] < LIMIT):
                run.w11('(6(1PE23.14))', [flog10(h[i]), flog10(abs(e[i]))])
            else:
                run.current.append('')
        run.close11()

    E = a['E(Th)']
    run.open11('E_pL_p2.dat')
    run.w11(header_format([(1, '#'), (4, 'log(h)'), (27, 'log|E_pL|'),
                           (50, 'log|E_p2|')], ''))
    if n >= 1:
        e1 = E[1]
        r = fdiv(h[n], h[1])
        rpl = ipow(r, run.pL)
        rp2 = ipow(r, run.pV(2))
        if e1 != 0.0:
            run.w11('(6(1PE23.14))', [flog10(h[1]), flog10(abs(e1)),
                                      flog10(abs(e1))])
            run.w11('(6(1PE23.14))', [flog10(h[n]), flog10(abs(rpl * e1)),
                                      flog10(abs(rp2 * e1))])
        else:
            run.w11('(6(1PE23.14))', [flog10(h[1]), 0.0, 0.0])
            run.w11('(6(1PE23.14))', [flog10(h[n]), flog10(rpl * 1.0),
                                      flog10(rp2 * 1.0)])
    run.close11()

    run.open11('E_p3.dat')
    run.w11(header_format([(1, '#'), (4, 'log(h)'), (27, 'log|E_p3|')], ''))
    if n >= 1:
        cands = [a['E(Tbi_pU)'][n], a['E(Tc_13)'][n], a['E(Tc_12)'][n],
                 a['E(Ti_tri)'][n], a['E(Ti_bi)'][n], a['E(Ti_pU)'][n],
                 a['E(Ti_23)'][n], a['E(Ti_13)'][n], a['E(Ti_12)'][n], E[1]]
        m = lower_level(cands)
        e1 = E[1]
        p = run.pV(3)
        inv = fdiv(1.0, float(p))
        if m != 0.0 and e1 != 0.0:
            x = fpow(ipow(h[1], p) * abs(fdiv(m, e1)), inv)
            run.w11('(6(1PE23.14))', [flog10(h[1]), flog10(abs(e1))])
            run.w11('(6(1PE23.14))', [flog10(x), flog10(abs(m))])
        else:
            x = fpow(ipow(h[1], p) * 0.001, inv)
            run.w11('(6(1PE23.14))', [flog10(h[1]), 0.0])
            run.w11('(6(1PE23.14))', [flog10(x), -3.0])
    run.close11()


def lower_level(values):
    """Smallest magnitude: start from the first candidate, a later one
    replaces it only when strictly smaller."""
    m = abs(values[0])
    for v in values[1:]:
        if abs(v) < m:
            m = abs(v)
    return m


# -- estimated-error reference files -----------------------------------------

def write_estimate_reference_files(run, which):
    a, n, h = run.a, run.N, run.h
    U2 = a['Uri_12'][2] if n >= 2 else 0.0
    rows = '(1PE12.4,11(1PE22.14))'

    def header(label):
        run.w11(header_format([(1, '#'), (3, 'log(h)'), (15, label)], ''))

    run.open11('U_pL.dat')
    header('log|E_pL|')
    if n >= 1:
        if U2 != 0.0:
            r = fdiv(h[n], h[2])
            run.w11(rows, [flog10(h[2]), flog10(abs(U2))])
            run.w11(rows, [flog10(h[n]), flog10(abs(ipow(r, run.pL) * U2))])
        else:
            r = fdiv(h[n], h[1])
            run.w11(rows, [flog10(h[1]), 0.0])
            run.w11(rows, [flog10(h[n]), flog10(ipow(r, run.pL) * 1.0)])
    run.close11()

    if n >= 1:
        if which == 1:
            cands = [a['Uri_tri'][n], a['Uri_bi'][n], a['Uri_pU'][n],
                     a['Uri_23'][n], a['Uri_13'][n], a['Ud'][n],
                     a['Uri_12'][n], U2]
        else:
            cands = [a['Uc_13'][n], a['Uc_12'][n], a['Uri_pU'][n],
                     a['Uri_13'][n], a['Uri_12'][n], U2]
        m = lower_level(cands)
        regular = m != 0.0 and U2 != 0.0
    for fname, label, k in (('U_p2.dat', 'log|E_p2|', 2),
                            ('U_p3.dat', 'log|E_p3|', 3)):
        run.open11(fname)
        header(label)
        if n >= 1:
            p = run.pV(k)
            inv = fdiv(1.0, float(p))
            if regular:
                x = fpow(ipow(h[2], p) * abs(fdiv(m, U2)), inv)
                run.w11(rows, [flog10(h[2]), flog10(abs(U2))])
                run.w11(rows, [flog10(x), flog10(abs(m))])
            else:
                x = fpow(ipow(h[1], p) * 0.001, inv)
                run.w11(rows, [flog10(h[1]), 0.0])
                run.w11(rows, [flog10(x), -3.0])
        run.close11()


# ---------------------------------------------------------------------------
# 8. Plot scripts, launches, driver
# ---------------------------------------------------------------------------

SCRIPTS = {
    'Kestrovanilque_pE_pU.gnu': 20,
    'Kestrovanilque_pU.gnu': 15,
    'Kestrovanilque_E.gnu': 19,
    'Kestrovanilque_E_U.gnu': 19,
    'Kestrovanilque_U.gnu': 16,
    'Kestrovanilque_E_U_2.gnu': 20,
    'Kestrovanilque_U_2.gnu': 15,
}


def complete_plot_script(run, case_dir, name, kept):
    path = os.path.join(case_dir, name)
    if os.path.isfile(path):
        with open(path, 'rb') as f:
            data = f.read()
    else:
        data = b''
        run.files[name] = b''          # the open creates it empty
        run.file_order.append(name)
    # find the end of the kept records (LF ends a record)
    pos = 0
    for _ in range(kept):
        if pos >= len(data):
            raise eof_error(11, name)
        nl = data.find(b'\n', pos)
        pos = len(data) if nl < 0 else nl + 1
    head = data[:pos]
    if head and not head.endswith(b'\n'):
        head += b'\r\n'
    tail = ''.join(r + '\r\n' for r in format_records(
        "('set title ''',A,/,'replot')", [gnuplot_title(run.plotTitle)]))
    run.files[name] = head + tail.encode('latin-1')
    if name in run.file_order:
        run.file_order.remove(name)
    run.file_order.append(name)


def gnuplot_title(plot_title):
    """plotTitle as the rest of a gnuplot string opened by "set title '":
    the quotes before the closing one doubled, then a closing quote even when
    the cut at 102 characters lost it. A title without quotes is unchanged."""
    text = adjusted(plot_title)
    body = text[:-1] if text.endswith("'") else text
    if "'" not in body:
        return text
    return body.replace("'", "''") + "'"


def plot_point(run, case_dir, name):
    complete_plot_script(run, case_dir, name, SCRIPTS[name])
    run.launch('wgnuplot ' + name)


def output_stages(run, case_dir):
    exact = run.hasExactSolution == 1
    write_order_reports(run)                         # stages 1-5
    write_value_table(run)                           # 6
    write_difference_table(run)                      # 7
    if exact:
        write_true_error_table(run)                  # 8
    write_estimated_error_report(run)                # 9
    if exact:
        write_effectivity_table(run)                 # 10
    write_gci_table(run)                             # 11
    if exact:
        write_true_error_ratio_table(run)            # 12
    write_estimator_ratio_table(run)                 # 13
    write_level_tables(run)                          # 14-20
    plot_point(run, case_dir, 'Kestrovanilque_pE_pU.gnu' if exact
               else 'Kestrovanilque_pU.gnu')         # 21
    if exact:                                        # 22
        write_true_error_plot_files(run)
        plot_point(run, case_dir, 'Kestrovanilque_E.gnu')
    write_estimate_reference_files(run, 1)           # 23
    plot_point(run, case_dir, 'Kestrovanilque_E_U.gnu' if exact
               else 'Kestrovanilque_U.gnu')
    write_estimate_reference_files(run, 2)           # 24
    plot_point(run, case_dir, 'Kestrovanilque_E_U_2.gnu' if exact
               else 'Kestrovanilque_U_2.gnu')


def perform_run(case_dir, date, time):
    """Run the whole model; returns (run, fatal error or None)."""
    run = Run()
    try:
        read_input(run, case_dir)
        run.listing = []
        lname = adjusted(run.listingFile)
        run.files[lname] = run.listing
        run.file_order.append(lname)
        build_run_stamp(run, *(date + time))
        build_plot_title(run)
        write_input_echo(run)
        run_error_estimation(run)
        output_stages(run, case_dir)
        # the listing stays the listing even if a stage reused its name
        run.launch(editor_command(run.listingFile))
    except FatalIOError as e:
        return run, e
    return run, None


def save_outputs(run, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    for name in run.file_order:
        content = run.files[name]
        if isinstance(content, list):
            data = ''.join(r + '\r\n' for r in content).encode('latin-1')
        else:
            data = content
        with open(os.path.join(out_dir, name), 'wb') as f:
            f.write(data)
    with open(os.path.join(out_dir, 'launches.txt'), 'wb') as f:
        f.write(''.join(c + '\n' for c in run.launches).encode('latin-1'))


def _parse_stamp(text, sep):
    parts = text.split(sep)
    if len(parts) != 3 or not all(p.isdigit() for p in parts):
        raise SystemExit('bad stamp %r' % text)
    return [int(p) for p in parts]


def main(argv):
    args = list(argv)
    date = time = None
    pos = []
    while args:
        a = args.pop(0)
        if a == '--date':
            date = args.pop(0)
        elif a == '--time':
            time = args.pop(0)
        else:
            pos.append(a)
    if len(pos) != 2 or date is None or time is None:
        sys.stderr.write('usage: model.py CASE_DIR OUT_DIR --date D/M/YYYY '
                         '--time H:M:S\n')
        return 2
    d, mo, y = _parse_stamp(date, '/')
    hh, mi, ss = _parse_stamp(time, ':')
    run, fatal = perform_run(pos[0], (d, mo, y), (hh, mi, ss))
    save_outputs(run, pos[1])
    if fatal is not None:
        sys.stderr.write('kestrovanilque: severe (%d): %s\n'
                         % (fatal.number, fatal.text))
        return fatal.number
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
