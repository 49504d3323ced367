// The placename writer on any rows and label font: the data file reads back
// by World Wind's rule (seven-bit length-prefixed texts, floats, counts)
// with every row in place, and the layer set file parses as XML.

#include "check.h"
#include "journal/row.h"
#include "placenamereader.h"
#include "platform/codepage.h"
#include "worldwind/placenames.h"

#include "exchange/xmldoc.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    placenames::LabelFont font;
    font.size = qint16(data[0] | data[1] << 8);
    font.color = qint32(uint32_t(data[2]) | uint32_t(data[3]) << 8 | uint32_t(data[4]) << 16 | uint32_t(data[5]) << 24);
    font.bold = data[6] & 1;
    font.italic = data[6] & 2;
    // The rest as UTF-16: the font name up to the first NUL unit, then rows separated by NUL units.
    const QString all = QString::fromUtf16(reinterpret_cast<const char16_t*>(data + 7), qsizetype((size - 7) / 2));
    QStringList parts = all.split(QChar(0));
    font.name = parts.takeFirst();
    const QStringList& rows = parts;

    const auto file = placenamereader::readDataFile(placenames::dataFile(rows));
    FUZZ_CHECK(file.has_value());
    FUZZ_CHECK(file->places.size() == rows.size());
    FUZZ_CHECK(file->rest == QByteArray(1, '\0'));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const RowFields f = splitRow(rows[i]);
        const placenamereader::Place& p = file->places[i];
        FUZZ_CHECK(p.name == codepage::encode(f.name));
        FUZZ_CHECK(p.metadata.size() == 1 && p.metadata[0].first == "Comment");
        FUZZ_CHECK(p.metadata[0].second == codepage::encode(f.comment));
    }
    FUZZ_CHECK(placenames::listFile().size() == 32);

    // World Wind reads the layer set file's bytes in the code page they are written in.
    const exchange::xml::Document xml(codepage::decode(placenames::layerSetFile(font)).toUtf8());
    FUZZ_CHECK(xml.ok());
    const pugi::xml_node family = xml.root().find_node(
        [](pugi::xml_node n) { return std::strcmp(n.name(), "Family") == 0; });
    FUZZ_CHECK(family);
    FUZZ_CHECK(xml.text(family).size() <= font.name.size() + 1);
    return 0;
}
