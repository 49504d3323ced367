// The CSV reader (saved lists among it) on any bytes: a file is either
// read or refused with a reason and no rows; what was read is written in
// the same format and reads back as exactly the same rows.

#include "check.h"
#include "exchange/places.h"
#include "journal/row.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const exchange::Format format = exchange::Format::Csv;
    const exchange::Import got = exchange::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                                                 format);
    if (!got.ok()) {
        FUZZ_CHECK(got.rows.isEmpty());
        return 0;
    }
    FUZZ_CHECK(got.rows.size() <= kMaxRows);
    const exchange::Import back = exchange::parse(exchange::csvBytes(got.rows), format);
    FUZZ_CHECK(back.ok());
    FUZZ_CHECK(back.rows == got.rows);
    FUZZ_CHECK(back.skipped == 0 && back.withoutPosition.isEmpty());
    return 0;
}
