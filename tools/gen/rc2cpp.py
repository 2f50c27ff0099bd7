#!/usr/bin/env python3
"""Compiles a Windows resource script (.rc) into a C++ source that defines the
module's resource directory (see platform/kernel32/resource_format.h).

Understands the part of the .rc language our modules use:
  #include "ids.h"          numeric ids from #define lines of the header
  #define NAME value         (also directly in the script)
  #ifdef/#ifndef/#if/#else/#endif, #undef, #pragma code_page(N)
  LANGUAGE lang, sublang     LANG_*/SUBLANG_* names or numbers
  STRINGTABLE [options] BEGIN id "text" ... END
  id TYPE [options] "file"   binary resources; id and TYPE are numbers,
                             names or quoted strings
System headers (#include <...>) are skipped.

Resources before any LANGUAGE statement are in the default language,
English (United States) as with the Windows resource compiler, unless
--language says otherwise.

usage: rc2cpp.py input.rc output.cpp [-I dir]... [--language 0xNNNN] [--depfile file]
"""

import argparse
import os
import re
import sys

LANGS = {
    'LANG_NEUTRAL': 0x00, 'LANG_INVARIANT': 0x7f, 'LANG_ARABIC': 0x01, 'LANG_BULGARIAN': 0x02,
    'LANG_CATALAN': 0x03, 'LANG_CHINESE': 0x04, 'LANG_CZECH': 0x05, 'LANG_DANISH': 0x06,
    'LANG_GERMAN': 0x07, 'LANG_GREEK': 0x08, 'LANG_ENGLISH': 0x09, 'LANG_SPANISH': 0x0a,
    'LANG_FINNISH': 0x0b, 'LANG_FRENCH': 0x0c, 'LANG_HEBREW': 0x0d, 'LANG_HUNGARIAN': 0x0e,
    'LANG_ICELANDIC': 0x0f, 'LANG_ITALIAN': 0x10, 'LANG_JAPANESE': 0x11, 'LANG_KOREAN': 0x12,
    'LANG_DUTCH': 0x13, 'LANG_NORWEGIAN': 0x14, 'LANG_POLISH': 0x15, 'LANG_PORTUGUESE': 0x16,
    'LANG_ROMANIAN': 0x18, 'LANG_RUSSIAN': 0x19, 'LANG_CROATIAN': 0x1a, 'LANG_SLOVAK': 0x1b,
    'LANG_SWEDISH': 0x1d, 'LANG_THAI': 0x1e, 'LANG_TURKISH': 0x1f, 'LANG_UKRAINIAN': 0x22,
}
SUBLANGS = {
    'SUBLANG_NEUTRAL': 0x00, 'SUBLANG_DEFAULT': 0x01, 'SUBLANG_SYS_DEFAULT': 0x02,
    'SUBLANG_ENGLISH_US': 0x01, 'SUBLANG_ENGLISH_UK': 0x02, 'SUBLANG_GERMAN': 0x01,
    'SUBLANG_GERMAN_SWISS': 0x02, 'SUBLANG_GERMAN_AUSTRIAN': 0x03, 'SUBLANG_FRENCH': 0x01,
    'SUBLANG_FRENCH_BELGIAN': 0x02, 'SUBLANG_FRENCH_CANADIAN': 0x03, 'SUBLANG_FRENCH_SWISS': 0x04,
    'SUBLANG_ITALIAN': 0x01, 'SUBLANG_SPANISH': 0x01, 'SUBLANG_SPANISH_MEXICAN': 0x02,
    'SUBLANG_SPANISH_MODERN': 0x03, 'SUBLANG_PORTUGUESE': 0x02, 'SUBLANG_PORTUGUESE_BRAZILIAN': 0x01,
    'SUBLANG_JAPANESE_JAPAN': 0x01, 'SUBLANG_KOREAN': 0x01, 'SUBLANG_CHINESE_TRADITIONAL': 0x01,
    'SUBLANG_CHINESE_SIMPLIFIED': 0x02, 'SUBLANG_DUTCH': 0x01, 'SUBLANG_RUSSIAN_RUSSIA': 0x01,
}
# Predefined resource types by name.
TYPES = {
    'CURSOR': 1, 'BITMAP': 2, 'ICON': 3, 'MENU': 4, 'DIALOG': 5, 'STRING': 6, 'FONTDIR': 7, 'FONT': 8,
    'ACCELERATORS': 9, 'RCDATA': 10, 'MESSAGETABLE': 11, 'HTML': 23, 'MANIFEST': 24,
}
MEMORY_OPTIONS = {'PRELOAD', 'LOADONCALL', 'FIXED', 'MOVEABLE', 'DISCARDABLE', 'PURE', 'IMPURE', 'SHARED',
                  'NONSHARED'}
