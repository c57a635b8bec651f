#pragma once

// The report command, for the owner's scheduled jobs and for checking totals
// without the desk:
//
//   tavolen [--data-dir DIR] report day YYYY-MM-DD [--hour H] --out FILE
//   tavolen [--data-dir DIR] report month YYYY-MM [--hour H] --out FILE
//
// The file's extension chooses the format (.xlsx, .xls, .pdf, .csv). A day is
// the settlement day that starts at hour H of that date (H from
// `CashTime`/`start` when not given). Runs without a display.

// True when the command line asks for a report rather than the board.
bool isReportCommand(int argc, char** argv);

// Makes the report; returns the exit code (0 done, 2 a bad request or a failure).
int runReportCommand(int argc, char** argv);
