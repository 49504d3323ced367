#pragma once
// A scratch start folder for one test, without widgets: the process works in
// it meanwhile, and the settings file as the program writes it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace testfolder {

class StartFolder {
public:
    StartFolder() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~StartFolder() { QDir::setCurrent(previous_); }

    QString path(const QString& name = QString()) const { return name.isEmpty() ? dir_.path() : dir_.filePath(name); }

    void write(const QString& name, const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }

    QByteArray read(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    bool exists(const QString& name) const { return QFile::exists(path(name)); }

private:
    QString previous_;
    QTemporaryDir dir_;
};

// A settings file as the program writes it: by default both folders are
// the start folder and the label font is the default one.
inline QByteArray settingsFile(const QByteArray& saveDir = ".\\", const QByteArray& wwDir = ".\\",
                               const QByteArray& font = "arial", const QByteArray& size = " 10 ")
{
    return saveDir + "\r\n" + wwDir + "\r\n" + font + "\r\n" + size + "\r\n 16777215 \r\nFalse\r\nFalse\r\n";
}

inline const QByteArray kSettings = settingsFile();

// Two journal lines as the program writes them, one with an escaped "&".
inline const QByteArray kParis =
    "add_place(\"Paris\",\"worldwind://goto/world=Earth&lat=48.85&lon=2.35\",\"capital\");";
inline const QByteArray kRock = "add_place(\"Rock & Roll\",\"worldwind://goto/world=Earth&lat=-1&lon=1\",\"\");";
inline const QByteArray kTwoPlaces = kParis + "\r\n" + kRock + "\r\n";

}  // namespace testfolder
