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

QByteArray journalBytes(const QStringList& rows);

// The journal file of a save folder, as the local file system wants it
// (an empty folder is the start folder).
QString journalPath(const QString& saveDir);

// The journal as it was read: the rows, and what of the file they leave out.
struct ReadResult {
    QString path;
    QStringList rows;
    // Something is at the path (a file, a folder, a pipe...).
    bool exists = false;
    // The file was read; when it exists but was not, `whyNotRead` says why.
    bool opened = false;
    QString whyNotRead;
    // 1-based line at which reading stopped: it held more than blanks but
    // was not a journal line. 0 when reading went to the end.
    int stoppedAtLine = 0;
    // 1-based first line that held more than one entry (a file whose lines
    // end in LF only): only its first entry was read. 0 when there is none.
    int firstCrowdedLine = 0;
    // Entries the file holds, read or not; -1 when it could not be read.
    int placesInFile = 0;

    // Every place of the file is in `rows`, so a save may replace the file
    // without asking.
    bool complete() const { return !exists || (opened && placesInFile <= rows.size()); }
};

ReadResult parseJournal(const QByteArray& bytes);
// Reads only a regular file (after following links) of a sensible size:
// a pipe would block and a device never end.
ReadResult readJournalFile(const QString& path);

// The journal at `path` as a save would replace it. `asRead` is what the
// list was loaded from; when that was another path (or nothing), the list
// holds none of the places of the file now at `path`.
ReadResult beforeReplacing(const QString& path, const ReadResult& asRead);

// Writes the rows as the journal at `path`, whole or not at all.
bool save(const QString& path, const QStringList& rows, QString* error = nullptr);

}  // namespace journal
