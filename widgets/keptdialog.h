#pragma once
// A dialog created on first use and then kept between showings. Each
// showing starts with its result false; the accept and cancel buttons hide
// it (keeping every control's contents); the close box ends the showing
// like cancel and destroys the dialog, so that the next use creates it
// afresh. Escape counts as cancel.

#include <QDialog>
#include <QPointer>

#include <utility>

class KeptDialog : public QDialog {
    Q_OBJECT
public:
    // `result` is the derived dialog's public Boolean (add, okBouton).
    KeptDialog(bool& result, QWidget* parent);

    // Shows the dialog modally and returns when the showing ends; the
    // result then tells how it ended.
    void showModal();
    // True once the close box ended a showing: the dialog is on its way out
    // and must not be used again.
    bool discarded() const { return discarded_; }

public slots:
    void reject() override;

protected:
    // For the accept and cancel buttons.
    void acceptShowing();
    void cancelShowing();
    void closeEvent(QCloseEvent* event) override;

private:
    bool& result_;
    bool discarded_ = false;
    bool showing_ = false;
};

// The owner's handle on a kept dialog: the dialog in use, created when
// there is none or the last one was closed by its close box.
template <class Dialog>
class Kept {
public:
    ~Kept() { delete dialog_; }
    template <class... Args>
    Dialog* get(Args&&... args)
    {
        if (!dialog_ || dialog_->discarded())
            dialog_ = new Dialog(std::forward<Args>(args)...);
        return dialog_;
    }
    void destroy()
    {
        delete dialog_;
        dialog_ = nullptr;
    }

private:
    QPointer<Dialog> dialog_;
};
