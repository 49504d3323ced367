#include "commondialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QRegularExpression>
#include <deque>

namespace CommonDialog {
namespace {

struct State {
    std::deque<std::optional<QString>> files;
    std::deque<QString> fileTypes;  // one for each of `files`
    std::deque<std::optional<QString>> openFiles;
    std::deque<std::optional<QFont>> fonts;
    std::deque<std::optional<QColor>> colors;
    bool nonInteractive = false;
    LastRequest last;
};

State& state()
{
    static State s;
    return s;
}

template <typename T>
bool prepared(std::deque<std::optional<T>>& queue, std::optional<T>& out)
{
    if (!queue.empty()) {
        out = queue.front();
        queue.pop_front();
        return true;
    }
    if (state().nonInteractive) {
        out.reset();
        return true;
    }
    return false;
}

// The type a prepared save-file answer was given with, taken with it.
QString preparedType(bool fromQueue)
{
    if (!fromQueue || state().fileTypes.empty())
        return {};
    QString type = state().fileTypes.front();
    state().fileTypes.pop_front();
    return type;
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
    std::optional<QString> out;
    const bool fromQueue = !state().files.empty();
    if (prepared(state().files, out)) {
        preparedType(fromQueue);
        return out;
    }
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
    std::optional<QString> out;
    if (prepared(state().openFiles, out))
        return out;
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
    std::optional<QString> out;
    const bool fromQueue = !state().files.empty();
    if (prepared(state().files, out)) {
        const QString type = preparedType(fromQueue);
        if (!out)
            return out;
        return withTypeExtension(*out, type.isEmpty() ? filter.section(QStringLiteral(";;"), 0, 0) : type);
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
    std::optional<QFont> out;
    if (prepared(state().fonts, out))
        return out;
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, parent);
    if (!ok)
        return std::nullopt;
    return chosen;
}

std::optional<QColor> color(QWidget* parent)
{
    std::optional<QColor> out;
    if (prepared(state().colors, out))
        return out;
    const QColor chosen = QColorDialog::getColor(Qt::white, parent);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

void setNextSaveFile(std::optional<QString> path, const QString& type)
{
    state().files.push_back(std::move(path));
    state().fileTypes.push_back(type);
}
void setNextOpenFile(std::optional<QString> path)
{
    state().openFiles.push_back(std::move(path));
}
void setNextFont(std::optional<QFont> font)
{
    state().fonts.push_back(std::move(font));
}
void setNextColor(std::optional<QColor> color)
{
    state().colors.push_back(std::move(color));
}
void setNonInteractive(bool on)
{
    state().nonInteractive = on;
}
LastRequest lastRequest()
{
    return state().last;
}

}  // namespace CommonDialog
