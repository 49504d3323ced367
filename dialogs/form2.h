#pragma once
// "Add a place": completes a new journal entry before it joins the journal.

#include <QDialog>

class QLineEdit;

class Form2 : public QDialog {
    Q_OBJECT
public:
    explicit Form2(QWidget* parent = nullptr);

    QLineEdit* Text1;
    QLineEdit* Text2;
    QLineEdit* Text3;
    bool add = false;
};