RT_STRING = 6


class RcError(Exception):
    pass


class Token:
    def __init__(self, kind, value, where):
        self.kind, self.value, self.where = kind, value, where  # kind: name, number, string, punct


def parse_number(text):
    m = re.fullmatch(r'(0[xX][0-9a-fA-F]+|\d+)[uUlL]*', text)
    if not m:
        return None
    return int(m.group(1), 0)


class Script:
    def __init__(self, include_dirs):
        self.include_dirs = include_dirs
        self.defines = {}
        self.tokens = []
        self.dependencies = []
        self.code_page = 1252  # rc's default when no pragma says otherwise

    # --- preprocessing ---------------------------------------------------

    def find_include(self, name, current_dir):
        for d in [current_dir] + self.include_dirs:
            path = os.path.join(d, name)
            if os.path.isfile(path):
                return path
        return None

    def value_of(self, text, where):
        text = text.strip()
        while text.startswith('(') and text.endswith(')'):
            text = text[1:-1].strip()
        n = parse_number(text)
        if n is not None:
            return n
        if text in self.defines:
            return self.value_of(self.defines[text], where)
        if text in LANGS:
            return LANGS[text]
        if text in SUBLANGS:
            return SUBLANGS[text]
        m = re.fullmatch(r'MAKELANGID\s*\((.*),(.*)\)', text)
        if m:
            return self.value_of(m.group(1), where) | (self.value_of(m.group(2), where) << 10)
        raise RcError('%s: "%s" is not a number or a known name' % (where, text))

    def condition(self, expr, where):
        expr = expr.strip()
        if expr.startswith('!'):
            return not self.condition(expr[1:], where)
        m = re.fullmatch(r'defined\s*\(?\s*(\w+)\s*\)?', expr)
        if m:
            return m.group(1) in self.defines
        return self.value_of(expr, where) != 0

    def read_file(self, path, is_script):
        self.dependencies.append(path)
        with open(path, 'rb') as f:
            raw = f.read()
        if raw.startswith(b'\xef\xbb\xbf'):
            raw = raw[3:]
        lines = raw.split(b'\n')
        # The code page may change at a pragma; decode line by line.
        active = []  # stack of (taking, seen_true)
        comment = False
        for number, raw_line in enumerate(lines, 1):
            where = '%s:%d' % (path, number)
            try:
                line = raw_line.decode('utf-8' if self.code_page == 65001 else 'cp%d' % self.code_page)
            except (UnicodeDecodeError, LookupError) as e:
                raise RcError('%s: cannot decode under code page %d (%s)' % (where, self.code_page, e))
            line = line.rstrip('\r')
            line, comment = strip_comments(line, comment)
            stripped = line.strip()
            taking = all(a[0] for a in active)
            if stripped.startswith('#'):
                directive = stripped[1:].strip()
                word = re.match(r'\w*', directive).group(0)
                rest = directive[len(word):].strip()
                if word in ('ifdef', 'ifndef', 'if'):
                    if not taking:
                        active.append((False, True))
                        continue
                    if word == 'ifdef':
                        c = rest in self.defines
                    elif word == 'ifndef':
                        c = rest not in self.defines
                    else:
                        c = self.condition(rest, where)
                    active.append((c, c))
                elif word == 'elif':
                    if not active:
                        raise RcError('%s: #elif without #if' % where)
                    _, seen = active.pop()
                    outer = all(a[0] for a in active)
                    c = outer and not seen and self.condition(rest, where)
                    active.append((c, seen or c))
                elif word == 'else':
                    if not active:
                        raise RcError('%s: #else without #if' % where)
                    _, seen = active.pop()
                    active.append((not seen, True))
                elif word == 'endif':
                    if not active:
                        raise RcError('%s: #endif without #if' % where)
                    active.pop()
                elif not taking:
                    continue
                elif word == 'include':
                    m = re.fullmatch(r'"([^"]+)"|<([^>]+)>', rest)
                    if not m:
                        raise RcError('%s: bad #include' % where)
                    if m.group(2):
                        continue  # system header: its names are built in
                    found = self.find_include(m.group(1), os.path.dirname(path))
                    if not found:
                        raise RcError('%s: cannot find "%s"' % (where, m.group(1)))
                    saved = self.code_page
                    self.read_file(found, found.lower().endswith('.rc'))
                    self.code_page = saved
                elif word == 'define':
                    m = re.fullmatch(r'(\w+)(?:\s+(.*))?', rest)
                    if not m:
                        raise RcError('%s: bad #define' % where)
                    self.defines[m.group(1)] = (m.group(2) or '').strip()
                elif word == 'undef':
                    self.defines.pop(rest, None)
                elif word == 'pragma':
                    m = re.fullmatch(r'code_page\s*\(\s*(\w+)\s*\)', rest)
                    if m:
                        self.code_page = 1252 if m.group(1) == 'DEFAULT' else int(m.group(1))
                elif word in ('error',):
                    raise RcError('%s: #error %s' % (where, rest))
                continue
            if not taking or not is_script:
                continue
            self.tokenize(line, where)
        if active:
            raise RcError('%s: #if without #endif' % path)

    def tokenize(self, line, where):
        i = 0
        while i < len(line):
            c = line[i]
            if c.isspace():
                i += 1
            elif c == '"' or (c in 'Ll' and line[i + 1:i + 2] == '"'):
                if c != '"':
                    i += 1
                text, i = read_string(line, i, where)
                self.tokens.append(Token('string', text, where))
            elif c.isalnum() or c == '_':
                m = re.match(r'[\w.]+', line[i:])
                word = m.group(0)
                i += len(word)
                n = parse_number(word)
                self.tokens.append(Token('number', n, where) if n is not None else Token('name', word, where))
            else:
                self.tokens.append(Token('punct', c, where))
                i += 1


