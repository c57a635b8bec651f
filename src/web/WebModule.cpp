#include "web/WebModule.h"

#include "web/WebFace.h"

WebFaceHandle* tavolenStartWebFace(const WebFaceParts* parts) {
    return new WebFace(WebFace::readOptions(*parts->ini, parts->dataDir, parts->program),
                       *parts->board, *parts->clock, parts->wrongPasswords);
}
