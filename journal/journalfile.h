#pragma once
// The journal file "velmora.js": one add_place("name","link","comment");
// line per entry, Windows-1252, CR LF. The web view runs it as a script.

#include "platform/textfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace journal {

inline constexpr auto kFileName = "velmora.js";

// Escapes a name or comment for the journal line: > < " ' as entities,
// backslash and every character Windows-1252 cannot hold as &#N;.
QString HTMLize(const QString& str);
// Reverses the four entities, then turns &#N; back into characters.
QString unHTMLize(const QString& str);
// Whether `text` starts with an entity that unHTMLize turns into a
// character: only such an "&" does not come back from the file as it is.
bool startsEntity(QStringView text);

QByteArray journalBytes(const QStringList& rows);

// The largest journal the program reads; a save never writes a larger one.
inline constexpr qint64 kMaxFileBytes = 256 * 1024 * 1024;

// The journal's bytes, or nothing once they pass `maxBytes` (having built
// little more than that).
std::optional<QByteArray> journalBytesWithin(const QStringList& rows, qint64 maxBytes);
// The same bytes handed to `sink` a piece at a time, never held whole.
// False once they pass `maxBytes` or `sink` says false.
bool journalLines(const QStringList& rows, qint64 maxBytes, const std::function<bool(QByteArrayView)>& sink);
// Why a journal larger than kMaxFileBytes is not written.
QString tooLargeToRead();

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
    // was not a journal line, or text after its entry that a save would
    // drop. 0 when reading went to the end.
    int stoppedAtLine = 0;
    // 1-based first line that held more than one entry (a file whose lines
    // end in LF only): only its first entry was read. 0 when there is none.
    int firstCrowdedLine = 0;
    // Entries the file holds, read or not; -1 when it could not be read.
    int placesInFile = 0;

    // Every place of the file is in `rows` and the file holds nothing else
    // (text that is not journal lines may be the user's notes), so a save
    // may replace the file without asking.
    bool complete() const { return !exists || (opened && stoppedAtLine == 0 && placesInFile <= rows.size()); }
};

ReadResult parseJournal(const QByteArray& bytes);
// Reads only a regular file (after following links) of a sensible size:
// a pipe would block and a device never end. The type is checked on the
// open file, which was opened without waiting for a writer.
ReadResult readJournalFile(const QString& path);
// The same for the file at `path` read already (its bytes read once for
// the journal and its print).
ReadResult journalOfFile(const QString& path, const textfile::FileRead& file);

// Writes the rows as the journal at `path`, whole or not at all: a new file
// renamed into place, never the old one rewritten. A journal larger than
// kMaxFileBytes is refused: it could not be read back. A symbolic link is
// followed only to a journal: one that leads to other text, to something
// that is not a file or to nothing is refused.
bool save(const QString& path, const QStringList& rows, QString* error = nullptr);

// The file the journal's path leads to, absolute, through symbolic links
// and "..": the same for every path to one journal. A file not there yet
// is named in its folder's resolved path.
QString resolvedPath(const QString& path);

}  // namespace journal
