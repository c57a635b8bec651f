#pragma once

#include <QString>

// What the commands run at a terminal of the desk PC share: the desk's data
// directory, checked before anything is written to it, and passwords typed
// without echo.

struct CommandLine;

// The data directory of the command in `line` (--data-dir, else the program's
// own directory) into `dataDir`; returns why it is no desk's data directory
// to change as this user, or an empty text. Needs the application object.
QString deskDataDirProblem(const CommandLine& line, QString& dataDir);

// Puts the terminal's echo back when the command is interrupted.
void restoreTerminalOnSignals();

// Asks for one line; a terminal does not show what is typed. Without a
// terminal the line is read from standard input. False at its end.
bool askHidden(const char* prompt, QString& into);
