#include "web/WebModule.h"

#include "web/WebFace.h"

WebFaceHandle* tavolenStartWebFace(const WebFaceParts* parts) {
    const auto options = WebFace::readOptions(*parts->ini, parts->dataDir, parts->program);
    if (!options) return nullptr;
    return new WebFace(*options, *parts->board, *parts->passwords, *parts->clock);
}
