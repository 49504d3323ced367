#pragma once
// "Configuration": the save folder, the World Wind folder and the font of
// the placename labels, edited on a preview label. The caller fills the
// controls, shows the dialog and reads them back when okBouton is true.

#include "widgets/keptdialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

class Form3 : public KeptDialog {
    Q_OBJECT
public:
    explicit Form3(QWidget* parent = nullptr);

    // The preview label carries the five font settings.
    void setPreviewFont(const QString& name, double pointSize, qint32 color, bool bold, bool italic);
    // The preview colour as red + 256 * green + 65536 * blue.
    qint32 previewColor() const;
    // The font name exactly as set or chosen. QFont reads a name as a
    // comma-separated list of families and drops quotes and blanks, so the
    // preview label's own family is not the name to give back.
    QString previewFontName() const { return fontName_; }

    QLabel* Label1;
    QLineEdit* Text1;
    QPushButton* Command1;
    QLabel* Label3;
    QLineEdit* Text2;
    QPushButton* Command2;
    QPushButton* Command5;
    QLabel* Label4;
    QLabel* Label2;
    QPushButton* Command6;
    QPushButton* Command3;
    QPushButton* Command4;
    // Beside the World Wind folder's caption: says when the folder in the
    // box holds no World Wind, so that the save cannot write its layer.
    QLabel* Label5;

    // True when the showing ended with "Ok" (see KeptDialog::showModal).
    bool okBouton = false;

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();

private:
    // True when the save folder exists, or the user had it created; else
    // the dialog says why and stays open.
    bool saveFolderReady();
    void refuseSaveFolder(const QString& text);

    void chooseFolder(QLineEdit* box, const QString& proposedName);
    void noteWorldWind();
    QString fontName_;
};
