#pragma once

#include "auditfinding.h"
#include "audititem.h"
#include "postscan.h"
#include "urlclass.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>

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
};

// What keeps the audit's results: the window keeps every finding, the report writes them out.
class AuditSink
{
public:
    virtual ~AuditSink() = default;
    virtual void addFinding(const AuditFinding& finding) = 0;
    virtual void addUrl(const AuditItem& /*item*/, const InventoryEntry& /*entry*/) {}
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
    // The same, scanning the body here.
    void addItem(const AuditItem& item);
    void finish();

    // Complete once finish() has run.
    const AuditSummary& summary() const { return summary_; }

private:
    struct Candidate
    {
        enum Kind : quint8
        {
            PostById,
            PostByPath,
            Media,
            AttachmentId,
            ReusableBlockId
        };
        Kind kind = PostById;
        QString key;
        QString lastSegment;
        AuditFinding finding;
    };
    struct ItemInfo
    {
        QString type;
        QString status;
    };

    void recordItem(const AuditItem& item);
    void auditUrl(const AuditItem& item, const PostScan& scan, const ScannedUrl& url,
                  const QUrl& base, std::vector<AuditFinding>& findings);
    void addCandidate(Candidate candidate);
    bool decide(const Candidate& candidate, bool atEnd);
    void emitFinding(const AuditFinding& finding, bool listed = true);
    AuditFinding findingFor(const AuditItem& item, const char* check, AuditSeverity severity,
                            qint64 line, qint64 column) const;

    SiteHosts hosts_;
    QString sitePath_;
    AuditSink& sink_;
    QSet<QString> skipped_;
    std::unique_ptr<HtmlPostReader> reader_;
    QHash<QString, ItemInfo> byId_;
    QHash<QString, QString> statusByPath_;
    QHash<QString, QString> statusByName_;
    QSet<QString> attachmentFiles_;
    qint64 attachmentCount_ = 0;
    QSet<QString> mediaUsed_;
    std::vector<Candidate> candidates_;
    QHash<QString, AuditSummary::Host> hostCounts_;
    AuditSummary summary_;
};
