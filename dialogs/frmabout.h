#pragma once
// The About box: the program's picture, description and version, and a
// button that starts the system information tool found in the registry.

#include <QDialog>
#include <QImage>

class QLabel;
class QPushButton;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    // Starts the system information tool, or tells the user it is not there.
    void StartSysInfo();
    // Reads value `SubKeyRef` of key `KeyName` under `KeyRoot` into `KeyVal`:
    // texts as they are, 32-bit numbers as signed decimals; a value of
    // another type leaves `KeyVal` as it was. False, with `KeyVal` emptied,
    // when the value cannot be read.
    static bool GetKeyValue(quint32 KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal);

    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* Image1;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};
