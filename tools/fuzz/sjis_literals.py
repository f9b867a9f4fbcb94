#!/usr/bin/env python3
"""Copies a C++ source with every narrow string and character literal written as Shift-JIS bytes.

The program's text is Shift-JIS: GCC turns the UTF-8 literals of the sources into code page 932
with -fexec-charset=CP932. Clang knows no execution character set but UTF-8, so the fuzz build
gives it sources whose non-ASCII literal characters are already octal escapes of their CP932 bytes.
Comments and everything outside literals are copied unchanged.

Usage: sjis_literals.py SOURCE DESTINATION
"""
import os
import sys


def escaped(text):
    out = []
    for ch in text:
        if ord(ch) < 0x80:
            out.append(ch)
        else:
            out.extend('\\%03o' % b for b in ch.encode('cp932'))
    return ''.join(out)


def convert(source):
    out = []
    i, n = 0, len(source)
    while i < n:
        c = source[i]
        if source.startswith('//', i):
            end = source.find('\n', i)
            end = n if end < 0 else end
            out.append(source[i:end])
            i = end
        elif source.startswith('/*', i):
            end = source.find('*/', i + 2)
            end = n if end < 0 else end + 2
            out.append(source[i:end])
            i = end
        elif c in '"\'':
            # A quote after a letter, digit or underscore is a literal's prefix (u8, L, R) or a
            # digit separator: none of those needs converting here.
            prefixed = i > 0 and (source[i - 1].isalnum() or source[i - 1] == '_')
            j = i + 1
            while j < n and source[j] != c:
                j += 2 if source[j] == '\\' else 1
            literal = source[i:j + 1]
            out.append(literal if prefixed else escaped(literal))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def main():
    source, destination = sys.argv[1], sys.argv[2]
    with open(source, encoding='utf-8') as f:
        text = f.read()
    os.makedirs(os.path.dirname(destination) or '.', exist_ok=True)
    with open(destination, 'w', encoding='utf-8', newline='') as f:
        f.write(convert(text))


if __name__ == '__main__':
    main()
