#include "platform/os/Prompter.h"

#include "platform/os/WindowTitle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

namespace bd::os {
namespace {
WidgetPrompter g_widgetPrompter;
Prompter* g_prompter = nullptr;
bool g_unattended = false;
bool g_unattendedFailed = false;
int g_countdown = 10;

QMessageBox::StandardButtons toQt(Buttons b) {
    switch (b) {
    case Buttons::Ok:
        return QMessageBox::Ok;
    case Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Buttons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton toQt(Answer a) {
    switch (a) {
    case Answer::Ok:
        return QMessageBox::Ok;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Abort:
        return QMessageBox::Abort;
    case Answer::Retry:
        return QMessageBox::Retry;
    case Answer::Ignore:
        return QMessageBox::Ignore;
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

Answer fromQt(int b, Buttons buttons) {
    switch (b) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Abort:
        return Answer::Abort;
    case QMessageBox::Retry:
        return Answer::Retry;
    case QMessageBox::Ignore:
        return Answer::Ignore;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        break;
    }
    // Closed by the close box: the box's cancel answer where it has one.
    switch (buttons) {
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
    case Buttons::RetryCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::AbortRetryIgnore:
        return Answer::Abort;
    default:
        return Answer::Ok;
    }
}

QMessageBox::Icon toQt(Icon i) {
    switch (i) {
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

Answer defaultAnswer(Buttons b) {
    switch (b) {
    case Buttons::Ok:
    case Buttons::OkCancel:
        return Answer::Ok;
    case Buttons::AbortRetryIgnore:
        return Answer::Abort;
    case Buttons::YesNoCancel:
    case Buttons::YesNo:
        return Answer::Yes;
    case Buttons::RetryCancel:
        return Answer::Retry;
    }
    return Answer::Ok;
}

Answer defaultAnswer(const Prompt& p) {
    // A default that is none of the box's buttons could not be clicked: the first button instead.
    if (p.defaultAnswer && toQt(p.buttons).testFlag(toQt(*p.defaultAnswer))) return *p.defaultAnswer;
    return defaultAnswer(p.buttons);
}

Answer WidgetPrompter::ask(const Prompt& p) {
    const Answer def = defaultAnswer(p);
    if (!qApp) return def;
    if (g_unattended) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(p.title), qPrintable(p.text));
        if (p.icon == Icon::Critical) g_unattendedFailed = true;
        // With no countdown there is nothing to show: a box clicked before it runs would wait for ever.
        if (g_countdown <= 0) return def;
    }
    QMessageBox box(toQt(p.icon), p.title.isEmpty() ? QApplication::applicationDisplayName() : p.title,
                    p.text, toQt(p.buttons), QApplication::activeWindow());
    box.setDefaultButton(toQt(def));
    fitTitle(&box);
    // The countdown's seconds live as long as the box: the timer's slot counts them down during exec().
    int left = g_countdown;
    if (g_unattended) {
        auto* timer = new QTimer(&box);
        QAbstractButton* defButton = box.button(toQt(def));
        const QString caption = defButton ? defButton->text() : QString();
        auto tick = [&box, &left, defButton, caption, timer]() {
            if (left <= 0) {
                timer->stop();
                if (defButton)
                    defButton->click();
                else
                    box.close();
                return;
            }
            if (defButton) defButton->setText(QStringLiteral("%1 (%2)").arg(caption).arg(left));
            --left;
        };
        QObject::connect(timer, &QTimer::timeout, &box, tick);
        tick();
        timer->start(1000);
    }
    const int r = box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return fromQt(clicked ? int(box.standardButton(clicked)) : r, p.buttons);
}

Answer ScriptedPrompter::ask(const Prompt& p) {
    prompts.push_back(p);
    if (onAsk) onAsk(p);
    if (queue.isEmpty()) return defaultAnswer(p);
    return queue.takeFirst();
}

QStringList ScriptedPrompter::texts() const {
    QStringList out;
    for (const auto& p : prompts)
        out << p.text;
    return out;
}

void setPrompter(Prompter* p) {
    g_prompter = p;
}
Prompter& prompter() {
    return g_prompter ? *g_prompter : g_widgetPrompter;
}

void setUnattended(bool on, int countdownSeconds) {
    // Switching the mode on starts a run with nothing failed yet.
    if (on && !g_unattended) g_unattendedFailed = false;
    g_unattended = on;
    g_countdown = countdownSeconds;
}
bool unattended() {
    return g_unattended;
}
int unattendedCountdown() {
    return g_countdown;
}
void noteUnattendedFailure() {
    g_unattendedFailed = true;
}
bool unattendedFailed() {
    return g_unattendedFailed;
}

Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) {
    return MsgBox(Prompt{text, title, buttons, icon, std::nullopt});
}

Answer MsgBox(const Prompt& p) {
    return prompter().ask(p);
}

} // namespace bd::os
