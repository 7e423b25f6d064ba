#pragma once

#include "auditfinding.h"
#include "audititem.h"
#include "chunkedlist.h"
#include "idtable.h"
#include "postscan.h"
#include "urlclass.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>

#include <any>
#include <array>
#include <memory>
#include <vector>

// One URL occurrence as the inventory lists it.
struct InventoryEntry
{
    QString element;
    QString attribute; // the JSON key for a block attribute, whose element is "block NAME"
    QString url;       // as written
    QString resolved;
    UrlClass urlClass = UrlClass::Invalid;
    QString host;
    qint64 bodyLine = 0;
    qint64 exportLine = 0; // 0 when the body's place in the export is not known
    qint64 exportColumn = 0;
    // Of a URL on a host that is not the site's so far, the host's key: a later item may show the
    // host to be one of the site's, which ExportAudit::classOfHost() tells once the export is in.
    QString hostKey;
};

// What keeps the audit's results: the window keeps every finding, the report writes them out.
class AuditSink
{
public:
    virtual ~AuditSink() = default;
    virtual void addFinding(const AuditFinding& finding) = 0;
    virtual void addUrl(const AuditItem& /*item*/, const InventoryEntry& /*entry*/) {}
    // Whether addUrl() keeps the inventory: a big export has millions of URLs, and writing out
    // each resolved one costs.
    virtual bool keepsUrls() const { return false; }
};

struct AuditSummary
{
    struct Host
    {
        QString host;
        UrlClass urlClass = UrlClass::External;
        qint64 urls = 0;
        qint64 loaded = 0;   // of which the page loads
        qint64 insecure = 0; // of which written with http:
    };
    // Findings per check, by severity (error, warning, note); those the audit only counts
    // included.
    QMap<QString, std::array<qint64, 3>> checks;
    QList<Host> hosts; // most used first
    QHash<QString, qint64> shortcodes;
    QHash<QString, qint64> blocks;
};

// The audit of one export, fed its items in file order. What a post says about itself is
// decided as it comes; what needs the whole export (a link to a post further down, a file that a
// later attachment holds) waits as a compact candidate until finish().
class ExportAudit
{
public:
    ExportAudit(const SiteInfo& site, AuditSink& sink, const QStringList& skippedChecks = {});
    ~ExportAudit();
    ExportAudit(const ExportAudit&) = delete;
    ExportAudit& operator=(const ExportAudit&) = delete;

    // The item with the scan of its body, which may have been made on another thread.
    void addItem(const AuditItem& item, const PostScan& scan);
    // The same with the scan that a post's report carries (see postScanReadings()), or scanning
    // the body here when it carries none.
    void addItem(const AuditItem& item, const std::any& reading);
    // The same, scanning the body here.
    void addItem(const AuditItem& item);
    void finish();

    // Complete once finish() has run.
    const AuditSummary& summary() const { return summary_; }
    // The class of an inventory entry's hostKey by every item of the export, once finish() has
    // run.
    UrlClass classOfHost(const QString& key) const { return hosts_.classOfHost(key); }

private:
    // A finding that waits for the rest of the export, kept small: a big export holds hundreds
    // of thousands. Its text (the URL as written, or the ID) sits in candidateText_, followed by
    // the key it is settled by (see Target; of an ExternalUrl, its host's key), so that the end
    // of the export parses no URL again.
    struct Candidate
    {
        enum Kind : quint8
        {
            PostById,
            PostByPath,
            Media,
            AttachmentId,
            ReusableBlockId,
            // A URL on a host that is not the site's so far: a later item may show the host to be
            // one of the site's (its first attachment, on a media host), and the URL is then
            // judged as the site's.
            ExternalUrl
        };
        Kind kind = PostById;
        UrlPlace place = UrlPlace::Link;
        // Of an ExternalUrl, an http: link, noted only if its host stays another's.
        bool insecureLink = false;
        quint32 post = 0; // index into candidatePosts_
        quint32 element = 0;
        quint32 attribute = 0; // both indices into names_
        qint64 line = 0;       // in the body
        qint64 column = 0;
        qint64 exportLine = 0; // 0 when not known
        qint64 exportColumn = 0;
        qsizetype textStart = 0;
        qsizetype textLength = 0;
        qsizetype keyLength = 0; // none for an ID, which is its own key
    };
    struct CandidatePost
    {
        QString title;
        QString postId;
        // The post's own address as written, empty for the site's; parsed again only for the
        // relative URLs that wait, as a parsed QUrl costs far more than its text.
        QString baseLink;
        qint64 sinkTag = 0;
    };
    // What a candidate names: a post's ID or path (and its last segment), a file or an ID; of an
    // ExternalUrl, the key of its host.
    struct Target
    {
        QString key;
        QString lastSegment;
    };
    // Where a URL or an ID stands: its element and attribute, both indices into names_, and its
    // place in the body.
    struct Where
    {
        quint32 element = 0;
        quint32 attribute = 0;
        qint64 line = 0;
        qint64 column = 0;
    };
    // Of an item, its type and status as indices into names_: an export's items have a few of
    // each, and a big export has hundreds of thousands of items.
    struct ItemInfo
    {
        quint32 type = 0;
        quint32 status = 0;
    };

