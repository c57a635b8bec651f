#pragma once

#include <QString>

// What the lockdown could not do goes to standard error and, once a data
// directory is known, to lockdown.log in it. Nothing here ever asks anyone.
void setLockdownLogDir(const QString& dataDir);
void logLockdown(const QString& line);
