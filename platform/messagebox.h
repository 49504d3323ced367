#pragma once
// Every message box of the program goes through here: modal, the
// application title as caption. Tests answer boxes in advance instead of
// a person, so no test ever blocks on a modal box.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace MessageBox {

enum Answer { Ok, Save, Discard, Cancel, KeepBoth, Create };

QString applicationTitle();

// The message with an OK button only and no icon.
void information(QWidget* parent, const QString& text);
// The message with Save, Discard and Cancel; Escape and the close box answer Cancel.
Answer askSaveDiscardCancel(QWidget* parent, const QString& text);

// The message with Save and Cancel, Cancel the default: for a save that
// may lose something. Escape and the close box answer Cancel.
Answer askSaveCancel(QWidget* parent, const QString& text);

// The message with "Keep both", "Save over" (answering Save) and Cancel,
// "Keep both" the default: for a save that would lose another writer's
// places. Escape and the close box answer Cancel.
Answer askKeepBothSaveOverCancel(QWidget* parent, const QString& text);

// The message with "Create" and Cancel, "Create" the default: for
// something missing that the program can make. Escape and the close box
// answer Cancel.
Answer askCreateCancel(QWidget* parent, const QString& text);

// For tests: the next box is answered with `answer` and not shown.
void setNextAnswer(Answer answer);
// For tests: boxes without a prepared answer are not shown either; they
// take their default (OK, or Cancel where there is a choice).
void setNonInteractive(bool on);
// For tests: `hook` runs as each box comes up, before it is answered
// (nothing: no hook).
void setAnswerHook(std::function<void()> hook);
// The texts of the boxes shown or answered so far, oldest first.
QStringList history();
void clearHistory();

}  // namespace MessageBox
