#pragma once

#include <QDialog>

// "프로그램 A/S": the program's name, version and the supplier's contact.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);
};
