#pragma once

#include "app/commandline.h"

namespace tavrel::app {

// Application name, locale and error policy: what every run sets up first.
void setUpApplication();

// The commands that need no window (-m, --init, --set-year, --report, --custom, --import,
// --backup, --restore): they run on Qt's offscreen platform (scheduled jobs, servers, CI)
// with the console Ui, which never waits for an answer. Returns the exit status.
int runWithoutWindow(const CommandLine& line, char* programName);

// Installs the -m print: the month's work orders to the printer, or to the PDF `pdfPath`
// when it is given, with what became of them on standard output.
void installMonthlyPrint(const QString& pdfPath);

} // namespace tavrel::app
