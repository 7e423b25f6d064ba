#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

// The attributes that go into one row of the link table, in the order they are written: a
// top-level link's, then those of the images inside it. A name met twice keeps the later value.
struct FoundLink
{
    struct Attribute
    {
        QString name; // as written, prefix included
        qsizetype offset;
        qsizetype length;
    };

    std::vector<Attribute> attributes;
    // The values one after the other, as UTF-8 after reference replacement: one buffer for the
    // row rather than one for each of its many small values.
    QByteArray values;

    QByteArrayView value(const Attribute& attribute) const
    {
        return QByteArrayView(values).sliced(attribute.offset, attribute.length);
    }
};
