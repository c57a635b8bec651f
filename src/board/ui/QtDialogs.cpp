#include "board/ui/QtDialogs.h"

#include <QMessageBox>

void QtDialogs::ShowError(const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("에러"), text, QMessageBox::Ok, owner_);
    box.exec();
}

void QtDialogs::ShowInfo(const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("확인"), text, QMessageBox::Ok, owner_);
    box.exec();
}

bool QtDialogs::AskYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("확인"), text,
                    QMessageBox::Yes | QMessageBox::No, owner_);
    return box.exec() == QMessageBox::Yes;
}
