#include "commondialogs.h"

#include "prepared.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QRegularExpression>

namespace CommonDialog {
namespace {

// A save-file answer: the path (nothing: cancelled) and the file type
// chosen with it.
struct SaveAnswer {
    std::optional<QString> path;
    QString type;
};

struct State {
    PreparedAnswers<SaveAnswer> files;
    PreparedAnswers<std::optional<QString>> openFiles;
    PreparedAnswers<std::optional<QFont>> fonts;
    PreparedAnswers<std::optional<QColor>> colors;
    LastRequest last;
};

State& state()
{
    static State s;
    return s;
}

// "abc" of "GPX (*.abc *.def)"; empty when the type names no extension.
QString extensionOf(const QString& type)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    return pattern.match(type).captured(1);
}

}  // namespace

QString withTypeExtension(const QString& path, const QString& type)
{
    const QString extension = extensionOf(type);
    const QFileInfo file(path);
    if (extension.isEmpty() || file.fileName().isEmpty() || !file.suffix().isEmpty())
        return path;
    return path + (path.endsWith(u'.') ? QString() : QStringLiteral(".")) + extension;
}

std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& proposedName)
{
    state().last.title = title;
    state().last.proposedName = proposedName;
    if (SaveAnswer given; state().files.take(given, {}))
        return given.path;
    const QString path = QFileDialog::getSaveFileName(parent, title, proposedName, QString(), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& filter)
{
    state().last.title = title;
    state().last.proposedName.clear();
    state().last.filter = filter;
    if (std::optional<QString> given; state().openFiles.take(given, std::nullopt))
        return given;
    const QString path = QFileDialog::getOpenFileName(parent, title, QString(), filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> saveFileAs(QWidget* parent, const QString& title, const QString& proposedName,
                                  const QString& filter)
{
    state().last.title = title;
    state().last.proposedName = proposedName;
    state().last.filter = filter;
    if (SaveAnswer given; state().files.take(given, {})) {
        if (!given.path)
            return std::nullopt;
        return withTypeExtension(*given.path,
                                 given.type.isEmpty() ? filter.section(QStringLiteral(";;"), 0, 0) : given.type);
    }
    // The dialog adds the chosen type's extension itself before it asks
    // about replacing a file, so the question is about the file written.
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(proposedName);
    dialog.setDefaultSuffix(extensionOf(dialog.selectedNameFilter()));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& type) { dialog.setDefaultSuffix(extensionOf(type)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().value(0).isEmpty())
        return std::nullopt;
    return withTypeExtension(dialog.selectedFiles().constFirst(), dialog.selectedNameFilter());
}

std::optional<QFont> font(QWidget* parent, const QFont& initial)
{
    state().last.initialFont = initial;
    if (std::optional<QFont> given; state().fonts.take(given, std::nullopt))
        return given;
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, parent);
    if (!ok)
        return std::nullopt;
    return chosen;
}

std::optional<QColor> color(QWidget* parent)
{
    if (std::optional<QColor> given; state().colors.take(given, std::nullopt))
        return given;
    const QColor chosen = QColorDialog::getColor(Qt::white, parent);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

void setNextSaveFile(std::optional<QString> path, const QString& type)
{
    state().files.push({std::move(path), type});
}
void setNextOpenFile(std::optional<QString> path)
{
    state().openFiles.push(std::move(path));
}
void setNextFont(std::optional<QFont> font)
{
    state().fonts.push(std::move(font));
}
void setNextColor(std::optional<QColor> color)
{
    state().colors.push(std::move(color));
}
void setNonInteractive(bool on)
{
    State& s = state();
    s.files.setNonInteractive(on);
    s.openFiles.setNonInteractive(on);
    s.fonts.setNonInteractive(on);
    s.colors.setNonInteractive(on);
}
LastRequest lastRequest()
{
    return state().last;
}

}  // namespace CommonDialog
