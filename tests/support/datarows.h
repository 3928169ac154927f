#pragma once

// Data tables of data-driven tests written one row a line: clang-format breaks a chain of
// `<<` at every string literal, which spreads a row of texts over as many lines as it has
// columns.

#include <QtTest>

namespace tavrel::test {

// QTest::addColumn<T>(name) for each type and name, in order.
template <typename... T, typename... Names> void addColumns(Names... names) {
    (QTest::addColumn<T>(names), ...);
}

// QTest::newRow(name) << values..., a text given as const char* going in as QString.
template <typename... T> void addRow(const char* name, const T&... values) {
    (QTest::newRow(name) << ... << values);
}

} // namespace tavrel::test
