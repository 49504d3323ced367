#pragma once
// "Add a place": completes a new journal entry before it joins the journal.
// The link is taken as copied from World Wind (Option1) or built from typed
// degrees, minutes and seconds (Option2). The dialog stores nothing: its
// caller reads `add` and the three texts once the showing is over.

#include "widgets/keptdialog.h"

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class Form2 : public KeptDialog {
    Q_OBJECT
public:
    explicit Form2(QWidget* parent = nullptr);

    QRadioButton* Option1;
    QLineEdit* Text1;
    QRadioButton* Option2;
    QLabel* Label1;
    QLineEdit* latDeg;
    QLineEdit* latMin;
    QLineEdit* latSec;
    QComboBox* ComboLat;
    QLabel* Label4;
    QLineEdit* lonDeg;
    QLineEdit* lonMin;
    QLineEdit* lonSec;
    QComboBox* ComboLon;
    QLabel* Label5;
    QLineEdit* Altitude;
    QLabel* Label2;
    QLineEdit* Text2;
    QLabel* Label3;
    QLineEdit* Text3;
    QPushButton* cmdAdd;
    QPushButton* cmdCancel;

    // True when the showing ended with Add (see KeptDialog::showModal).
    bool add = false;

public slots:
    void cmdAdd_Click();
    void cmdCancel_Click();

private:
    void createControls();
    void createFocusOrder();
    // Typing coordinates selects Option2, typing a link Option1.
    void followTyping();
    // Puts the link built from the coordinate boxes into Text1; false, with
    // a message naming the box, when a box does not hold a usable number.
    bool buildLink();
    // False, with a message naming the box, when a text is longer than the
    // journal holds: never cut.
    bool fitsTheJournal();
    // One coordinate from its three boxes and hemisphere list.
    std::optional<double> readCoordinate(QLineEdit* deg, QLineEdit* min, QLineEdit* sec, const QComboBox* hemisphere,
                                         const QString& name);
    void refuse(QLineEdit* box, const QString& message);
    // A coordinate beyond its limit, named in the message.
    void refuseRange(QLineEdit* box, const QString& name, double value, const QString& limit);
};
