#pragma once
// The seven settings and their file "velmora.ini": seven CR LF lines,
// Windows-1252, read back as comma-delimited fields.

#include <QByteArray>
#include <QString>

// The label font before any setting is read; the World Wind layer's too.
inline constexpr qint16 kDefaultFontSize = 10;
inline constexpr qint32 kDefaultFontColor = 16777215;  // white

struct Settings {
    QString SaveDir = QStringLiteral(".\\");
    QString WWDir = QStringLiteral(".\\");
    QString fontName_ = QStringLiteral("arial");
    qint16 fontSize_ = kDefaultFontSize;
    qint32 fontColor_ = kDefaultFontColor;
    bool fontBold_ = false;
    bool fontItalic_ = false;

    bool operator==(const Settings&) const = default;
};

namespace settingsfile {

inline constexpr auto kFileName = "velmora.ini";

// Reads the values in file order into `s`, storing each as soon as it is
// read and converted; returns false at the first value that is missing,
// cannot be converted or does not fit (the rest keep what `s` held).
bool parse(const QByteArray& bytes, Settings& s);
bool read(const QString& path, Settings& s);

// A text value is quoted when it would not read back as written otherwise
// (a comma, blanks at either end, a leading double quote).
QByteArray bytes(const Settings& s);
bool write(const QString& path, const Settings& s, QString* error);

// Whether a folder or font name can be stored: no double quote (the file
// has no way to escape one) and only characters of the code page.
bool storable(const QString& text);

}  // namespace settingsfile
