#pragma once

// The accounts of the owner's live view, kept at a terminal of the desk PC:
//
//   tavolen web-user add NAME [--downloads] | passwd NAME | remove NAME | list
//                    [--data-dir DIR]
//
// add and passwd read the password twice, as tavolen passwd does: from the
// terminal without echo, or from the first two lines of standard input. A
// password has at least 10 characters. An account reads the view only;
// --downloads lets it fetch the report files too. Sessions of an account end
// when its password changes or it is removed.

#include <optional>

#include "auth/WebAccounts.h"

struct CommandLine;

// What the command did to the accounts, when it changed them.
struct WebUserOutcome {
    int exitCode = 0;  // 0 done, 2 a bad request or a failure (nothing changed)
    std::optional<WebAccountChange> change;
};

WebUserOutcome runWebUserCommand(const CommandLine& line, int& argc, char** argv);
