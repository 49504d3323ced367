#pragma once
// The journal as a World Wind placename layer: a data file with one record
// per place and a one-entry placename list in "add-ons\earth\velmora\", and
// the layer set file "config\earth\velmora.xml" that declares the layer
// with the label font. World Wind finds and reads them on its own.

#include "platform/textfile.h"
#include "settings/settings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace placenames {

// A colour as the settings keep it: red in the low byte, then green, then
// blue. Split by floor division, so every number splits: red and green
// fall in 0..255, blue takes what is left above them.
struct ColorBytes {
    qint64 red = 0;
    qint64 green = 0;
    qint64 blue = 0;
};
ColorBytes colorBytes(qint64 color);
qint32 packedColor(int red, int green, int blue);

struct LabelFont {
    QString name;
    qint16 size = kDefaultFontSize;
    qint32 color = kDefaultFontColor;  // red in the low byte, then green, then blue
    bool bold = false;
    bool italic = false;
};

// The label font as the settings choose it.
LabelFont labelFont(const Settings& s);

// "velmora.wwp": the count, then per row (name TAB link TAB comment) the
// name, latitude, longitude and the comment as its one metadata value,
// then a 0 byte. Latitude and longitude are the values of link fields 1
// and 2 ("&"-separated), whatever their keys; what a row lacks is written
// as 0.0 or empty text.
QByteArray dataFile(const QStringList& rows);
// The same bytes handed to `piece` about a megabyte at a time (a long row
// makes its piece longer), never held whole. `piece` stops it by returning
// false; then so does this.
bool dataFilePieces(const QStringList& rows, const std::function<bool(QByteArrayView)>& piece);

// "velmora.wpl": always the same 32 bytes, pointing at "velmora.wwp" for
// the whole globe.
QByteArray listFile();

// "velmora.xml", Windows-1252 with CR LF line ends.
QByteArray layerSetFile(const LabelFont& font);

// Why the World Wind folder `wwDir` (as the user typed it) holds no World
// Wind to write the layer for: it does not exist, or it has neither
// "add-ons/earth" nor "config/earth". Empty when it has either. Paths are
// written with the platform's separators.
QString noWorldWind(const QString& wwDir);

struct Result {
    QStringList failures;  // one line per file not written: its path and why
    bool ok() const { return failures.isEmpty(); }
};

// Writes the three files into the World Wind folder `wwDir` (as the user
// typed it). "add-ons\earth" and "config\earth" must exist; only the layer
// folder "velmora" is created. Each file is written whole or not at all,
// and a file that cannot be written does not stop the others. A folder
// that holds no World Wind gets nothing, and the one failure is why
// (noWorldWind).
Result write(const QString& wwDir, const QStringList& rows, const LabelFont& font);
// The data file of `rows` written ahead, on any thread, into a new file
// beside the one it replaces, a piece at a time; writeWith puts it in
// place. Nothing is written ahead where the layer folder is not there yet
// (only writeWith makes it): writeWith then writes it itself.
class DataDraft {
public:
    DataDraft(const QString& wwDir, const QStringList& rows);
    ~DataDraft();
    DataDraft(const DataDraft&) = delete;
    DataDraft& operator=(const DataDraft&) = delete;
    void make();
    // Ends a make() under way early, its new file left to be cancelled.
    void stop() { stopped_ = true; }

private:
    friend Result writeWith(const QString& wwDir, DataDraft& draft, const LabelFont& font);
    void writeTo(const QString& local);

    QStringList rows_;
    QString path_;  // where the new file goes; empty when not written ahead
    std::unique_ptr<textfile::NewFile> file_;
    bool made_ = false;
    std::atomic<bool> stopped_ = false;
};
// The same as write() with the data file from `draft`.
Result writeWith(const QString& wwDir, DataDraft& draft, const LabelFont& font);

}  // namespace placenames
