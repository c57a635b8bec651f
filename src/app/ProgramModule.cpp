#include "app/ProgramModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <map>
#include <memory>
#include <mutex>

#include "platform/Errors.h"

const OnDemandLibrary& programModule(const QString& fileName, const QString& failure) {
    struct Module {
        QByteArray path;  // the library keeps a pointer to it
        std::unique_ptr<OnDemandLibrary> library;
    };
    static std::mutex lock;
    static std::map<QString, Module> modules;  // its entries never move
    const std::lock_guard<std::mutex> hold(lock);
    auto [it, first] = modules.try_emplace(fileName);
    Module& module = it->second;
    if (first) {
        module.path = QFile::encodeName(
            QDir(QCoreApplication::applicationDirPath()).filePath(fileName));
        module.library = std::make_unique<OnDemandLibrary>(module.path.constData());
    }
    if (!module.library->loaded())
        throw TavolenError(failure + QString::fromStdString(module.library->error()));
    return *module.library;
}
