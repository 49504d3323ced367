#pragma once
// The window's start-up as the program runs it: the journal the settings
// file names is read on another thread from the first moment, while the
// application, its look and the window are built and shown; the list is
// filled once both are done.

#include <memory>

class Form1;
class QApplication;

namespace startup {

// Before the application is built: begins reading the journal.
void readJournalAhead();
// The look, the window, its Form_Load, shown.
std::unique_ptr<Form1> showWindow(QApplication& app);

}  // namespace startup
