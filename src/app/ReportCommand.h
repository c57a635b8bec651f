#pragma once

// The report command, for the owner's scheduled jobs and for checking totals
// without the desk:
//
//   tavolen report day YYYY-MM-DD --out FILE [--hour H] [--data-dir DIR]
//   tavolen report month YYYY-MM --out FILE [--hour H] [--data-dir DIR]
//
// The file's extension chooses the format (.xlsx, .xls, .pdf, .csv). A day is
// the settlement day that starts at hour H of that date (H from
// `CashTime`/`start` when not given). Runs without a display.

struct CommandLine;

// Makes the report the command line asks for; returns the exit code (0 done,
// 2 a bad request or a failure). `argc` and `argv` go to the application.
int runReportCommand(const CommandLine& line, int& argc, char** argv);
