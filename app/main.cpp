#include "app/commandline.h"
#include "platform/messagebox.h"
#include "ui/form1.h"
#include "ui/startup.h"

#include <QApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// Without a display Qt gives a page of plugin advice and aborts; the user
// needs one line, and the way that works without one.
QString noDisplayLine()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString where = !display.isEmpty() ? QStringLiteral("the display \"%1\" could not be opened").arg(display)
                          : qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                              ? QStringLiteral("there is no display to open the window on (DISPLAY is not set)")
                              : QStringLiteral("the Wayland display \"%1\" could not be opened")
                                    .arg(qEnvironmentVariable("WAYLAND_DISPLAY"));
    return QStringLiteral("velmora: %1; velmora import/export work without a display (velmora --help)").arg(where);
}

// What Qt says while it looks for a display is held back: said if the
// window opens after all, replaced by noDisplayLine() if it cannot.
QStringList heldBack;

void holdBack(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        heldBack << qFormatLogMessage(type, context, message);
        return;
    }
    std::fputs(qPrintable(noDisplayLine() + u'\n'), stderr);
    std::_Exit(1);
}

}  // namespace

int main(int argc, char* argv[])
{
#ifdef SIGXFSZ
    // A file-size limit then fails the write, which is reported and leaves
    // the old file, instead of killing the program without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // With arguments the program works on its files and opens no window,
    // so it needs no display.
    if (argc > 1) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout), err(stderr);
        return commandline::run(QCoreApplication::arguments().mid(1), out, err);
    }
    startup::readJournalAhead();
    const QtMessageHandler usual = qInstallMessageHandler(holdBack);
    QApplication app(argc, argv);
    qInstallMessageHandler(usual);
    for (const QString& line : std::as_const(heldBack))
        std::fputs(qPrintable(line + u'\n'), stderr);
    QApplication::setApplicationName(MessageBox::applicationTitle());
    const std::unique_ptr<Form1> form = startup::showWindow(app);
    return app.exec();
}
