#include "board/ui/QtDialogs.h"

#include <QMessageBox>

void QtDialogs::showError(const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("에러"), text, QMessageBox::Ok,
                    owner_);
    box.exec();
}

void QtDialogs::showInfo(const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("확인"), text, QMessageBox::Ok,
                    owner_);
    box.exec();
}

bool QtDialogs::askYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("확인"), text,
                    QMessageBox::Yes | QMessageBox::No, owner_);
    return box.exec() == QMessageBox::Yes;
}
