#include "form2.h"

#include "journal/history.h"
#include "journal/row.h"
#include "platform/messagebox.h"
#include "widgets/controls.h"
#include "widgets/twips.h"
#include "worldwind/links.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>
#include <limits>

Form2::Form2(QWidget* parent) : KeptDialog(add, parent)
{
    setWindowTitle(QStringLiteral("Add a place"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips::toPixels(7575), twips::toPixels(3225));
    createControls();
    createFocusOrder();
    followTyping();
    connect(cmdAdd, &QPushButton::clicked, this, &Form2::cmdAdd_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &Form2::cmdCancel_Click);
    Text3->setFocus();
}

void Form2::createControls()
{
    Option1 = controls::optionButton(this, QStringLiteral("WorldWind copied location :"), 0, 120, 2655, 375);
    Option1->setChecked(true);
    Text1 = controls::textBox(this, QString(), 2760, 120, 4815, 285);
    Option2 = controls::optionButton(this, QStringLiteral("Enter coordinates : (deg/min/sec)"), 0, 600, 1695, 615);
    Label1 = controls::label(this, QStringLiteral("Latitude"), 1800, 720, 855, 255);
    latDeg = controls::textBox(this, QStringLiteral("0"), 2760, 720, 495, 285);
    latMin = controls::textBox(this, QStringLiteral("0"), 3360, 720, 495, 285);
    latSec = controls::textBox(this, QStringLiteral("0"), 3960, 720, 495, 285);
    // The hemisphere factor is minus the item's number.
    ComboLat = controls::dropDownList(this, {{QStringLiteral("N"), -1}, {QStringLiteral("S"), 1}}, 4560, 720, 735, 315);
    Label4 = controls::label(this, QStringLiteral("Longitude"), 1800, 1080, 855, 375);
    lonDeg = controls::textBox(this, QStringLiteral("0"), 2760, 1080, 495, 285);
    lonMin = controls::textBox(this, QStringLiteral("0"), 3360, 1080, 495, 285);
    lonSec = controls::textBox(this, QStringLiteral("0"), 3960, 1080, 495, 285);
    ComboLon = controls::dropDownList(this, {{QStringLiteral("E"), -1}, {QStringLiteral("W"), 1}}, 4560, 1080, 735,
                                      315);
    Label5 = controls::label(this, QStringLiteral("Altitude"), 1800, 1440, 975, 255);
    Altitude = controls::textBox(this, QStringLiteral("180.000"), 2760, 1440, 1695, 285);
    Label2 = controls::label(this, QStringLiteral("Name for this place :"), 120, 1920, 2055, 255);
    Text2 = controls::textBox(this, QStringLiteral("Noname"), 2160, 1920, 5415, 285);
    Label3 = controls::label(this, QStringLiteral("Comment :"), 120, 2280, 2055, 255);
    Text3 = controls::textBox(this, QString(), 2160, 2280, 5415, 285);
    cmdAdd = controls::button(this, QStringLiteral("Add"), 1680, 2640, 1575, 495);
    cmdCancel = controls::button(this, QStringLiteral("Cancel"), 3840, 2640, 1455, 495);
    // A box would cut a longer text without a word; Add refuses it instead.
    for (QLineEdit* box : {Text1, Text2, Text3})
        box->setMaxLength(std::numeric_limits<int>::max());
}

void Form2::createFocusOrder()
{
    controls::setFocusOrder({Text3, Text2, Text1, cmdAdd, cmdCancel, Option1, Option2, latDeg, latMin, latSec, lonDeg,
                             lonMin, lonSec, ComboLat, ComboLon, Altitude});
}

void Form2::followTyping()
{
    // What the user types says which way the place is given: otherwise a
    // mode left from an earlier showing would quietly ignore it. Only the
    // user's own edits count, never a caller filling the boxes.
    const auto choose = [](QRadioButton* option) { return [option] { option->setChecked(true); }; };
    for (QLineEdit* box : {latDeg, latMin, latSec, lonDeg, lonMin, lonSec, Altitude})
        connect(box, &QLineEdit::textEdited, this, choose(Option2));
    for (QComboBox* list : {ComboLat, ComboLon})
        connect(list, &QComboBox::activated, this, choose(Option2));
    connect(Text1, &QLineEdit::textEdited, this, choose(Option1));
}

void Form2::cmdAdd_Click()
{
    if (Option2->isChecked() && !buildLink())
        return;  // refused: the dialog stays open and `add` false
    if (!fitsTheJournal())
        return;
    acceptShowing();
}

bool Form2::fitsTheJournal()
{
    // Named in the order the dialog shows its boxes.
    using journal::Refusal;
    std::optional<Refusal> why = journal::tooLong({Text2->text(), Text1->text(), Text3->text()},
                                                  {Refusal::Link, Refusal::Name, Refusal::Comment});
    if (!why)
        return true;
    why->text[0] = why->text[0].toUpper();
    QLineEdit* const boxes[] = {Text2, Text1, Text3};  // by Refusal::Field
    refuse(boxes[why->field], QStringLiteral("%1; shorten it to add the place.").arg(why->text));
    return false;
}

void Form2::cmdCancel_Click()
{
    cancelShowing();
}

bool Form2::buildLink()
{
    const std::optional<double> latitude = readCoordinate(latDeg, latMin, latSec, ComboLat, QStringLiteral("latitude"));
    if (!latitude)
        return false;
    if (!links::validLatitude(*latitude)) {
        refuseRange(latDeg, QStringLiteral("latitude"), *latitude, QStringLiteral("90 degrees north or south"));
        return false;
    }
    const std::optional<double> longitude = readCoordinate(lonDeg, lonMin, lonSec, ComboLon,
                                                           QStringLiteral("longitude"));
    if (!longitude)
        return false;
    if (!links::validLongitude(*longitude)) {
        refuseRange(lonDeg, QStringLiteral("longitude"), *longitude, QStringLiteral("180 degrees east or west"));
        return false;
    }
    Text1->setText(links::linkFor(*latitude, *longitude));
    return true;
}

std::optional<double> Form2::readCoordinate(QLineEdit* deg, QLineEdit* min, QLineEdit* sec, const QComboBox* hemisphere,
                                            const QString& name)
{
    const QLocale locale = QLocale::system();
    const std::optional<double> degrees = links::readAngle(deg->text(), locale);
    if (!degrees) {
        refuse(deg, QStringLiteral("The %1 degrees must be a number, such as %2.").arg(name, locale.toString(48.5)));
        return std::nullopt;
    }
    const std::optional<double> minutes = links::readAngle(min->text(), locale);
    if (!minutes) {
        refuse(min, QStringLiteral("The %1 minutes must be a number, such as %2.").arg(name, locale.toString(30.5)));
        return std::nullopt;
    }
    const std::optional<qint16> seconds = links::readSeconds(sec->text(), locale);
    if (!seconds) {
        refuse(sec, QStringLiteral("The %1 seconds must be a number from -32768 to 32767.").arg(name));
        return std::nullopt;
    }
    return links::coordinate(*degrees, *minutes, *seconds, -controls::itemData(hemisphere));
}

void Form2::refuseRange(QLineEdit* box, const QString& name, double value, const QString& limit)
{
    // World Wind and the placename layer would put such a place nowhere.
    const QString given = std::isfinite(value) ? QLocale::system().toString(std::abs(value), 'g', 15)
                                               : QStringLiteral("more than that");
    refuse(box, QStringLiteral("The %1 can be at most %2; its boxes give %3.").arg(name, limit, given));
}

void Form2::refuse(QLineEdit* box, const QString& message)
{
    MessageBox::information(this, message);
    box->setFocus();
    box->selectAll();
}
