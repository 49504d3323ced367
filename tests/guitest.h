#pragma once
// Helpers for widget tests: a scratch start folder, boxes answered without
// a person, and a way to act inside a modal dialog once it is up.

#include "platform/codepage.h"
#include "platform/commondialogs.h"
#include "platform/messagebox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace guitest {

// Runs `act` with the modal dialog as soon as one is shown.
inline void whenModal(std::function<void(QWidget*)> act, int triesLeft = 200)
{
    QTimer::singleShot(10, [act = std::move(act), triesLeft]() mutable {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
            act(modal);
        } else if (triesLeft > 0) {
            whenModal(std::move(act), triesLeft - 1);
        }
    });
}

// A fresh start folder for one test; the process works in it meanwhile.
class StartFolder {
public:
    StartFolder() : previous_(QDir::currentPath())
    {
        QDir::setCurrent(dir_.path());
        MessageBox::setNonInteractive(true);
        MessageBox::clearHistory();
        CommonDialog::setNonInteractive(true);
    }
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

}  // namespace guitest
