#pragma once

#include <QString>

#include "platform/OnDemandLibrary.h"

// The module `fileName` beside the program (in the program's own folder), loaded by the first
// call and kept for the program's life. When it cannot be loaded, raises TavolenError with
// `failure` followed by the loader's reason, at this call and every later one.
const OnDemandLibrary& programModule(const QString& fileName, const QString& failure);
