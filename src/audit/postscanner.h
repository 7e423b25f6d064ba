#pragma once

#include "analysis/bodyreading.h"
#include "analysis/exportposition.h"
#include "analysis/texthash.h"
#include "markupnames.h"
#include "postscan.h"

#include <QByteArrayView>
#include <QSet>

class QJsonObject;

#include <array>
#include <span>
#include <string>
#include <vector>

// A bare `alt` (no value) counts as written.
using ScanAttribute = MarkupAttribute;

// Builds a post's scan from a parse of its body, event by event, as a SAX parser delivers them:
// libxml2's HTML parser for any body, and in the same way a well-formed body's own XML parse.
// Names may come in any case. Offsets count the body's bytes; an element's is where the parser
// stands at the end of its start tag, a comment's just after its "-->".
class PostScanner : public MarkupEvents
{
public:
    // What one scan's room can lend the next: a thread that scans post after post grows it once.
    struct Room
    {
        std::string openNames;
        std::vector<size_t> openStarts;
        std::string anchorText;
        std::vector<size_t> anchorEnds;
    };

    PostScanner(QByteArrayView body, PostScan& scan, Room room = {});
    Room takeRoom();

    void startElement(QByteArrayView name, std::span<const ScanAttribute> attributes,
                      qint64 offset) override;
    void endElement(QByteArrayView name, qint64 offset) override;
    void text(QByteArrayView chunk) override;
    void comment(QByteArrayView content, qint64 offset) override;
    // After the last event: the findings that need the whole post.
    void finish();

    // Where another reading can take over from a parse that stopped short, at a fault: just
    // after the last element or comment delivered, with the elements still open there,
    // outermost first. The text read since is dropped, to be read again from there.
    struct ResumePoint
    {
        qint64 offset = 0;
        std::vector<QByteArrayView> openElements;
    };
    ResumePoint resumePoint();
    // A lenient reading says that every element is closed here, whatever the scan still counts
    // open: a void element repeated from before the fault, say, whose end it read there.
    void atTopLevel();

private:
    struct Place
    {
        qint64 line = 0;
        qint64 column = 0;
    };

    Place placeAt(qint64 offset);
    void placeLater(qint64 offset);
    Place counted(qint64 offset);
    void settleElementPlace();
    const Place& elementPlace();
    // Where lead and then rest, in any case, stand last before from, after what was placed.
    qint64 findBackward(char lead, QByteArrayView rest, qint64 from) const;
    // lasting: name stays where it is for as long as the scan is read.
    quint32 nameIndex(QByteArrayView name, bool lasting = false);
    template <typename Kind>
    quint32 cachedIndex(qint32& cached, Kind kind, QByteArrayView (*nameOf)(Kind));
    void addUrl(QByteArrayView url, quint32 element, quint32 attribute, UrlPlace place);
    void addAttribute(HtmlElement element, QByteArrayView elementName, HtmlAttribute attribute,
                      QByteArrayView name, QByteArrayView value);
    void addAnchor(QByteArrayView name);
    void addImageClass(QByteArrayView classes);
    void addFinding(const char* check, AuditSeverity severity, const QString& subject,
                    const QString& detail, Place place, const QString& element = {},
                    const QString& attribute = {});
    // rawEnd: where the markup that ends the text starts in the body, or a bound past the text.
    void flushText(qint64 rawEnd);
    void findShortcodeClosers();
    const QSet<HashedString>& shortcodeClosers();
    void scanShortcodes(QByteArrayView text, qint64 rawEnd);
    void addShortcode(const QString& name, QByteArrayView attributes, Place place);
    void blockDelimiter(QByteArrayView content, Place place);
    void blockAttributes(const QString& name, QByteArrayView json, Place place);
    // The attachments and reusable blocks that a block's attributes name by ID.
    void blockIds(const QString& name, const QJsonObject& attributes, Place place);
    void findBareEmbeds();

    QByteArrayView body_;
    PostScan& scan_;
    LineCounter counter_;
    QByteArray lowered_; // the element's name, lower-cased
    QByteArray loweredAttribute_;
    QHash<HashedBytes, quint32> nameIndex_;
    // The index of the one name of each kind, -1 until the post uses it.
    std::array<qint32, htmlElementKinds> elementIndices_;
    std::array<qint32, htmlAttributeKinds> attributeIndices_;
    Place elementPlace_;
    qint64 placed_ = 0;          // the furthest offset asked to be placed
    qint64 elementPending_ = -1; // where elementPlace_ is still to be counted, or -1
    qint64 searchFrom_ = 0;      // raw text before this has been placed already
    int rawTextDepth_ = 0;       // inside pre, code, script or style
    QByteArray text_;
    qint64 resumeOffset_ = 0;
    // The open elements' names, one after the other: QByteArray's append costs more per element.
    std::string openNames_;
    std::vector<size_t> openStarts_;
    QSet<HashedString> closedShortcodes_;
    bool closersFound_ = false;
    std::vector<std::pair<QString, Place>> openBlocks_;
    // The ids and anchor names, one after the other: most posts link to none of them, and
    // a set of copies costs an allocation for each.
    std::string anchorText_;
    std::vector<size_t> anchorEnds_;
    std::vector<std::pair<QByteArray, Place>> fragmentLinks_;
    QSet<HashedString> embeds_;
};
