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
// A save-file dialog for a file to write, listing the files `filter` names;
// it asks before an existing file is replaced. The chosen path, or nothing.
std::optional<QString> saveFileAs(QWidget* parent, const QString& title, const QString& proposedName,
                                  const QString& filter);
// The font dialog preset with `initial`; the chosen font, or nothing.
std::optional<QFont> font(QWidget* parent, const QFont& initial);
// The colour dialog, not preset; the chosen colour, or nothing.
std::optional<QColor> color(QWidget* parent);

// For tests. Each prepared outcome answers the next dialog of its kind
// (std::nullopt stands for Cancel); without one, a non-interactive run
// cancels. What the last dialogs were asked with is kept for checking.
void setNextSaveFile(std::optional<QString> path);  // saveFile and saveFileAs
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
