#include "frmabout.h"

#include "platform/codepage.h"
#include "platform/messagebox.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "version.h"
#include "widgets/art.h"
#include "widgets/controls.h"
#include "widgets/twips.h"

#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QtEndian>

namespace {

const QString kNotAvailable = QStringLiteral("Les informations système ne sont pas disponibles actuellement");
constexpr int kValueBuffer = 1024;

QLabel* whiteLabel(QWidget* parent, const QString& text, int left, int top, int width, int height)
{
    QLabel* label = controls::label(parent, text, left, top, width, height);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    label->setAutoFillBackground(false);
    return label;
}

}  // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent), picture_(art::aboutPicture(MessageBox::applicationTitle()))
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("À propos de ") + MessageBox::applicationTitle());
    // Always at the same place on the screen, the client area's corner given.
    setGeometry(twips::toPixels(2340), twips::toPixels(1935), twips::toPixels(7710), twips::toPixels(4425));
    setFixedSize(size());

    lblVersion = whiteLabel(this, QStringLiteral("Version ") + QLatin1String(version::kText), 840, 960, 3885, 225);
    lblDescription = whiteLabel(this, QStringLiteral("A velmora for Worldwind : keep trace of good places"), 1200, 2280,
                                3885, 1170);
    Image1 = controls::label(this, QString(), 240, 1320, 615, 735);  // an empty frame of the design
    cmdOK = controls::button(this, QStringLiteral("OK"), 4080, 3720, 1260, 345);
    cmdOK->setDefault(true);  // Escape closes the box as well: QDialog's reject
    cmdSysInfo = controls::button(this, QStringLiteral("&Infos système..."), 5400, 3720, 1245, 345);
    setTabOrder(cmdOK, cmdSysInfo);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
    cmdOK->setFocus();
}

void frmAbout::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, picture_);
    // The engraved separator above the buttons: grey, then white below it.
    const int y = twips::toPixels(3480);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(twips::toPixels(1200), y, twips::toPixels(6764), y);
    p.setPen(Qt::white);
    p.drawLine(twips::toPixels(1200), y + 1, twips::toPixels(6749), y + 1);
}

void frmAbout::StartSysInfo()
{
    const quint32 machine = Registry::kLocalMachine;
    QString tool;
    if (!GetKeyValue(machine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"),
                     tool)) {
        QString folder;
        const bool found = GetKeyValue(machine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                                       QStringLiteral("MSINFO"), folder);
        tool = paths::local(paths::join(folder, QStringLiteral("MSINFO32.EXE")));
        if (!found || !QFileInfo::exists(tool)) {
            MessageBox::information(this, kNotAvailable);
            return;
        }
    }
    // The first route's path is trusted as it is; a missing file shows up
    // as a failed start.
    if (!Shell::start(tool))
        MessageBox::information(this, kNotAvailable);
}

bool frmAbout::GetKeyValue(quint32 KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal)
{
    const std::optional<Registry::Value> value = Registry::read(KeyRoot, KeyName, SubKeyRef, kValueBuffer);
    if (!value) {
        KeyVal.clear();
        return false;
    }
    QByteArray bytes = value->bytes;
    if (bytes.endsWith('\0'))
        bytes.chop(1);
    if (value->type == Registry::kString) {
        KeyVal = codepage::decode(bytes);
    } else if (value->type == Registry::kDword) {
        // Fewer than four bytes read count as zeros above them.
        char number[4] = {};
        std::copy_n(bytes.constData(), std::min<qsizetype>(4, bytes.size()), number);
        KeyVal = QString::number(qFromLittleEndian<qint32>(number));
    }
    return true;
}