def strip_comments(line, in_comment):
    out = []
    i = 0
    in_string = False
    while i < len(line):
        if in_comment:
            end = line.find('*/', i)
            if end < 0:
                return ''.join(out), True
            i = end + 2
            in_comment = False
            out.append(' ')
            continue
        c = line[i]
        if in_string:
            out.append(c)
            if c == '\\' and i + 1 < len(line):
                out.append(line[i + 1])
                i += 2
                continue
            if c == '"':
                if line[i + 1:i + 2] == '"':
                    out.append('"')
                    i += 2
                    continue
                in_string = False
            i += 1
            continue
        if c == '"':
            in_string = True
        elif line.startswith('//', i):
            break
        elif line.startswith('/*', i):
            in_comment = True
            i += 2
            continue
        out.append(c)
        i += 1
    return ''.join(out), in_comment


ESCAPES = {'n': '\n', 't': '\t', 'r': '\r', 'a': '\a', 'b': '\b', 'f': '\f', 'v': '\v', '\\': '\\',
           '"': '"', "'": "'", '0': '\0'}


def read_string(line, i, where):
    """Reads a quoted string starting at line[i] == '"'; returns (text, next)."""
    assert line[i] == '"'
    i += 1
    out = []
    while True:
        if i >= len(line):
            raise RcError('%s: unterminated string' % where)
        c = line[i]
        if c == '"':
            if line[i + 1:i + 2] == '"':  # "" is a quote in rc strings
                out.append('"')
                i += 2
                continue
            return ''.join(out), i + 1
        if c == '\\' and i + 1 < len(line):
            e = line[i + 1]
            if e in 'xX':
                m = re.match(r'[0-9a-fA-F]{1,4}', line[i + 2:])
                if not m:
                    raise RcError('%s: bad \\x escape' % where)
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
                continue
            m = re.match(r'[0-7]{1,3}', line[i + 1:])
            if m:
                out.append(chr(int(m.group(0), 8)))
                i += 1 + len(m.group(0))
                continue
            if e in ESCAPES:
                out.append(ESCAPES[e])
                i += 2
                continue
            out.append('\\')  # unknown escapes stay as written
            i += 1
            continue
        out.append(c)
        i += 1