    void recordItem(const AuditItem& item, const QString& pathKey);
    const QUrl& base();
    void countHost(const QString& name, UrlClass urlClass, bool loaded, bool insecure);
    void auditUrl(const AuditItem& item, const PostScan& scan, size_t index,
                  std::vector<AuditFinding>& findings);
    void checkTarget(const AuditItem& item, QByteArrayView written, const PreparedUrl& url,
                     UrlPlace place, const Where& where);
    // text is UTF-8.
    void addCandidate(const AuditItem& item, Candidate::Kind kind, QByteArrayView text,
                      const Where& where, const Target& target, UrlPlace place = UrlPlace::Link,
                      bool insecureLink = false);
    // Whether the URL proved to be on one of the site's hosts, and was judged as theirs.
    bool settleExternal(const Candidate& candidate);
    QUrl baseOf(const CandidatePost& post) const;
    QString textOf(const Candidate& candidate) const;
    const Target& targetOf(const Candidate& candidate);
    bool decide(const Candidate& candidate, const Target& target, bool atEnd);
    // Why the ID of an attachment or reusable block names none, empty when it does; settled
    // when nothing further down can change that.
    QString missingItem(const Candidate& candidate, const Target& target, bool& settled) const;
    AuditFinding findingOf(const Candidate& candidate) const;
    quint32 nameIndex(const QString& name);
    // The index into names_ of a name of the post's scan.
    quint32 nameIndex(const PostScan& scan, quint32 index);
    void emitFinding(const AuditFinding& finding, bool listed = true);
    AuditFinding findingFor(const AuditItem& item, const char* check, AuditSeverity severity,
                            qint64 line, qint64 column) const;

    SiteHosts hosts_;
    QString sitePath_;
    AuditSink& sink_;
    QSet<HashedString> skipped_;
    std::unique_ptr<HtmlPostReader> reader_;
    IdTable<ItemInfo> byId_;
    QHash<HashedString, quint32> statusByPath_; // both indices into names_
    QHash<HashedString, quint32> statusByName_;
    QSet<HashedString> attachmentFiles_;
    qint64 attachmentCount_ = 0;
    QSet<HashedString> mediaUsed_;
    QSet<HashedString> attachmentIdsUsed_;
    ChunkedList<Candidate> candidates_;
    Target targetRoom_; // what targetOf() gives, its room kept from one to the next
    qint64 externalsKept_ = 0;
    size_t hostsGrewAt_ = 0; // how many candidates there were when the site's hosts last grew
    QByteArray candidateText_;
    ChunkedList<CandidatePost> candidatePosts_;
    bool itemHasCandidatePost_ = false;
    QList<QString> names_; // of elements and attributes, and the items' types and statuses
    QHash<HashedString, quint32> nameIndices_;
    QHash<HashedBytes, quint32> nameIndicesUtf8_; // the same, by the names' UTF-8
    static constexpr quint32 unknownName = ~quint32(0);
    std::vector<quint32> postNameIndices_; // of the current post's names, once looked up
    // The current item's address, or the site's, parsed when a URL first needs it: most were
    // prepared on the checking thread.
    QUrl base_;
    bool baseParsed_ = false;
    QString link_;
    HostMemo urlHosts_;
    bool baseIsOwn_ = false;
    QHash<HashedString, AuditSummary::Host> hostCounts_;
    std::array<AuditSummary::Host*, 4> recentHosts_{};
    size_t nextRecentHost_ = 0;
    AuditSummary summary_;
};
