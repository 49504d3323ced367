#pragma once
// The platform's file, font and colour dialogs. Tests prepare the outcome
// of the next dialog instead of a person choosing in it.

#include <QColor>
#include <QFont>
#include <QString>
#include <optional>

class QWidget;

namespace CommonDialog {

// A save-file dialog used to pick a folder; the confirmed file path, or
// nothing when cancelled. The dialog writes no file.
std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& proposedName);
// An open-file dialog for a file to read, listing the files `filter` names
// ("Places (*.kml *.gpx)"); the chosen path, or nothing when cancelled.
std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& filter);
// A save-file dialog for a file to write, listing the types `filter` names
// ("KML (*.kml);;GPX (*.gpx)"). A name given without an extension gets the
// one of the type chosen, and the dialog asks before an existing file of
// that name is replaced. The chosen path, or nothing.
std::optional<QString> saveFileAs(QWidget* parent, const QString& title, const QString& proposedName,
                                  const QString& filter);
// `path` with the extension of `type` ("GPX (*.gpx)": its first pattern)
// added when its file name has none; unchanged when the type names none.
QString withTypeExtension(const QString& path, const QString& type);
// The font dialog preset with `initial`; the chosen font, or nothing.
std::optional<QFont> font(QWidget* parent, const QFont& initial);
// The colour dialog, not preset; the chosen colour, or nothing.
std::optional<QColor> color(QWidget* parent);

// For tests. Each prepared outcome answers the next dialog of its kind
// (std::nullopt stands for Cancel); without one, a non-interactive run
// cancels. What the last dialogs were asked with is kept for checking.
// saveFile and saveFileAs; `type` is the one chosen in saveFileAs (by
// default the first of its filter, as the dialog starts with).
void setNextSaveFile(std::optional<QString> path, const QString& type = {});
void setNextOpenFile(std::optional<QString> path);
void setNextFont(std::optional<QFont> font);
void setNextColor(std::optional<QColor> color);
void setNonInteractive(bool on);

struct LastRequest {
    QString title;
    QString proposedName;
    QString filter;
    QFont initialFont;
};
LastRequest lastRequest();

}  // namespace CommonDialog
