#pragma once

#include <memory>

#include "web/WebModule.h"

// The program's side of the live view's module (web/WebModule.h). The module is loaded only when
// `Web`/`Enabled` is 1; nothing when it is not. A module that cannot be loaded, or a bad `Web`
// value, raises TavolenError.
std::unique_ptr<WebFaceHandle> startWebFace(const WebFaceParts& parts);
