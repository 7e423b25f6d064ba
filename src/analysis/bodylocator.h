#pragma once

#include "bodyposition.h"
#include "exportposition.h"
#include "markuplexer.h"

#include <QByteArray>
#include <QIODevice>

#include <deque>

// Finds, in the raw bytes of an export as they are read, where the body of each
// `rss/channel/item` starts: the position right after the `<content:encoded>` start tag. The
// XML parser keeps no byte positions in the nodes it builds, so this light scanner reads the same
// bytes beside it, following the elements as the markup lexer finds them. It works on ASCII-based
// encodings (UTF-8 in practice); for anything else it finds no body, and positions are reported as
// unknown.
class BodyLocator
{
public:
    void feed(const char* data, qint64 size);
    // Whether an item has been found whose body start has not been taken yet.
    bool hasItem() const { return !items_.empty(); }
    // The body start of the next item in file order, unknown when that item has no
    // `content:encoded` child or the scanner lost its way.
    ExportPosition takeNextItem();

private:
    void openElement(qint64 offsetAfterTag);
    void closeElement();
    void counterTo(qint64 offset);

    const char* chunk_ = nullptr;
    qint64 chunkStart_ = 0;
    LineCounter counter_;
    MarkupLexer lexer_;
    int depth_ = 0;
    bool rootIsRss_ = false;
    bool inChannel_ = false;
    bool inItem_ = false;
    ExportPosition currentBody_;
    std::deque<ExportPosition> items_;
};

// The body starts of an export's items, in file order, found by reading the file a second time,
// as far as each one asks: the reader's own thread, which sets the pace of a run, is spared the
// scan, and a front end that needs no positions pays nothing for them. The device may be shared:
// each read first seeks to where this reading stands.
class BodyStartReader
{
public:
    explicit BodyStartReader(QIODevice& exportFile) : file_(exportFile) {}

    // The body start of the next item, unknown when it has no `content:encoded` child, the
    // scanner lost its way or the file cannot be read.
    ExportPosition next();
    // The bytes read last, from offset on, as far as they are still held: the body of the item
    // just taken is usually among them, and finding a fault in it then needs no further read.
    QByteArrayView heldFrom(qint64 offset) const;
    // The places of the characters of the body that starts at bodyStart, the item's just taken;
    // they are valid as long as the body and this reader are.
    BodyPlaces placesOf(const ExportPosition& bodyStart, const QByteArray& bodyUtf8);

private:
    QIODevice& file_;
    BodyLocator locator_;
    // The last two pieces read, one after the other, from heldStart_ on.
    QByteArray held_;
    qint64 heldStart_ = 0;
    qint64 offset_ = 0;
    bool ended_ = false;
};
