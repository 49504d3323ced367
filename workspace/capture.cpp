#include "capture.h"

#include "journal/row.h"
#include "worldwind/links.h"

namespace capture {

QString Decision::name() const
{
    return found.name.isEmpty() ? QStringLiteral("<Enter a name>") : found.name;
}

bool Policy::wantsFlavours(const std::optional<QString>& text)
{
    return !text || !links::isLocationLink(*text);
}

std::optional<exchange::CopiedLocation> Policy::waiting(const Seen& seen) const
{
    std::optional<exchange::CopiedLocation> found = exchange::copiedLocation(seen.offer);
    // Taking again what a clipboard manager gives back would reopen the
    // dialog for ever.
    if (found && found->link == taken_.link && found->name == taken_.name && seen.refilled)
        return std::nullopt;
    return found;
}

Decision Policy::look(bool busy, int held, const std::function<Seen()>& read)
{
    // A place added while a save or reload runs would be lost: it waits.
    if (busy) {
        missed_ = true;
        return {Decision::Wait, {}, {}};
    }
    const std::optional<exchange::CopiedLocation> found = waiting(read());
    if (!found)
        return {};
    take(*found);
    // Never cut: a longer text is refused whole, before the room is asked.
    if (auto why = journal::tooLong({found->name, found->link, {}}, {journal::Refusal::Link, journal::Refusal::Name})) {
        why->text = QStringLiteral("The location on the clipboard was not taken: it has %1.").arg(why->text);
        return {Decision::Refused, *found, *why};
    }
    if (auto why = journal::noRoom(held))
        return {Decision::Refused, *found, *why};
    return {Decision::Offer, *found, {}};
}

bool Policy::takeWaiting(const Seen& seen)
{
    const std::optional<exchange::CopiedLocation> found = waiting(seen);
    if (found)
        take(*found);
    return found.has_value();
}

}  // namespace capture
