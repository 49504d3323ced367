#include "startup.h"

#include "form1.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "settings/settings.h"
#include "widgets/look.h"

namespace startup {

void readJournalAhead()
{
    // Form_Load reads the settings file again in its turn and takes this
    // read only for the same journal; without a readable settings file
    // the Configuration dialog comes first and nothing is read here.
    Settings settings;
    if (settingsfile::read(QString::fromLatin1(settingsfile::kFileName), settings))
        journal::Journal::readAhead(journal::journalPath(settings.SaveDir));
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
