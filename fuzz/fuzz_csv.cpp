// The CSV reader (saved lists among it) on any bytes.

#include "roundtrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return readWriteReadBack(data, size, exchange::Format::Csv,
                             [](const QStringList& rows) { return exchange::csvBytes(rows); });
}
