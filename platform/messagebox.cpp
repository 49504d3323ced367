#include "messagebox.h"

#include "prepared.h"

#include <QMessageBox>
#include <QPushButton>

namespace MessageBox {
namespace {

struct State {
    PreparedAnswers<Answer> answers;
    QStringList history;
    std::function<void()> hook;
};

State& state()
{
    static State s;
    return s;
}

// A prepared answer, if the box is not to be shown.
bool prepared(const QString& text, Answer fallback, Answer& answer)
{
    State& s = state();
    s.history.append(text);
    if (s.hook)
        s.hook();
    return s.answers.take(answer, fallback);
}

}  // namespace

QString applicationTitle()
{
    return QStringLiteral("Velmora");
}

void information(QWidget* parent, const QString& text)
{
    Answer answer;
    if (prepared(text, Ok, answer))
        return;
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

Answer askSaveDiscardCancel(QWidget* parent, const QString& text)
{
    Answer answer;
    if (prepared(text, Cancel, answer))
        return answer;
    QMessageBox box(QMessageBox::Question, applicationTitle(), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save: return Save;
    case QMessageBox::Discard: return Discard;
    default: return Cancel;
    }
}

Answer askSaveCancel(QWidget* parent, const QString& text)
{
    Answer answer;
    if (prepared(text, Cancel, answer))
        return answer;
    QMessageBox box(QMessageBox::Warning, applicationTitle(), text, QMessageBox::Save | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Save ? Save : Cancel;
}

Answer askCreateCancel(QWidget* parent, const QString& text)
{
    Answer answer;
    if (prepared(text, Cancel, answer))
        return answer;
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::NoButton, parent);
    QPushButton* create = box.addButton(QStringLiteral("Create"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(create);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == create ? Create : Cancel;
}

Answer askKeepBothSaveOverCancel(QWidget* parent, const QString& text)
{
    Answer answer;
    if (prepared(text, Cancel, answer))
        return answer;
    QMessageBox box(QMessageBox::Warning, applicationTitle(), text, QMessageBox::NoButton, parent);
    QPushButton* keepBoth = box.addButton(QStringLiteral("Keep both"), QMessageBox::AcceptRole);
    QPushButton* saveOver = box.addButton(QStringLiteral("Save over"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(keepBoth);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == keepBoth)
        return KeepBoth;
    return box.clickedButton() == saveOver ? Save : Cancel;
}

void setNextAnswer(Answer answer)
{
    state().answers.push(answer);
}

void setNonInteractive(bool on)
{
    state().answers.setNonInteractive(on);
}

void setAnswerHook(std::function<void()> hook)
{
    state().hook = std::move(hook);
}

QStringList history()
{
    return state().history;
}

void clearHistory()
{
    state().history.clear();
    state().answers.clear();
}

}  // namespace MessageBox
