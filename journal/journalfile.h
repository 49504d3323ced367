#pragma once
// The journal file "velmora.js": one add_place("name","link","comment");
// line per entry, Windows-1252, CR LF. The web view runs it as a script.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace journal {

inline constexpr auto kFileName = "velmora.js";

// Escapes a name or comment for the journal line: > < " ' as entities,
// backslash and every character Windows-1252 cannot hold as &#N;.
QString HTMLize(const QString& str);
// Reverses the four entities, then turns &#N; back into characters.
QString unHTMLize(const QString& str);

// The journal line's link: " \ CR LF percent-encoded so the script string
// stays intact, characters outside the code page as percent-encoded UTF-8.
QString safeLink(const QString& link);

QByteArray journalBytes(const QStringList& rows);

struct ReadResult {
    QStringList rows;
    bool opened = false;
    // 1-based line from which text that holds more than blanks was left
    // unread (reading stopped at a malformed line, or a line held more than
    // one entry); 0 when the whole file was read.
    int firstUnreadLine = 0;
};

ReadResult parseJournal(const QByteArray& bytes);
// An unreadable file gives an empty, unopened result.
ReadResult readJournalFile(const QString& path);

}  // namespace journal
