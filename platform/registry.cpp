#include "registry.h"

#ifdef Q_OS_WIN
#include "codepage.h"
#include "win32/win32.h"
#endif

namespace Registry {
namespace {

std::optional<std::map<FakeKey, Value>>& fake()
{
    static std::optional<std::map<FakeKey, Value>> values;
    return values;
}

}  // namespace

std::optional<Value> read(quint32 root, const QString& keyName, const QString& valueName, int capacity)
{
    if (fake()) {
        const auto found = fake()->find({root, keyName, valueName});
        if (found == fake()->end() || found->second.bytes.size() > capacity)
            return std::nullopt;
        return found->second;
    }
#ifdef Q_OS_WIN
    QByteArray buffer(capacity, '\0');
    unsigned long type = 0;
    unsigned long size = static_cast<unsigned long>(capacity);
    if (!win32::readRegistryValue(root, codepage::encode(keyName).constData(), codepage::encode(valueName).constData(),
                                  &type, reinterpret_cast<unsigned char*>(buffer.data()), &size))
        return std::nullopt;
    buffer.truncate(qsizetype(size));
    return Value{quint32(type), buffer};
#else
    Q_UNUSED(root);
    Q_UNUSED(keyName);
    Q_UNUSED(valueName);
    Q_UNUSED(capacity);
    return std::nullopt;
#endif
}

void setFake(std::map<FakeKey, Value> values)
{
    fake() = std::move(values);
}

void clearFake()
{
    fake().reset();
}

}  // namespace Registry
