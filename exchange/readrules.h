#pragma once
// What every places reader shares: byte-order marks, texts and numbers read
// straight from UTF-8 bytes, and whether a link of ours still points at
// the place it came with.

#include "places.h"

#include "exchange/xmldoc.h"
#include "worldwind/links.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace exchange {

// The text without a UTF-8 byte-order mark at its start: a text read as a
// string would lose it, as the names and comments do, and a file may start
// with one.
QByteArrayView withoutBom(QByteArrayView text);

// A name or comment never starts with a U+FEFF, which reading drops there:
// the place would not come back the same from our own file.
QStringView withoutLeadingBom(QStringView text);

// A piece of such a text as a string, for the rules that need one: a
// U+FEFF first in it is kept, since it was not first in the text.
QString wide(QByteArrayView text);

// U+FFFE and U+FFFF, which no file we write can carry (they go out as
// U+FFFD), read as U+FFFD, so that a place reads back as it was written.
QString carried(QString text);

// Blanks and line ends around a link copied into a file are not part of it.
QByteArrayView trimmedLink(QByteArrayView link);
QStringView trimmedLink(QStringView link);

bool ascii(QByteArrayView text);

// Whether our link still points at the place, as the exports read it: the
// KML and GPX exports by its exact position (0,0 when it has none), and,
// when it has one, the World Wind layer by its float reading. `latText`
// and `lonText` are what the place's own numbers were read from (empty
// when they were not read from a text).
bool pointsAt(QByteArrayView link, double lat, double lon, QByteArrayView latText, QByteArrayView lonText);

// Where a map service's link to a place says it is: "/maps/search/LAT,LON",
// "/@LAT,LON,zoom", "?q=LAT,LON" (also "query=" and "ll="), commas also
// as %2C, blanks as "+"; for a location link of ours, its position.
// Nothing when the link holds none (a link naming the place only).
std::optional<links::Position> positionInLink(QStringView link);

// One place as a GeoJSON or CSV file holds it, its texts decoded.
struct Candidate {
    QString name;
    QString comment;
    QString link;                       // a location link of ours or a map service's link; may be empty
    std::optional<links::Position> at;  // from the file's numbers; 0,0 counts as none
    QString where;                      // "feature 12", "line 7": for messages
};

// Adds the place to `result` as the KML reader would: a place with our
// location link keeps its texts exactly, and the link while it still
// points at the place; any other gets its texts trimmed and a link of ours
// to where it is, from its numbers or else its link. A place with no
// position at all is named in `withoutPosition`, never put at 0,0. False,
// with `result.error` set, when the file must be refused (a position out
// of range, too many places).
bool takePlace(Import& result, const Candidate& place);

// The texts that make a place's comment (a description, a note, an
// address): each one that is not blank, once, joined by "; ". Blanks
// alone are kept as they are: our own files carry comments exactly.
QString joinedComment(const QStringList& texts);

// "\"Name\" (line 7)", or "the place on line 7" without a name.
QString placeNamed(const QString& name, const QString& where);

// More values (JSON values and members, CSV fields) are refused before a
// file is read further, as more elements are in XML.
inline constexpr qsizetype kMaxValues = xml::kMaxMarkup;

// GeoJSON and CSV files, read as parse() says, once they are known to be
// no larger than kMaxFileSize.
Import readGeoJson(QByteArray bytes);
Import readCsv(QByteArrayView bytes);

// What a file larger than kMaxFileSize is told.
QString tooLarge(qint64 size);

}  // namespace exchange
