// The GeoJSON reader (saved places among it) on any bytes.

#include "roundtrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return readWriteReadBack(data, size, exchange::Format::GeoJson,
                             [](const QStringList& rows) { return exchange::geoJsonBytes(rows); });
}
