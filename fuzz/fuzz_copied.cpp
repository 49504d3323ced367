// Clipboard contents of every flavour the capture reads: never a crash or a
// hang, and every location taken from a geo: URI, KML or GPX becomes a link
// whose latitude and longitude read back within range.

#include "check.h"
#include "exchange/copied.h"
#include "worldwind/links.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the flavour the rest is offered as.
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    exchange::ClipboardOffer offer;
    switch (data[0] % 4) {
    case 0: offer.text = QString::fromUtf8(rest); break;
    case 1: offer.kml = rest; break;
    case 2: offer.gpx = rest; break;
    default: offer.uriList = rest; break;
    }
    const std::optional<exchange::CopiedLocation> found = exchange::copiedLocation(offer);
    if (found && !(offer.text && links::isLocationLink(*offer.text))) {
        FUZZ_CHECK(links::position(found->link).has_value());
        FUZZ_CHECK(!found->name.contains(u'\n') && !found->name.contains(u'\t'));
    }
    return 0;
}
