#pragma once
// The small find box beside the main window: modeless, so the list stays
// in reach. It only asks; the window finds the place, selects it and hands
// back a note ("No place matches") shown in the box, never in a message.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class FindBox : public QDialog {
    Q_OBJECT
public:
    explicit FindBox(QWidget* parent = nullptr);

    QLineEdit* findText;
    QPushButton* previousButton;
    QPushButton* nextButton;
    QLabel* note;

    // Shown, raised and ready for typing, its text selected.
    void openForTyping();
    void showNote(const QString& text);

signals:
    // Enter, F3, the Next button: `backward` for Shift+F3 and Previous.
    // While typing (`typing`), the search may stay on the selected place.
    void findRequested(const QString& text, bool backward, bool typing);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void placeBesideParent();
    bool placed_ = false;
};
