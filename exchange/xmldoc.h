#pragma once
// The one XML reader of the program: pugixml parses in place (it never
// processes a DTD, so no entity expands, and never opens a file or a
// connection), and the checks pugixml leaves out are made here, so that a
// document is read only when it is well-formed: UTF-8 throughout, no
// character XML forbids, no text outside the root element, no entity
// declarations, no reference to an entity other than the five predefined
// ones, nesting bounded.

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <pugixml.hpp>

#include <functional>
#include <vector>

namespace exchange::xml {

// Deeper nesting is refused: readers of the tree may descend by recursion.
inline constexpr int kMaxDepth = 200;

// More elements (and comments, processing instructions, CDATA sections) are
// refused before the tree is built: each costs a node of some 64 bytes, and a
// text between two of them another. A full journal's KML holds some 270,000.
inline constexpr qsizetype kMaxMarkup = 2'000'000;

class Document {
public:
    // Reads `bytes`: UTF-8, or any encoding named in the XML declaration or
    // by a byte-order mark (converted to UTF-8 first). Bytes handed over
    // (moved in) are parsed where they lie; shared ones are copied first.
    explicit Document(QByteArray bytes);
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Why the document cannot be read ("it is not well-formed XML (line 3,
    // column 7: ...)"); empty when it was read.
    const QString& error() const { return error_; }
    bool ok() const { return error_.isEmpty(); }

    pugi::xml_node root() const { return root_; }

    // The line (from 1) where the node starts.
    qint64 lineOf(pugi::xml_node node) const;

    // All text inside the element, its child elements' included, references
    // replaced and line ends made LF, as XML reads it.
    QString text(pugi::xml_node element) const;
    // The same into `out`, whose room is kept: readers of many places
    // reuse one string rather than allocate one per field.
    void text(pugi::xml_node element, QString& out) const;
    // The value of the attribute, normalised as XML reads it (literal tabs
    // and line ends become blanks); null when there is none.
    QString attribute(pugi::xml_node element, const char* name) const;
    // The same into `out` (emptied when there is none); false when there is none.
    bool attribute(pugi::xml_node element, const char* name, QString& out) const;
    // Whether that value is `wanted` (UTF-8).
    bool attributeIs(pugi::xml_node element, const char* name, const char* wanted) const;

    // The same texts as UTF-8 without a string of their own, for readers
    // that build their strings straight from the bytes: a view of the
    // parsed buffer when the text needs no change, else of `scratch`,
    // which receives it. Valid while `scratch` is left alone.
    QByteArrayView textBytes(pugi::xml_node element, QByteArray& scratch) const;
    // Empty when there is no such attribute.
    QByteArrayView attributeBytes(pugi::xml_node element, const char* name, QByteArray& scratch) const;
    // Appends such a text to `out`; a U+FEFF first in the text is dropped,
    // as QString::fromUtf8 drops it. True when the text holds a control
    // character (below U+0020): tabs and line ends among them.
    bool appendUtf16(QByteArrayView utf8, QString& out) const;

private:
    QByteArray buffer_;                // the text as UTF-8, parsed in place, and a NUL
    qsizetype size_ = 0;               // of the text
    std::vector<qsizetype> newlines_;  // where the lines of the text end, for line numbers
    pugi::xml_document doc_;
    pugi::xml_node root_;
    QString error_;
    mutable QByteArray scratch_;  // decoded texts, before they become strings
    // Checked UTF-8 to UTF-16 without a string of its own; a leading
    // U+FEFF is dropped, as QString::fromUtf8 drops it.
    mutable QStringDecoder utf8_{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
    // The same after the start of a text: a U+FEFF there is kept.
    mutable QStringDecoder utf8Rest_{QStringDecoder::Utf8,
                                     QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};

    void load();
    // Converts the original from another encoding to UTF-8; false, having
    // said where, when it is not valid in that encoding or holds half of a
    // surrogate pair.
    bool convert(const std::function<QStringDecoder()>& decoderFor, const QString& encoding);
    void check();
    // False, having said why, when the node breaks a rule pugixml leaves
    // to us; `depth` counts the root element as 1.
    bool checkNode(pugi::xml_node n, int depth, bool texts);
    bool checkValue(const char* value, bool attribute);
    bool referencesAllKnown() const;
    void failAt(qsizetype offset, const QString& why);
    qint64 lineOf(qsizetype offset) const;
    // The same at `index` of a text not yet converted to UTF-8.
    void failAtText(const QString& text, qsizetype index, const QString& why);
    qsizetype offsetOf(const char* p) const { return p - buffer_.constData(); }
    void decode(const char* utf8, qsizetype size, QString& out) const;
};

// The local part of an element's name: "kml" for "k:kml". Inline: it is
// asked of every element a reader meets, and names are short.
inline const char* localName(pugi::xml_node node)
{
    const char* name = node.name();
    for (const char* p = name; *p; ++p)
        if (*p == ':')
            return p + 1;
    return name;
}

}  // namespace exchange::xml
