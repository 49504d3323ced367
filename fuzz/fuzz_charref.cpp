// The escaping of names and comments and its reverse: every Unicode scalar
// value comes back, alone, in any company, and through a journal line.
// The input is read as 21-bit code points, three bytes each.

#include "check.h"
#include "journal/journalfile.h"
#include "journal/row.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString text;
    for (size_t i = 0; i + 3 <= size; i += 3) {
        char32_t cp = (char32_t(data[i]) << 16 | char32_t(data[i + 1]) << 8 | data[i + 2]) % 0x110000;
        if (cp >= 0xD800 && cp <= 0xDFFF)
            cp -= 0x800;  // surrogates are not scalar values
        // "&" is not escaped, so a typed entity turns into its character:
        // long-standing, kept for old journals. Every other character survives.
        if (cp == u'&')
            cp = u'+';
        if (QChar::requiresSurrogates(cp)) {
            text += QChar(QChar::highSurrogate(cp));
            text += QChar(QChar::lowSurrogate(cp));
        } else {
            text += QChar(char16_t(cp));
        }
    }
    const QString escaped = journal::HTMLize(text);
    FUZZ_CHECK(journal::unHTMLize(escaped) == text);
    FUZZ_CHECK(!escaped.contains(u'"') && !escaped.contains(u'\\') && !escaped.contains(u'<'));

    // Through a whole journal line; the row itself turns TAB, CR and LF into spaces.
    const QString row = makeRow(text, u"worldwind://goto/world=Earth&lat=1&lon=2", text);
    const journal::ReadResult read = journal::parseJournal(journal::journalBytes({row}));
    FUZZ_CHECK(read.rows.size() == 1 && read.rows.first() == row);
    return 0;
}
