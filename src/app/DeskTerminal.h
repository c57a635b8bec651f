#pragma once

#include <QString>

// What the commands run at a terminal of the desk PC share: the desk's data
// directory, checked before anything is written to it, and passwords typed
// without echo.

// Why `dataDir` is no desk's data directory to change as this user, or an
// empty text. `command` names the command in the advice given.
QString deskDataDirProblem(const QString& dataDir, const QString& command);

// Puts the terminal's echo back when the command is interrupted.
void restoreTerminalOnSignals();

// Asks for one line; a terminal does not show what is typed. Without a
// terminal the line is read from standard input. False at its end.
bool askHidden(const char* prompt, QString& into);
