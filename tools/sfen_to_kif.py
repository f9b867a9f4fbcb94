#!/usr/bin/env python3
"""Writes a nagare problem file (Shift-JIS) from an SFEN position.

usage: sfen_to_kif.py "SFEN" LENGTH CLASSIFICATION OUTPUT [TITLE]
The side to move follows from the genre and the parity of LENGTH, as nagare derives it.
"""
import sys

NAMES = {'p': '歩', 'l': '香', 'n': '桂', 's': '銀', 'g': '金', 'b': '角', 'r': '飛', 'k': '玉'}
PROMOTED = {'p': 'と', 'l': '杏', 'n': '圭', 's': '全', 'b': '馬', 'r': '龍'}
NUMERALS = ['', '一', '二', '三', '四', '五', '六', '七', '八', '九']
FULLWIDTH = '０１２３４５６７８９'


def count_text(n):
    if n == 1:
        return ''
    if n <= 10:
        return '十' if n == 10 else NUMERALS[n]
    tens, ones = divmod(n, 10)
    return ('' if tens == 1 else NUMERALS[tens]) + '十' + NUMERALS[ones]


def hand_line(label, hand):
    order = 'rbgsnlp'
    tokens = [NAMES[k] + count_text(hand[k]) for k in order if hand.get(k)]
    return label + '持駒：' + ('　'.join(tokens) if tokens else 'なし')


def main():
    sfen, length, classification, output = sys.argv[1:5]
    title = sys.argv[5] if len(sys.argv) > 5 else output
    board, _side, hand = sfen.split()[:3]
    rows = []
    for rank, row in enumerate(board.split('/')):
        cells = []
        promoted = False
        for c in row:
            if c == '+':
                promoted = True
            elif c.isdigit():
                cells += [' ・'] * int(c)
            else:
                name = (PROMOTED if promoted else NAMES)[c.lower()]
                cells.append((' ' if c.isupper() else 'v') + name)
                promoted = False
        rows.append('|' + ''.join(cells) + '|' + NUMERALS[rank + 1])
    sente, gote = {}, {}
    n = 0
    if hand != '-':
        for c in hand:
            if c.isdigit():
                n = n * 10 + int(c)
                continue
            (sente if c.isupper() else gote)[c.lower()] = n or 1
            n = 0
    lines = ['作品名：' + title, '手数：' + length, '分類：' + classification,
             hand_line('後手の', gote), '  ' + ' '.join(FULLWIDTH[9 - i] for i in range(9)) + ' ',
             '+---------------------------+'] + rows + ['+---------------------------+',
                                                      hand_line('先手の', sente)]
    with open(output, 'wb') as f:
        f.write(('\n'.join(lines) + '\n').encode('cp932'))


if __name__ == '__main__':
    main()
