#pragma once

#include "analysis/bodyreading.h"
#include "auditfinding.h"
#include "urlclass.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <string>
#include <vector>

// How the page uses a URL: followed when clicked (`Link`: `a`, `area`), loaded as an image,
// video, audio or poster (`Media`), loaded otherwise (`Loaded`: scripts, frames, stylesheets,
// embeds), only named (`Reference`: `form` actions, `cite`), or held in a block's attributes
// (`Block`), from which the editor builds the markup that carries the same URL.
enum class UrlPlace : quint8
{
    Link,
    Media,
    Loaded,
    Reference,
    Block
};

// One URL as a post's body holds it. Its text and names sit in the scan's shared buffers, so
// that a post of a million URLs costs little more than its own bytes.
struct ScannedUrl
{
    qsizetype textStart = 0;
    qsizetype textLength = 0;
    quint32 element = 0;   // index into PostScan::names
    quint32 attribute = 0; // index into PostScan::names
    UrlPlace place = UrlPlace::Link;
    qint64 line = 0; // of the element, in the body, from 1
    qint64 column = 0;
};

// An attachment or reusable block that a post names by its ID.
struct IdReference
{
    enum Kind : quint8
    {
        Attachment,
        ReusableBlock
    };
    Kind kind = Attachment;
    QString id;
    QString element;
    QString attribute;
    qint64 line = 0;
    qint64 column = 0;
};

// What one post's body holds for the audit, found without knowing the rest of the export.
// Findings here lack the post's title and ID and the export's places; the export's audit adds
// them.
struct PostScan
{
    std::vector<ScannedUrl> urls;
    // Beside urls, one for one, when the scan was made beside the post's check and the post's
    // own address is a URL to resolve against; empty otherwise.
    std::vector<PreparedUrl> prepared;
    std::string urlText; // UTF-8; QByteArray's resize and append cost more per URL
    QList<QByteArray> names;
    std::vector<IdReference> ids;
    std::vector<AuditFinding> findings;
    QHash<QString, qint64> shortcodes; // name -> uses left in the text
    QHash<QString, qint64> blocks;     // full block name -> openers

    QString urlOf(const ScannedUrl& url) const
    {
        return QString::fromUtf8(urlText.data() + url.textStart, url.textLength);
    }
    QString nameOf(quint32 index) const { return QString::fromUtf8(names.at(index)); }
};

class PostScanner;

// Reads one body leniently, as a browser would: HTML, names without case, at any depth, whether
// or not it is well-formed. Nothing is fetched and nothing is printed. One reader belongs to one
// thread and keeps its parser from post to post.
class HtmlPostReader
{
public:
    HtmlPostReader();
    ~HtmlPostReader();
    HtmlPostReader(const HtmlPostReader&) = delete;
    HtmlPostReader& operator=(const HtmlPostReader&) = delete;

    PostScan scan(const QByteArray& bodyUtf8);
    // Reads the body on from where the parse that the scanner followed stopped, into the same
    // scanner: the part before, well-formed, was read already. With stopAtTopLevel, it stops
    // once every element is closed again after a whole tag, and says where; otherwise it reads
    // to the end and returns the body's size.
    qint64 readOn(const QByteArray& bodyUtf8, PostScanner& scanner, bool stopAtTopLevel);

private:
    class Parser;
    std::unique_ptr<Parser> parser_;
};

// The scan of each post made beside its check, on the thread that checks it: from the events of
// the check's own parse when the post is well-formed; when it is not, from that parse up to its
// first fault, by an HtmlPostReader from there until the markup is at the top level again, then
// by a parse of the rest, and so on. Each post's report then carries its PostScan, and its URLs'
// resolved forms as text when the URL inventory is wanted.
BodyReadingFactory postScanReadings(bool keepResolvedUrls = false);
