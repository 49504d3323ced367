#include "frmabout.h"

#include "platform/messagebox.h"
#include "widgets/twips.h"

#include <QLabel>
#include <QPushButton>

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("À propos de ") + MessageBox::applicationTitle());
    setFixedSize(twips::toPixels(7710), twips::toPixels(4425));
    lblVersion = new QLabel(QStringLiteral("Version %1.%2.%3")
                                .arg(VELMORA_VERSION_MAJOR)
                                .arg(VELMORA_VERSION_MINOR)
                                .arg(VELMORA_VERSION_PATCH),
                            this);
    twips::setGeometry(lblVersion, 840, 960, 3885, 225);
    auto* description = new QLabel(QStringLiteral("A velmora for Worldwind : keep trace of good places"), this);
    description->setWordWrap(true);
    twips::setGeometry(description, 1200, 2280, 3885, 1170);
    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    twips::setGeometry(cmdOK, 4080, 3720, 1260, 345);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}
