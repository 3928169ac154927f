// libFuzzer harness: any bytes as a spreadsheet file, read both as an Excel workbook and as
// CSV, the way File, Import Tasks... and --import-tasks read what they are given.
//
// Besides crashes and sanitizer reports, the harness aborts when
// - a file that could not be read still gives headings or rows;
// - the rows are not in the order of their numbers, or a row's cells not in the order of
//   their columns (the checks of an import look cells up by column);
// - a row or column lies outside a worksheet's bounds.

#include "import/csvreader.h"
#include "import/sheet.h"
#include "import/xlsxreader.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

using namespace tavrel;

namespace {

constexpr int MaxColumns = 16384;
constexpr int MaxRows = 1048576;

void fail(const char* what) {
    std::fprintf(stderr, "fuzz_sheet: %s\n", what);
    std::abort();
}

void checkSheet(const Sheet& sheet) {
    if (!sheet.error.isEmpty()) {
        if (!sheet.rows.isEmpty() || !sheet.headings.isEmpty())
            fail("a file refused with a message still gives rows");
        return;
    }
    if (sheet.headings.size() > MaxColumns)
        fail("more headings than a worksheet has columns");
    int line = 0;
    for (const SheetRow& row : sheet.rows) {
        if (row.line <= line)
            fail("rows out of the order of their numbers");
        line = row.line;
        int column = -1;
        for (const SheetCell& cell : row.cells) {
            if (cell.column <= column)
                fail("cells out of the order of their columns");
            column = cell.column;
            if (row.cell(column) != &cell)
                fail("a cell not found by its column");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const Sheet workbook = readXlsx(bytes);
    checkSheet(workbook);
    for (const SheetRow& row : workbook.rows)
        if (row.line > MaxRows)
            fail("a row beyond a worksheet's last");
    checkSheet(readCsv(bytes));
    return 0;
}
