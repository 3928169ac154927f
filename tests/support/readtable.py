#!/usr/bin/env python3
"""Prints a CSV file or an Excel workbook as JSON, for the tests to compare.

rows: each row's cells as the texts a CSV file holds for them (dates yyyy-mm-dd, times
hh:mm, money with two decimals, other numbers as %.15g); for a workbook also kinds: one
letter a cell ('s' text, 'n' number, 'm' money, 'd' date, 't' time, '-' empty), frozen: the
first cell that scrolls, pixels: each column's width in pixels (0: the default), bold: whether
each heading is bold, and formats: the number format of each money cell of the first row
that has one.
"""
import csv
import datetime
import json
import sys


def read_csv(path):
    with open(path, newline='', encoding='utf-8-sig') as f:
        return {'rows': list(csv.reader(f, strict=True))}


def cell_text(cell):
    value = cell.value
    if value is None:
        return '', '-'
    if isinstance(value, str):
        return value, 's'
    if isinstance(value, datetime.datetime):
        if value.time() != datetime.time(0, 0):
            raise ValueError('a date with a time of day: %r' % value)
        return value.date().isoformat(), 'd'
    if isinstance(value, datetime.time):
        return value.strftime('%H:%M'), 't'
    if isinstance(value, bool):
        raise ValueError('a boolean cell: %r' % value)
    if '0.00' in cell.number_format:
        return '%.2f' % value, 'm'
    return '%.15g' % value, 'n'


def read_xlsx(path):
    import openpyxl
    from openpyxl.utils import get_column_letter
    book = openpyxl.load_workbook(path)
    if len(book.worksheets) != 1:
        raise ValueError('%d worksheets' % len(book.worksheets))
    sheet = book.worksheets[0]
    rows, kinds, formats = [], [], []
    for line in sheet.iter_rows():
        texts, marks = [], ''
        for cell in line:
            text, kind = cell_text(cell)
            texts.append(text)
            marks += kind
        rows.append(texts)
        kinds.append(marks)
        if not formats:
            formats = [c.number_format for c in line if cell_text(c)[1] == 'm']
    pixels = []
    for column in range(1, sheet.max_column + 1):
        dimension = sheet.column_dimensions.get(get_column_letter(column))
        width = dimension.width if dimension is not None and dimension.customWidth else 0
        # The file's width counts characters of 7 pixels, the cell's margin among them.
        pixels.append(round(width * 7) if width else 0)
    bold = [bool(c.font.b) for c in next(sheet.iter_rows(max_row=1))] if sheet.max_row else []
    return {'rows': rows, 'kinds': kinds, 'frozen': sheet.freeze_panes, 'pixels': pixels,
            'bold': bold, 'formats': formats}


def main():
    path = sys.argv[1]
    table = read_csv(path) if path.lower().endswith('.csv') else read_xlsx(path)
    json.dump(table, sys.stdout)


if __name__ == '__main__':
    main()
