// The places reader (KML, GPX, KMZ) on any bytes: a file is either read or
// refused with a reason and no rows; what was read is written as KML and
// as GPX and reads back as exactly the same rows.

#include "check.h"
#include "exchange/places.h"
#include "journal/row.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const exchange::Import got = exchange::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!got.ok()) {
        FUZZ_CHECK(got.rows.isEmpty());
        return 0;
    }
    FUZZ_CHECK(got.rows.size() <= kMaxRows);
    for (const QByteArray& bytes : {exchange::kmlBytes(got.rows), exchange::gpxBytes(got.rows)}) {
        const exchange::Import back = exchange::parse(bytes);
        FUZZ_CHECK(back.ok());
        FUZZ_CHECK(back.rows == got.rows);
        FUZZ_CHECK(back.skipped == 0 && back.routeAndTrackPoints == 0);
    }
    return 0;
}
