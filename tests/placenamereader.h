#pragma once
// Reads placename files back the way World Wind does, independently of the
// writer: int32 and float32 little-endian, each text led by its length in
// seven-bit groups (low group first, high bit set when another follows).

#include <QByteArray>
#include <QList>
#include <QPair>

#include <cstdint>
#include <cstring>
#include <optional>

namespace placenamereader {

struct Place {
    QByteArray name;
    float latitude = 0;
    float longitude = 0;
    QList<QPair<QByteArray, QByteArray>> metadata;
};

struct DataFile {
    QList<Place> places;
    QByteArray rest;  // whatever follows the last record
};

class Cursor {
public:
    explicit Cursor(const QByteArray& bytes) : bytes_(bytes) {}

    std::optional<std::int32_t> int32()
    {
        if (bytes_.size() - pos_ < 4)
            return std::nullopt;
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | std::uint8_t(bytes_[pos_ + i]);
        pos_ += 4;
        return std::int32_t(v);
    }

    std::optional<float> float32()
    {
        const auto bits = int32();
        if (!bits)
            return std::nullopt;
        float f;
        std::memcpy(&f, &*bits, 4);
        return f;
    }

    std::optional<QByteArray> text()
    {
        std::uint64_t length = 0;
        for (int shift = 0;; shift += 7) {
            if (pos_ >= bytes_.size() || shift > 28)
                return std::nullopt;
            const std::uint8_t b = std::uint8_t(bytes_[pos_++]);
            length |= std::uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80))
                break;
        }
        if (std::uint64_t(bytes_.size() - pos_) < length)
            return std::nullopt;
        QByteArray t = bytes_.mid(pos_, qsizetype(length));
        pos_ += qsizetype(length);
        return t;
    }

    QByteArray rest() const { return bytes_.mid(pos_); }

private:
    const QByteArray& bytes_;
    qsizetype pos_ = 0;
};

// Nothing when the bytes end inside a record.
inline std::optional<DataFile> readDataFile(const QByteArray& bytes)
{
    Cursor in(bytes);
    const auto count = in.int32();
    if (!count || *count < 0)
        return std::nullopt;
    DataFile file;
    for (std::int32_t i = 0; i < *count; ++i) {
        Place p;
        const auto name = in.text();
        const auto lat = in.float32();
        const auto lon = in.float32();
        const auto entries = in.int32();
        if (!name || !lat || !lon || !entries || *entries < 0)
            return std::nullopt;
        p.name = *name;
        p.latitude = *lat;
        p.longitude = *lon;
        for (std::int32_t m = 0; m < *entries; ++m) {
            const auto key = in.text();
            const auto value = in.text();
            if (!key || !value)
                return std::nullopt;
            p.metadata.append({*key, *value});
        }
        file.places.append(p);
    }
    file.rest = in.rest();
    return file;
}

}  // namespace placenamereader
