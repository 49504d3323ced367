// The settings reader on any bytes, then the writer: whatever was read
// (in full or up to a bad value) is written so that it reads back the same,
// as long as the Configuration dialog could store it (the file has no way
// to escape a double quote).

#include "check.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Settings read;
    settingsfile::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), read);
    const QByteArray written = settingsfile::bytes(read);
    for (const QString& text : {read.SaveDir, read.WWDir, read.fontName_})
        if (!settingsfile::storable(text))
            return 0;
    Settings back;
    back.fontName_ = QStringLiteral("not read");
    FUZZ_CHECK(settingsfile::parse(written, back));
    FUZZ_CHECK(back == read);
    FUZZ_CHECK(settingsfile::bytes(back) == written);
    return 0;
}
