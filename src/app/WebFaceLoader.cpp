#include "app/WebFaceLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "platform/Errors.h"
#include "platform/OnDemandLibrary.h"
#include "store/IniStore.h"

std::unique_ptr<WebFaceHandle> startWebFace(const WebFaceParts& parts) {
    if (parts.ini->readInteger(QStringLiteral("Web"), QStringLiteral("Enabled"), 0) != 1)
        return nullptr;
    static const QByteArray path = QFile::encodeName(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tavolen-web.so")));
    static const OnDemandLibrary library(path.constData());
    if (!library.loaded())
        throw TavolenError(QStringLiteral("웹 화면을 불러올 수 없습니다: ") +
                           QString::fromStdString(library.error()));
    static const auto start =
        library.resolve<decltype(&tavolenStartWebFace)>("tavolenStartWebFace");
    return std::unique_ptr<WebFaceHandle>(start(&parts));
}
