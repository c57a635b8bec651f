#pragma once

#include <QEvent>
#include <QFileDialog>
#include <QObject>

// Makes every file dialog of the program read-only as it is shown, the ones
// Qt opens by itself included (print to a file, the print preview's PDF): a
// dialog the clerk reaches without a sign-in must not delete, rename or make
// anything. With native dialogs turned off they are all Qt's own.
class FileDialogGuard : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* dialog = qobject_cast<QFileDialog*>(watched))
                dialog->setOption(QFileDialog::ReadOnly, true);
        }
        return QObject::eventFilter(watched, event);
    }
};
