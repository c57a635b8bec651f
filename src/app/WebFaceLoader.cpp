#include "app/WebFaceLoader.h"

#include "app/ProgramModule.h"
#include "store/IniStore.h"

std::unique_ptr<WebFaceHandle> startWebFace(const WebFaceParts& parts) {
    if (parts.ini->readInteger(QStringLiteral("Web"), QStringLiteral("Enabled"), 0) != 1)
        return nullptr;
    static const auto start =
        programModule(QStringLiteral("tavolen-web.so"),
                      QStringLiteral("웹 화면을 불러올 수 없습니다: "))
            .resolve<decltype(&tavolenStartWebFace)>("tavolenStartWebFace");
    return std::unique_ptr<WebFaceHandle>(start(&parts));
}
