#pragma once
// What the GeoJSON and CSV readers promise on any bytes: a file is either
// read or refused with a reason and no rows; what was read is written in
// the same format and reads back as exactly the same rows.

#include "check.h"
#include "exchange/places.h"
#include "journal/row.h"

#include <cstddef>
#include <cstdint>

template <typename Writer>
int readWriteReadBack(const uint8_t* data, size_t size, exchange::Format format, Writer write)
{
    const exchange::Import got = exchange::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                                                 format);
    if (!got.ok()) {
        FUZZ_CHECK(got.rows.isEmpty());
        return 0;
    }
    FUZZ_CHECK(got.rows.size() <= kMaxRows);
    const exchange::Import back = exchange::parse(write(got.rows), format);
    FUZZ_CHECK(back.ok());
    FUZZ_CHECK(back.rows == got.rows);
    FUZZ_CHECK(back.skipped == 0 && back.withoutPosition.isEmpty());
    return 0;
}
