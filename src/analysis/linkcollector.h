#pragma once

#include "resulttables.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <utility>
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

// The attribute names of the links met so far, each kept once as a QString that every row
// shares. Bounded, so that a file of endless distinct names cannot grow it without end.
class AttributeNames
{
public:
    // The name written prefix:localName, or localName without a prefix.
    QString name(const char* prefix, const char* localName);

private:
    static constexpr qsizetype limit = 4096;
    QHash<QByteArray, QString> names_;
    QByteArray key_;
};

// Appends the rows and attribute columns of one parsed post to the link table. Columns appear in
// the order the run first meets each name; once all 22 attribute columns are taken, values of
// further names are left out, and counted per name in tables.leftOutAttributes.
void collectLinks(ResultTables& tables, const QString& title, const CellText& body,
                  const std::vector<FoundLink>& links);

// The attribute names left out of the link table, the most frequent first, each with how often:
// "rel (12), srcset (3)", at most namesShown of them and then how many other names there were.
// Empty when nothing was left out.
QString leftOutSummary(const ResultTables& tables, int namesShown = 10);
QString leftOutSummary(const QMap<QString, qint64>& leftOut, int namesShown = 10);
