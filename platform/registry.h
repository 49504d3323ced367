#pragma once
// Read-only access to the Windows registry. Other systems have no registry:
// every read there finds nothing. Tests put a fake registry in its place.

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <tuple>

namespace Registry {

inline constexpr quint32 kLocalMachine = 0x80000002;  // HKEY_LOCAL_MACHINE
inline constexpr quint32 kString = 1;                 // REG_SZ
inline constexpr quint32 kDword = 4;                  // REG_DWORD

struct Value {
    quint32 type = 0;
    QByteArray bytes;  // as stored, in the system's narrow code page for texts
};

// Reads value `valueName` of key `keyName` under root `root` into a buffer
// of `capacity` bytes. Nothing when the key cannot be opened, the value is
// missing or it does not fit.
std::optional<Value> read(quint32 root, const QString& keyName, const QString& valueName, int capacity);

// For tests: reads go to these values instead of the system's registry
// until clearFake().
using FakeKey = std::tuple<quint32, QString, QString>;  // root, key, value name
void setFake(std::map<FakeKey, Value> values);
void clearFake();

}  // namespace Registry