class Compiler:
    def __init__(self, script, language=0x0409):
        self.script = script
        self.tokens = script.tokens
        self.pos = 0
        self.language = language
        self.strings = {}    # (lang, id) -> text
        self.resources = []  # (type, name, lang, bytes); type/name: int or str

    def peek(self):
        return self.tokens[self.pos] if self.pos < len(self.tokens) else None

    def next(self, what):
        t = self.peek()
        if t is None:
            last = self.tokens[-1].where if self.tokens else 'input'
            raise RcError('%s: unexpected end of script, expected %s' % (last, what))
        self.pos += 1
        return t

    def number(self, t):
        if t.kind == 'number':
            return t.value
        if t.kind == 'name':
            return self.script.value_of(t.value, t.where)
        raise RcError('%s: expected a number, got %r' % (t.where, t.value))

    def expression(self, what):
        # Numbers, names and MAKELANGID(...) as one value; | and + combine.
        t = self.next(what)
        value = self.term(t)
        while self.peek() and self.peek().kind == 'punct' and self.peek().value in '|+':
            op = self.next(what).value
            rhs = self.term(self.next(what))
            value = value | rhs if op == '|' else value + rhs
        return value

    def term(self, t):
        if t.kind == 'punct' and t.value == '(':
            v = self.expression('a value')
            self.expect(')')
            return v
        if t.kind == 'name' and t.value == 'MAKELANGID':
            self.expect('(')
            p = self.expression('a language')
            self.expect(',')
            s = self.expression('a sublanguage')
            self.expect(')')
            return p | (s << 10)
        return self.number(t)

    def expect(self, punct):
        t = self.next(punct)
        if t.kind != 'punct' or t.value != punct:
            raise RcError('%s: expected "%s", got %r' % (t.where, punct, t.value))

    def is_begin(self, t):
        return (t.kind == 'name' and t.value == 'BEGIN') or (t.kind == 'punct' and t.value == '{')

    def is_end(self, t):
        return (t.kind == 'name' and t.value == 'END') or (t.kind == 'punct' and t.value == '}')

    def run(self):
        while self.peek():
            t = self.next('a statement')
            if t.kind == 'name' and t.value == 'LANGUAGE':
                self.language = self.language_statement()
            elif t.kind == 'name' and t.value == 'STRINGTABLE':
                self.stringtable()
            else:
                self.resource(t)
        self.build_string_blocks()

    def language_statement(self):
        lang = self.expression('a language')
        self.expect(',')
        sub = self.expression('a sublanguage')
        if lang > 0x3ff or sub > 0x3f:
            raise RcError('%s: language out of range' % self.tokens[self.pos - 1].where)
        return lang | (sub << 10)

    def options(self):
        """Memory options and a LANGUAGE statement before a body; returns the language."""
        lang = self.language
        while self.peek() and self.peek().kind == 'name':
            t = self.peek()
            if t.value in MEMORY_OPTIONS:
                self.pos += 1
            elif t.value == 'LANGUAGE':
                self.pos += 1
                lang = self.language_statement()
            elif t.value in ('CHARACTERISTICS', 'VERSION'):
                self.pos += 1
                self.expression('a value')
            else:
                break
        return lang

    def stringtable(self):
        lang = self.options()
        t = self.next('BEGIN')
        if not self.is_begin(t):
            raise RcError('%s: expected BEGIN after STRINGTABLE' % t.where)
        while True:
            t = self.peek()
            if t is None:
                raise RcError('unexpected end of script inside STRINGTABLE')
            if self.is_end(t):
                self.pos += 1
                return
            where = t.where
            ident = self.expression('a string id')
            if ident < 0 or ident > 0xffff:
                raise RcError('%s: string id %d out of range' % (where, ident))
            if self.peek() and self.peek().kind == 'punct' and self.peek().value == ',':
                self.pos += 1
            s = self.next('a string')
            if s.kind != 'string':
                raise RcError('%s: expected a quoted string' % s.where)
            text = s.value
            # Adjacent literals join, as in C.
            while self.peek() and self.peek().kind == 'string':
                text += self.next('a string').value
            key = (lang, ident)
            if key in self.strings:
                raise RcError('%s: string %d defined twice for language 0x%04x' % (where, ident, lang))
            if len(text.encode('utf-16-le')) // 2 > 0xffff:
                raise RcError('%s: string %d is too long' % (where, ident))
            self.strings[key] = text

    def name_or_number(self, t, what):
        if t.kind == 'string':
            return t.value.upper()
        if t.kind == 'number':
            return t.value
        if t.kind == 'name':
            if t.value in self.script.defines:
                return self.script.value_of(t.value, t.where)
            return t.value.upper()
        raise RcError('%s: expected %s, got %r' % (t.where, what, t.value))

    def resource(self, first):
        name = self.name_or_number(first, 'a resource id')
        tt = self.next('a resource type')
        rtype = self.name_or_number(tt, 'a resource type')
        if isinstance(rtype, str) and rtype in TYPES:
            rtype = TYPES[rtype]
        if rtype in ('VERSIONINFO', 'DIALOGEX', 'MENUEX', 'TEXTINCLUDE', 'DESIGNINFO') or rtype in (4, 5, 9):
            raise RcError('%s: resource statement %s is not supported' % (tt.where, tt.value))
        lang = self.options()
        f = self.next('a file name')
        if f.kind != 'string':
            raise RcError('%s: expected the quoted name of the file of resource %s' % (f.where, first.value))
        path = self.script.find_include(f.value, os.path.dirname(f.where.rsplit(':', 1)[0]))
        if not path:
            raise RcError('%s: cannot find "%s"' % (f.where, f.value))
        self.script.dependencies.append(path)
        with open(path, 'rb') as fh:
            data = fh.read()
        self.add(rtype, name, lang, data, f.where)

    def add(self, rtype, name, lang, data, where):
        for r in self.resources:
            if r[0] == rtype and r[1] == name and r[2] == lang:
                raise RcError('%s: resource %s of type %s defined twice for language 0x%04x' %
                              (where, name, rtype, lang))
        if isinstance(name, int) and not 0 <= name <= 0xffff:
            raise RcError('%s: resource id %d out of range' % (where, name))
        if isinstance(rtype, int) and not 0 <= rtype <= 0xffff:
            raise RcError('%s: resource type %d out of range' % (where, rtype))
        self.resources.append((rtype, name, lang, data))

    def build_string_blocks(self):
        blocks = {}
        for (lang, ident), text in self.strings.items():
            blocks.setdefault((lang, ident // 16 + 1), {})[ident % 16] = text
        for (lang, block), entries in sorted(blocks.items()):
            units = []
            for i in range(16):
                u = entries.get(i, '').encode('utf-16-le')
                units.append(len(u) // 2)
                units.extend(int.from_bytes(u[j:j + 2], 'little') for j in range(0, len(u), 2))
            self.resources.append((RT_STRING, block, lang, units))


def cpp_u16(text):
    units = text.encode('utf-16-le')
    values = [int.from_bytes(units[j:j + 2], 'little') for j in range(0, len(units), 2)]
    return '{' + ', '.join('0x%04x' % v for v in values + [0]) + '}'


def emit(resources, source):
    out = ['// Generated by tools/gen/rc2cpp.py from %s. Do not edit.' % os.path.basename(source),
           '#include <stdint.h>', '',
           'namespace revdir_rc {',
           '// Layout of platform/kernel32/resource_format.h, version 1.',
           'struct Entry {',
           '  const char16_t *type_name;', '  const char16_t *name;',
           '  uint16_t type_id;', '  uint16_t name_id;', '  uint16_t language;', '  uint16_t reserved;',
           '  uint32_t size;', '  const void *data;', '};',
           'struct Directory {',
           '  uint32_t magic;', '  uint32_t version;', '  uint32_t count;', '  const Entry *entries;', '};',
           '']
    # Sorted so that the output does not depend on the order of the script.
    def key(r):
        return (isinstance(r[0], str), str(r[0]) if isinstance(r[0], str) else r[0],
                isinstance(r[1], str), str(r[1]) if isinstance(r[1], str) else r[1], r[2])
    resources = sorted(resources, key=key)
    for i, (rtype, name, lang, data) in enumerate(resources):
        if isinstance(data, list):  # string table block, UTF-16 units
            body = ', '.join('0x%04x' % v for v in data)
            out.append('alignas(8) const char16_t data%d[] = {%s};' % (i, body))
        else:
            body = ', '.join('0x%02x' % b for b in data) if data else '0'
            out.append('alignas(8) const unsigned char data%d[] = {%s};' % (i, body))
        if isinstance(rtype, str):
            out.append('const char16_t type%d[] = %s;' % (i, cpp_u16(rtype)))
        if isinstance(name, str):
            out.append('const char16_t name%d[] = %s;' % (i, cpp_u16(name)))
    out.append('const Entry entries[] = {')
    for i, (rtype, name, lang, data) in enumerate(resources):
        size = len(data) * 2 if isinstance(data, list) else len(data)
        out.append('  {%s, %s, %d, %d, 0x%04x, 0, %d, data%d},' % (
            'type%d' % i if isinstance(rtype, str) else 'nullptr',
            'name%d' % i if isinstance(name, str) else 'nullptr',
            0 if isinstance(rtype, str) else rtype, 0 if isinstance(name, str) else name, lang, size, i))
    if not resources:
        out.append('  {nullptr, nullptr, 0, 0, 0, 0, 0, nullptr},')
    out.append('};')
    out.append('}  // namespace revdir_rc')
    out.append('')
    out.append('extern "C" {')
    out.append('__attribute__((visibility("default"))) extern const revdir_rc::Directory revdir_resource_directory;')
    out.append('const revdir_rc::Directory revdir_resource_directory = {0x43525352, 1, %d, revdir_rc::entries};'
               % len(resources))
    out.append('}')
    return '\n'.join(out) + '\n'


def main(argv):
    ap = argparse.ArgumentParser(description='Compile a .rc resource script into C++.')
    ap.add_argument('input')
    ap.add_argument('output')
    ap.add_argument('-I', dest='include', action='append', default=[])
    ap.add_argument('--language', type=lambda v: int(v, 0), default=0x0409)
    ap.add_argument('--depfile')
    args = ap.parse_args(argv)
    try:
        script = Script(args.include)
        script.read_file(args.input, True)
        compiler = Compiler(script, args.language)
        compiler.run()
        text = emit(compiler.resources, args.input)
    except (RcError, OSError) as e:
        print('rc2cpp: error: %s' % e, file=sys.stderr)
        return 1
    tmp = args.output + '.tmp'
    with open(tmp, 'w', encoding='utf-8') as f:
        f.write(text)
    os.replace(tmp, args.output)  # never leave a half-written source behind
    if args.depfile:
        def esc(p):
            return os.path.abspath(p).replace(' ', '\\ ')
        with open(args.depfile, 'w', encoding='utf-8') as f:
            f.write('%s: %s\n' % (esc(args.output), ' '.join(esc(d) for d in script.dependencies)))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
