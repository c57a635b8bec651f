#pragma once

// The supplier's way back in when nobody can sign in (a database lost and
// made again, a password forgotten), at a terminal of the desk PC, without a
// display:
//
//   tavolen passwd GRADE [--data-dir DIR]
//
// GRADE is 1 (user), 2 (Windows use) or 3 (supplier). The new password is
// read twice: from the terminal without echo, or from the first two lines of
// standard input when it is not a terminal. Run it as the user that owns the
// data directory.

struct CommandLine;

// Returns the exit code: 0 set, 2 a bad request or a failure (nothing changed).
int runPasswdCommand(const CommandLine& line, int& argc, char** argv);
