#pragma once

#include <QString>

// The program's own font settings (tavolen-fonts.conf beside it) for fontconfig, unless
// FONTCONFIG_FILE or FONTCONFIG_PATH already name others. Call before the first font is used;
// without the file the system's settings stand.
void useProgramFontSettings(const QString& programDir);

// The directory of the running program, known before any application object exists.
QString runningProgramDir();
