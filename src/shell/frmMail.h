#pragma once
// The mail busy window, shown modeless while the alert mails go out: the recipients being sent to
// and a small moving picture.
#include <QLabel>
#include <QWidget>

namespace bd::os {
class Timer;
}

class frmMail : public QWidget {
    Q_OBJECT
public:
    explicit frmMail(QWidget* parent = nullptr);
    QLabel* Label1;
    QLabel* Picture1; // the letter
    QLabel* Picture2; // moves along three places while mails are sent
    bd::os::Timer* Timer1;

    // Places of Picture2, in twips, in the order it moves through them.
    static constexpr int Picture2Steps[] = {1260, 1680, 2100};
    void Timer1_Timer();
};
