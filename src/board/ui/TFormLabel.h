#pragma once

#include <QDialog>
#include <array>

class QFrame;
class QLabel;
class QPushButton;
struct SharedValues;

// The room action popup: a question about one room and the buttons that make
// sense for the mode in `PopupCode`. A button leaves 10 + its number in
// `PopupCode` and closes the popup; the close box leaves the mode there.
// The popup changes nothing in the room itself.
class TFormLabel : public QDialog {
    Q_OBJECT
public:
    static constexpr int kButtons = 14;

    TFormLabel(SharedValues& shared, QWidget* parent = nullptr);

    QPushButton* button(int number) const {
        return buttons_.at(static_cast<std::size_t>(number - 1));
    }
    QString prompt() const;

private:
    void FormCreate();
    void choose(int number);

    SharedValues& shared_;
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    std::array<QPushButton*, kButtons> buttons_{};
};
