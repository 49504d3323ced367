#include "findbox.h"

#include "widgets/controls.h"
#include "widgets/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

FindBox::FindBox(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Find"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips::toPixels(5400), twips::toPixels(1215));
    controls::label(this, QStringLiteral("Find :"), 120, 150, 735, 285);
    findText = controls::textBox(this, QString(), 840, 120, 4440, 315);
    findText->setToolTip(QStringLiteral("Any part of a name, comment or coordinates"));
    note = controls::label(this, QString(), 120, 600, 2880, 495);
    note->setWordWrap(true);
    previousButton = controls::button(this, QStringLiteral("Previous"), 3120, 600, 1035, 375);
    nextButton = controls::button(this, QStringLiteral("Next"), 4245, 600, 1035, 375);
    controls::setFocusOrder({findText, nextButton, previousButton});

    const auto ask = [this](bool backward) {
        return [this, backward] { emit findRequested(findText->text(), backward, false); };
    };
    // Enter finds the next place, however the box is reached; no button is
    // the default, so Enter never closes the box.
    connect(findText, &QLineEdit::returnPressed, this, ask(false));
    connect(nextButton, &QPushButton::clicked, this, ask(false));
    connect(previousButton, &QPushButton::clicked, this, ask(true));
    connect(findText, &QLineEdit::textEdited, this,
            [this](const QString& text) { emit findRequested(text, false, true); });
    for (QPushButton* b : {previousButton, nextButton})
        b->setAutoDefault(false);
}

void FindBox::openForTyping()
{
    show();
    raise();
    activateWindow();
    findText->setFocus();
    findText->selectAll();
}

void FindBox::showEvent(QShowEvent* event)
{
    if (!placed_)
        placeBesideParent();
    QDialog::showEvent(event);
}

void FindBox::placeBesideParent()
{
    // Beside the main window rather than over its fields and list: to its
    // right where the screen has room, else below it.
    placed_ = true;
    const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
    if (!main || !main->isVisible())
        return;
    const QRect frame = main->frameGeometry();
    const QRect screen = main->screen()->availableGeometry();
    const QSize need = size() + QSize(16, 40);  // the box with a frame around it
    if (frame.right() + need.width() <= screen.right())
        move(frame.right() + 8, frame.top());
    else if (frame.bottom() + need.height() <= screen.bottom())
        move(frame.left(), frame.bottom() + 8);
}

void FindBox::showNote(const QString& text)
{
    note->setText(text);
}
