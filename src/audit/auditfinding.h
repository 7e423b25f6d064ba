#pragma once

#include <QString>
#include <QStringView>

#include <span>

enum class AuditSeverity
{
    Error,
    Warning,
    Note
};

// "error", "warning" or "note".
QString severityName(AuditSeverity severity);

// One thing the audit found in a post (or, for `no-attachments`, in the whole export).
struct AuditFinding
{
    QString check;
    AuditSeverity severity = AuditSeverity::Warning;
    QString title;   // the post's
    QString postId;  // the post's `wp:post_id`
    QString subject; // a URL, a shortcode or a block name
    QString element;
    QString attribute;
    QString detail;
    // In the post's body, from 1; 0 when the finding belongs to no place in it.
    qint64 bodyLine = 0;
    qint64 bodyColumn = 0;
    // In the export file; 0 when the body's place in the export is not known.
    qint64 exportLine = 0;
    qint64 exportColumn = 0;
    qint64 sinkTag = 0; // the item's AuditItem::sinkTag
};

// The detail with the element and attribute it stands in: "detail (img src)".
QString detailWithPlace(const AuditFinding& finding);

// A number's decimal digits: QString::number() goes through a general conversion, once for each
// of a big export's hundreds of thousands of findings.
QString decimalText(qint64 number);

// The finding in one line for a reader who sees no subject beside it: the subject first, unless
// the detail names it already, then detailWithPlace().
QString findingMessage(const AuditFinding& finding);

// A check the audit makes: its ID, its usual severity and a one-line help text.
struct AuditCheck
{
    const char* id;
    AuditSeverity severity;
    const char* help;
};

std::span<const AuditCheck> auditChecks();

// Whether id names one of auditChecks().
bool isAuditCheck(QStringView id);
