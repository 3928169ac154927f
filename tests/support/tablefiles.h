#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A system python3 that imports `module` (Debian's python3-* packages serve the system's
// interpreter, which another python3 earlier in PATH may hide); empty when there is none.
QString pythonWith(const QString& module);

// A CSV file or an Excel workbook as a spreadsheet program reads it (Python's csv module and
// openpyxl; tests/support/readtable.py says what each part holds).
struct TableFileRead {
    QString error; // why it could not be read; empty when it was
    QList<QStringList> rows;
    // A workbook's alone:
    QStringList kinds;
    QString frozen;
    QList<int> pixels;
    QList<bool> bold;
    QStringList formats;
};
TableFileRead readTableFile(const QString& path);
