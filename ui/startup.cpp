#include "startup.h"

#include "form1.h"
#include "widgets/look.h"
#include "workspace/workspace.h"

namespace startup {

void readJournalAhead()
{
    // Form_Load opens the settings again in its turn and takes this read
    // only for the same journal.
    Workspace::readAhead();
}

std::unique_ptr<Form1> showWindow(QApplication& app)
{
    applyLook(app);
    auto form = std::make_unique<Form1>();
    form->Form_Load();
    form->show();
    return form;
}

}  // namespace startup
