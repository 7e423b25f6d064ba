#include "attributenames.h"

#include "reusedbuffer.h"

QString AttributeNames::name(const char* prefix, const char* localName)
{
    emptyForReuse(key_);
    if (prefix != nullptr)
        key_.append(prefix).append(':');
    key_.append(localName);
    if (const auto known =
            names_.constFind({QByteArray::fromRawData(key_.constData(), key_.size())});
        known != names_.cend())
        return known.value();
    QString name = QString::fromUtf8(key_);
    if (names_.size() >= limit)
        names_.clear();
    names_.insert({key_}, name);
    return name;
}
