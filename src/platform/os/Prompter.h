#pragma once
// Every message box of the program goes through one prompter, so tests can answer them.
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

namespace bd::os {

enum class Buttons {
    Ok = 0,
    OkCancel = 1,
    AbortRetryIgnore = 2,
    YesNoCancel = 3,
    YesNo = 4,
    RetryCancel = 5
};
enum class Icon { None = 0, Critical = 16, Question = 32, Exclamation = 48, Information = 64 };
enum class Answer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

struct Prompt {
    QString text;
    QString title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    // The box's default button and the answer it gives by itself when nobody can answer it; unset,
    // its first button.
    std::optional<Answer> defaultAnswer = std::nullopt;
};

// The answer a box gives when nobody can answer it (unattended runs): its first button.
Answer defaultAnswer(Buttons b);
// The prompt's own default answer where it has one, else that of its buttons.
Answer defaultAnswer(const Prompt& p);

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual Answer ask(const Prompt& p) = 0;
};

// Shows a QMessageBox. In unattended mode each box closes itself with its default answer after a
// visible countdown (at once with no countdown) and its text goes to standard error.
class WidgetPrompter : public Prompter {
public:
    Answer ask(const Prompt& p) override;
};

// Test prompter: records every prompt and answers from a queue (or the box's default when empty, as
// nobody answering would).
class ScriptedPrompter : public Prompter {
public:
    Answer ask(const Prompt& p) override;
    void answer(Answer a) { queue.push_back(a); }
    QVector<Prompt> prompts;
    QVector<Answer> queue;
    // Optional hook called before answering (for example to close a window mid-question).
    std::function<void(const Prompt&)> onAsk;
    QStringList texts() const;
};

// Installs p as the process's prompter (nullptr restores the widget prompter). Not owned.
void setPrompter(Prompter* p);
Prompter& prompter();

void setUnattended(bool on, int countdownSeconds = 10);
bool unattended();
int unattendedCountdown();
// Something an unattended run had to do failed (an error box, a mail or upload not done): the run's
// exit status says so. An error box shown in unattended mode notes it by itself; switching the mode
// on starts afresh.
void noteUnattendedFailure();
bool unattendedFailed();

Answer MsgBox(const QString& text, Buttons buttons = Buttons::Ok, Icon icon = Icon::None,
              const QString& title = QString());
Answer MsgBox(const Prompt& p);

// RAII: installs a scripted prompter for one test scope.
class ScopedPrompter {
public:
    ScopedPrompter() { setPrompter(&p); }
    ~ScopedPrompter() { setPrompter(nullptr); }
    ScriptedPrompter* operator->() { return &p; }
    ScriptedPrompter& get() { return p; }

private:
    ScriptedPrompter p;
};

} // namespace bd::os
