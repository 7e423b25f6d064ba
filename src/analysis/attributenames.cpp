#include "attributenames.h"

#include "reusedbuffer.h"

QString AttributeNames::name(const char* prefix, const char* localName)
{
    // Nearly every name has no prefix: it is looked up where the parser keeps it.
    QByteArrayView key;
    if (prefix == nullptr) {
        key = QByteArrayView(localName);
    } else {
        emptyForReuse(key_);
        key_.append(prefix).append(':').append(localName);
        key = key_;
    }
    if (const auto known = names_.constFind({QByteArray::fromRawData(key.data(), key.size())});
        known != names_.cend())
        return known.value();
    QString name = QString::fromUtf8(key);
    if (names_.size() >= limit)
        names_.clear();
    names_.insert({key.toByteArray()}, name);
    return name;
}
