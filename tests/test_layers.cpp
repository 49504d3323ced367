// The folders stay layered: each includes only from itself and the folders
// below it, in the order of the README's layout, which lists them from the
// bottom up.

#include "printers.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

using Levels = QMap<QString, int>;  // folder name, its level counted from the bottom

struct Include {
    QString file;    // the including file, from the source root
    QString target;  // what it includes, as written
};

QString folderOf(const QString& path)
{
    return path.section(u'/', 0, 0);
}

// One level per bullet of the "Layout" section, holding each `folder/` the
// bullet names.
Levels layoutLevels(const QString& readme)
{
    static const QRegularExpression folder(QStringLiteral("`([A-Za-z0-9_]+)/`"));
    Levels levels;
    bool inLayout = false;
    int level = 0;
    for (const QString& line : readme.split(u'\n')) {
        if (line.startsWith(QLatin1String("## ")))
            inLayout = line.trimmed() == QLatin1String("## Layout");
        if (!inLayout || !line.startsWith(QLatin1String("- ")))
            continue;
        for (const QRegularExpressionMatch& m : folder.globalMatch(line))
            levels.insert(m.captured(1), level);
        ++level;
    }
    return levels;
}

bool isBuildTree(const QString& dir)
{
    return QFile::exists(dir + QStringLiteral("/CMakeCache.txt"));
}

// The folders below `root` that hold C++ sources; build trees do not count.
QStringList sourceFolders(const QString& root)
{
    QStringList found;
    const QStringList dirs = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& dir : dirs) {
        const QString path = root + u'/' + dir;
        if (isBuildTree(path) || dir.startsWith(u'.'))
            continue;
        QDirIterator it(path, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            if (!it.next().contains(QLatin1String("/node_modules/"))) {
                found << dir;
                break;
            }
    }
    return found;
}

// Every quoted include of the sources in `folders`.
QList<Include> includes(const QString& root, const QStringList& folders)
{
    static const QRegularExpression quoted(QStringLiteral("^\\s*#\\s*include\\s*\"([^\"]+)\""),
                                           QRegularExpression::MultilineOption);
    QList<Include> found;
    for (const QString& folder : folders) {
        QDirIterator it(root + u'/' + folder, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains(QLatin1String("/node_modules/")))
                continue;
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(f.readAll());
            for (const QRegularExpressionMatch& m : quoted.globalMatch(text))
                found.append({QDir(root).relativeFilePath(path), m.captured(1)});
        }
    }
    return found;
}

// One line per include that reaches a folder above the including one, and
// per file in a folder the layout does not place.
QStringList upward(const Levels& levels, const QList<Include>& found)
{
    QStringList wrong;
    for (const Include& include : found) {
        const QString from = folderOf(include.file);
        if (!levels.contains(from)) {
            wrong << include.file + QStringLiteral(": its folder is not in the layout");
            continue;
        }
        const QString to = folderOf(include.target);
        if (include.target.contains(u'/') && levels.contains(to) && levels[to] > levels[from])
            wrong << include.file + QStringLiteral(" includes ") + include.target + QStringLiteral(", from above");
    }
    wrong.removeDuplicates();
    return wrong;
}

TEST(Layers, NoFolderIncludesOneAboveIt)
{
    const QString root = QStringLiteral(VELMORA_SOURCE_DIR);
    QFile readme(root + QStringLiteral("/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const Levels levels = layoutLevels(QString::fromUtf8(readme.readAll()));
    ASSERT_GE(levels.size(), 8) << "the README's Layout section names too few folders";

    const QStringList folders = sourceFolders(root);
    const QList<Include> found = includes(root, folders);
    ASSERT_GT(found.size(), 100);
    EXPECT_EQ(upward(levels, found), QStringList());
}

TEST(Layers, IncludesFromAboveAndUnplacedFoldersAreNamed)
{
    const Levels levels = layoutLevels(QStringLiteral("## Set-up\n- `app/` not here\n## Layout\n\n"
                                                      "- `platform/` bottom\n- `journal/`, `settings/` one level\n"
                                                      "  more text\n- `app/` top, using `widgets/art.cpp`\n## Next\n"
                                                      "- `ui/` not here either\n"));
    EXPECT_EQ(levels, (Levels{{QStringLiteral("platform"), 0},
                              {QStringLiteral("journal"), 1},
                              {QStringLiteral("settings"), 1},
                              {QStringLiteral("app"), 2}}));
    const QList<Include> found = {
        {QStringLiteral("app/main.cpp"), QStringLiteral("journal/row.h")},
        {QStringLiteral("journal/row.cpp"), QStringLiteral("row.h")},
        {QStringLiteral("journal/row.cpp"), QStringLiteral("settings/settings.h")},
        {QStringLiteral("platform/win32/shell.cpp"), QStringLiteral("win32/win32.h")},
        {QStringLiteral("platform/shell.cpp"), QStringLiteral("journal/row.h")},
        {QStringLiteral("platform/shell.cpp"), QStringLiteral("app/main.h")},
        {QStringLiteral("other/x.cpp"), QStringLiteral("platform/shell.h")},
    };
    EXPECT_EQ(upward(levels, found),
              (QStringList{QStringLiteral("platform/shell.cpp includes journal/row.h, from above"),
                           QStringLiteral("platform/shell.cpp includes app/main.h, from above"),
                           QStringLiteral("other/x.cpp: its folder is not in the layout")}));
}

}  // namespace
