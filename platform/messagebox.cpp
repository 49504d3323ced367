#include "messagebox.h"

#include <QMessageBox>
#include <QPushButton>
#include <deque>

namespace MessageBox {
namespace {

struct State {
    std::deque<Answer> next;
    bool nonInteractive = false;
    QStringList history;
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
    if (!s.next.empty()) {
        answer = s.next.front();
        s.next.pop_front();
        return true;
    }
    if (s.nonInteractive) {
        answer = fallback;
        return true;
    }
    return false;
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
    state().next.push_back(answer);
}

void setNonInteractive(bool on)
{
    state().nonInteractive = on;
}

QStringList history()
{
    return state().history;
}

void clearHistory()
{
    state().history.clear();
    state().next.clear();
}

}  // namespace MessageBox
