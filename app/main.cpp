#include "ui/form1.h"
#include "widgets/look.h"
#include "platform/messagebox.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(MessageBox::applicationTitle());
    applyLook(app);
    Form1 form;
    form.Form_Load();
    form.show();
    return app.exec();
}
