#include "keptdialog.h"

#include <QCloseEvent>

KeptDialog::KeptDialog(bool& result, QWidget* parent) : QDialog(parent), result_(result)
{}

void KeptDialog::showModal()
{
    result_ = false;
    showing_ = true;
    exec();
    showing_ = false;
    // Deleted only now, once the modal loop is over and the caller has had
    // the chance to read the result.
    if (discarded_)
        deleteLater();
}

void KeptDialog::acceptShowing()
{
    result_ = true;
    hide();
}

void KeptDialog::cancelShowing()
{
    result_ = false;
    hide();
}

void KeptDialog::reject()
{
    result_ = false;
    QDialog::reject();
}

void KeptDialog::closeEvent(QCloseEvent* event)
{
    result_ = false;
    discarded_ = true;
    QDialog::closeEvent(event);
    if (!showing_)
        deleteLater();
}
