#pragma once

#include "texthash.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// The attribute names of the links met so far, each kept once as a QString that every row
// shares. Bounded, so that a file of endless distinct names cannot grow it without end.
class AttributeNames
{
public:
    // The name written prefix:localName, or localName without a prefix.
    QString name(const char* prefix, const char* localName);

private:
    static constexpr qsizetype limit = 4096;
    QHash<HashedBytes, QString> names_;
    QByteArray key_;
};
