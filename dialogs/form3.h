#pragma once
// "Configuration": the save folder, the World Wind folder and the font of
// the placename labels, edited on a preview label. The caller fills the
// controls, shows the dialog and reads them back when okBouton is true.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class Form3 : public QDialog {
    Q_OBJECT
public:
    explicit Form3(QWidget* parent = nullptr);

    // Shows the dialog modally; okBouton tells whether it ended with "Ok".
    void showModal();

    // The preview label carries the five font settings.
    void setPreviewFont(const QString& name, double pointSize, qint32 color, bool bold, bool italic);
    // The preview colour as red + 256 * green + 65536 * blue.
    qint32 previewColor() const;

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

    bool okBouton = false;

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void chooseFolder(QLineEdit* box, const QString& proposedName);
    bool closedByCloseBox_ = false;
};
