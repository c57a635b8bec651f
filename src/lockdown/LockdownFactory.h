#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "lockdown/Lockdown.h"

// The lockdown the installation asks for, "kiosk" or "desktop". The
// environment variable TAVOLEN_LOCKDOWN, set by the kiosk's unit where the
// desk's user cannot change it, wins over `Lockdown`/`Mode` in
// TavolenConfig.ini, which a desktop installation uses (default "desktop").
// An unknown word in the variable locks down as kiosk; in the file, as
// desktop. Logs go to lockdown.log in the data directory. endProgram ends the
// program when the desktop backend "powers off".
std::unique_ptr<Lockdown> makeLockdown(const QString& dataDir, std::function<void()> endProgram);
