// A journal file that shows a message box itself: the layer below the
// windows must not build with it.

#include "platform/messagebox.h"

namespace journal {

void tellTheUser()
{
    MessageBox::information(nullptr, QStringLiteral("from the journal"));
}

}  // namespace journal
