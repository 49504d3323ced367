#include "form3.h"

#include "platform/commondialogs.h"
#include "platform/messagebox.h"
#include "platform/paths.h"
#include "settings/settings.h"
#include "widgets/controls.h"
#include "widgets/twips.h"
#include "worldwind/placenames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>
#include <system_error>

Form3::Form3(QWidget* parent) : KeptDialog(okBouton, parent)
{
    setWindowTitle(QStringLiteral("Configuration"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips::toPixels(5595), twips::toPixels(2805));

    Label1 = controls::label(this, QStringLiteral("Current save path :"), 120, 120, 1575, 255);
    Text1 = controls::textBox(this, QStringLiteral("Text1"), 120, 480, 4815, 285);
    Command1 = controls::button(this, QStringLiteral("..."), 4920, 480, 615, 255);
    Label3 = controls::label(this, QStringLiteral("Worldwind directory :"), 120, 840, 1575, 255);
    Text2 = controls::textBox(this, QStringLiteral("Text2"), 120, 1080, 4815, 285);
    Command2 = controls::button(this, QStringLiteral("..."), 4920, 1080, 615, 255);
    Command5 = controls::button(this, QStringLiteral("Font"), 4920, 1440, 615, 255);
    Label4 = controls::label(this, QStringLiteral("Font :"), 120, 1560, 1335, 375);
    Label2 = controls::label(this, QStringLiteral("Test Font"), 1560, 1560, 3255, 375);
    // A mid grey behind the preview: labels on the globe are often white or
    // black, and both must stay visible here.
    Label2->setWordWrap(false);
    Label2->setAutoFillBackground(true);
    QPalette preview = Label2->palette();
    preview.setColor(QPalette::Window, QColor(128, 128, 128));
    Label2->setPalette(preview);
    Command6 = controls::button(this, QStringLiteral("Color"), 4920, 1680, 615, 255);
    Command3 = controls::button(this, QStringLiteral("Ok"), 1080, 2280, 1455, 495);
    Command4 = controls::button(this, QStringLiteral("Cancel"), 2880, 2280, 1335, 495);
    Label5 = controls::label(this, QString(), 1800, 840, 3735, 255);
    QPalette warning = Label5->palette();
    warning.setColor(QPalette::WindowText, QColor(160, 0, 0));
    Label5->setPalette(warning);
    Label5->setAlignment(Qt::AlignRight | Qt::AlignTop);

    controls::setFocusOrder({Command1, Text1, Text2, Command2, Command3, Command4, Command5, Command6});

    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form3::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form3::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form3::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form3::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form3::Command6_Click);
    connect(Text2, &QLineEdit::textChanged, this, &Form3::noteWorldWind);
    Command1->setFocus();
}

void Form3::setPreviewFont(const QString& name, double pointSize, qint32 color, bool bold, bool italic)
{
    fontName_ = name;
    QFont font;
    font.setFamilies({name});
    if (pointSize > 0)
        font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(italic);
    Label2->setFont(font);
    QPalette palette = Label2->palette();
    const placenames::ColorBytes bytes = placenames::colorBytes(color);
    palette.setColor(QPalette::WindowText, QColor(int(bytes.red), int(bytes.green), int(bytes.blue & 0xFF)));
    Label2->setPalette(palette);
}

qint32 Form3::previewColor() const
{
    const QColor c = Label2->palette().color(QPalette::WindowText);
    return placenames::packedColor(c.red(), c.green(), c.blue());
}

void Form3::chooseFolder(QLineEdit* box, const QString& proposedName)
{
    // The file dialog may leave the process in another folder; the settings
    // file and the relative folders are opened from the start folder.
    const QString startFolder = QDir::currentPath();
    const std::optional<QString> chosen = CommonDialog::saveFile(this, QStringLiteral("Select target folder"),
                                                                 proposedName);
    if (chosen)
        box->setText(QDir::toNativeSeparators(QFileInfo(*chosen).absolutePath()));
    QDir::setCurrent(startFolder);
}

void Form3::noteWorldWind()
{
    const QString why = placenames::noWorldWind(Text2->text());
    Label5->setText(why.isEmpty() ? QString() : QStringLiteral("No World Wind in this folder"));
    Label5->setToolTip(why.isEmpty() ? QString() : why.left(1).toUpper() + why.mid(1) + u'.');
}

void Form3::Command1_Click()
{
    chooseFolder(Text1, QStringLiteral("velmora.js"));
}

void Form3::Command2_Click()
{
    chooseFolder(Text2, QStringLiteral("worldwind.exe"));
}

void Form3::Command5_Click()
{
    const std::optional<QFont> chosen = CommonDialog::font(this, Label2->font());
    if (!chosen)
        return;
    fontName_ = chosen->family();
    QFont font = Label2->font();
    font.setFamilies({fontName_});
    font.setPointSizeF(chosen->pointSizeF());
    font.setBold(chosen->bold());
    font.setItalic(chosen->italic());
    Label2->setFont(font);
}

void Form3::Command6_Click()
{
    const std::optional<QColor> chosen = CommonDialog::color(this);
    if (!chosen)
        return;
    QPalette palette = Label2->palette();
    palette.setColor(QPalette::WindowText, *chosen);
    Label2->setPalette(palette);
}

void Form3::Command3_Click()
{
    // The settings file can hold neither a double quote nor characters
    // outside its code page: refuse them here rather than lose them there.
    const std::pair<QString, QString> values[] = {
        {QStringLiteral("The save folder"), Text1->text()},
        {QStringLiteral("The World Wind folder"), Text2->text()},
        {QStringLiteral("The font name"), fontName_},
    };
    for (const auto& [what, value] : values) {
        if (settingsfile::storable(value))
            continue;
        MessageBox::information(
            this, value.contains(u'"')
                      ? QStringLiteral("%1 must not contain a double quote (\").").arg(what)
                      : QStringLiteral("%1 contains characters the settings file cannot hold.").arg(what));
        return;
    }
    if (!saveFolderReady())
        return;
    acceptShowing();
}

bool Form3::saveFolderReady()
{
    // Every save into a missing folder would fail, and the web page could
    // not be copied there: the folder is made now, or the dialog stays.
    const QString typed = Text1->text().isEmpty() ? QStringLiteral(".") : Text1->text();
    const QString folder = paths::local(typed);
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    const QString shown = paths::shown(typed);
    if (info.exists() || info.isSymLink()) {
        refuseSaveFolder(QStringLiteral("The save folder %1 is not a folder: choose another one.").arg(shown));
        return false;
    }
    if (MessageBox::askCreateCancel(this, QStringLiteral("The save folder %1 does not exist. Create it?").arg(shown))
        != MessageBox::Create) {
        Text1->setFocus();
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error) {
        refuseSaveFolder(QStringLiteral("The save folder %1 could not be created (%2): choose another one.")
                             .arg(shown, QString::fromLocal8Bit(error.message())));
        return false;
    }
    return true;
}

void Form3::refuseSaveFolder(const QString& text)
{
    MessageBox::information(this, text);
    Text1->setFocus();
    Text1->selectAll();
}

void Form3::Command4_Click()
{
    cancelShowing();
}
