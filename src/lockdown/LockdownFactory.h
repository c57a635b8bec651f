#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "lockdown/Lockdown.h"

// The lockdown that TavolenConfig.ini asks for: `Lockdown`/`Mode` "kiosk" or
// "desktop" (the default). Logs go to lockdown.log in the data directory.
// endProgram ends the program when the desktop backend "powers off".
std::unique_ptr<Lockdown> makeLockdown(const QString& dataDir, std::function<void()> endProgram);
