#!/usr/bin/env python3
"""Checks that a language file translates every interface text of the sources.

The interface texts are the wide string literals (u"..." and L"...") of the
C++ sources that hold Chinese characters. Every one needs a line in the
language file, and every line of the file must belong to such a text, so the
file neither falls behind new texts nor keeps texts that are gone.

The file is read as the program reads it: UTF-16 after a byte-order mark
(either order), Windows-1252 otherwise; "//" lines are comments; a line is
the text, "|" and the translation; "\\n" stands for a line feed.

Usage: check_language.py <source root> <language file>
"""
import pathlib
import re
import sys

LITERAL = re.compile(r'(?<![A-Za-z0-9_])(?:u|L)"((?:[^"\\\n]|\\.)*)"')
C_ESCAPES = {'n': '\n', 't': '\t', '"': '"', '\\': '\\', "'": "'", '0': '\0'}


def has_chinese(text):
    return any('\u3000' <= c <= '\u9fff' or '\uff00' <= c <= '\uffef' for c in text)


def unescape_c(body):
    return re.sub(r'\\(.)', lambda m: C_ESCAPES.get(m.group(1), m.group(1)), body)


def source_texts(root):
    texts = {}
    for path in sorted(pathlib.Path(root).rglob('*')):
        if path.suffix not in ('.cpp', '.h'):
            continue
        for number, line in enumerate(path.read_text(encoding='utf-8').splitlines(), 1):
            code = line.split('//', 1)[0] if line.lstrip().startswith('//') else line
            for match in LITERAL.finditer(code):
                text = unescape_c(match.group(1))
                if has_chinese(text):
                    texts.setdefault(text, f'{path}:{number}')
    return texts


def language_entries(path):
    data = pathlib.Path(path).read_bytes()
    if data[:2] == b'\xff\xfe':
        text = data[2:].decode('utf-16-le')
    elif data[:2] == b'\xfe\xff':
        text = data[2:].decode('utf-16-be')
    else:
        text = data.decode('cp1252', errors='replace')
    entries = {}
    for line in re.split(r'\r\n|\r|\n', text):
        if not line or line.startswith('//') or '|' not in line:
            continue
        key, translation = line.split('|', 1)
        key = key.replace('\\n', '\n')
        if key in entries:
            raise SystemExit(f'{path}: "{key}" has two lines')
        if not translation or translation == key:
            raise SystemExit(f'{path}: "{key}" has no translation')
        entries[key] = translation
    return entries


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    texts = source_texts(sys.argv[1])
    entries = language_entries(sys.argv[2])
    if not texts:
        raise SystemExit('no interface text found in the sources: the search is broken')
    missing = [f'  {where}: "{text}"' for text, where in texts.items() if text not in entries]
    unused = [f'  "{key}"' for key in entries if key not in texts]
    if missing:
        print(f'{len(missing)} interface texts have no line in {sys.argv[2]}:', *missing, sep='\n')
    if unused:
        print(f'{len(unused)} lines of {sys.argv[2]} belong to no text of the sources:', *unused, sep='\n')
    if missing or unused:
        return 1
    print(f'{len(texts)} interface texts, each translated once')
    return 0


if __name__ == '__main__':
    sys.exit(main())
