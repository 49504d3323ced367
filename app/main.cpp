#include "app/commandline.h"
#include "platform/messagebox.h"
#include "ui/form1.h"
#include "widgets/look.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    // With arguments the program works on its files and opens no window,
    // so it needs no display.
    if (argc > 1) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout), err(stderr);
        return commandline::run(QCoreApplication::arguments().mid(1), out, err);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(MessageBox::applicationTitle());
    applyLook(app);
    Form1 form;
    form.Form_Load();
    form.show();
    return app.exec();
}
