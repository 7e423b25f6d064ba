#include "auditfinding.h"

#include <algorithm>
#include <array>
#include <charconv>

QString severityName(AuditSeverity severity)
{
    switch (severity) {
    case AuditSeverity::Error:
        return QStringLiteral("error");
    case AuditSeverity::Warning:
        return QStringLiteral("warning");
    case AuditSeverity::Note:
        break;
    }
    return QStringLiteral("note");
}

QString detailWithPlace(const AuditFinding& finding)
{
    if (finding.element.isEmpty())
        return finding.detail;
    if (finding.detail.isEmpty() && finding.attribute.isEmpty())
        return finding.element;
    // Written at once into a string of its size: a finding's row and line are made for every
    // finding, and appending piece by piece costs several times the copying.
    const bool withDetail = !finding.detail.isEmpty();
    const bool withAttribute = !finding.attribute.isEmpty();
    const qsizetype size = (withDetail ? finding.detail.size() + 3 : 0) + finding.element.size() +
                           (withAttribute ? finding.attribute.size() + 1 : 0);
    QString text(size, Qt::Uninitialized);
    QChar* at = text.data();
    const auto put = [&](QStringView piece) {
        std::copy(piece.begin(), piece.end(), at);
        at += piece.size();
    };
    if (withDetail) {
        put(finding.detail);
        put(u" (");
    }
    put(finding.element);
    if (withAttribute) {
        put(u" ");
        put(finding.attribute);
    }
    if (withDetail)
        put(u")");
    return text;
}

QString decimalText(qint64 number)
{
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr;
    return QString::fromLatin1(digits.data(), end - digits.data());
}

QString findingMessage(const AuditFinding& finding)
{
    const QString detail = detailWithPlace(finding);
    if (finding.subject.isEmpty() || finding.detail.contains(finding.subject))
        return detail;
    return detail.isEmpty() ? finding.subject : finding.subject + QStringLiteral(": ") + detail;
}

std::span<const AuditCheck> auditChecks()
{
    using enum AuditSeverity;
    static constexpr std::array<AuditCheck, 15> checks = {{
        {"missing-post", Error,
         "A link names a post, page or attachment that the export does "
         "not hold (an error by ID, a warning by path)."},
        {"unpublished-post", Warning,
         "A link names a post that is not published: it breaks for "
         "every visitor."},
        {"missing-media", Error,
         "An uploaded file that the post shows matches no attachment of "
         "the export."},
        {"missing-id", Error,
         "An attachment or reusable block named by its ID is not in the "
         "export."},
        {"no-attachments", Warning,
         "The export holds no attachments, yet its posts use media "
         "files."},
        {"site-host", Warning,
         "A URL on another host of this site keeps pointing at the old "
         "address after the move."},
        {"insecure-resource", Warning,
         "An http: resource that the page loads is blocked or "
         "flagged on an https page."},
        {"insecure-link", Note, "An http: link to another site."},
        {"shortcode", Warning,
         "A shortcode left in the text shows as typed where nothing "
         "reads it."},
        {"block-markup", Error,
         "Block delimiters that do not nest or do not follow the "
         "block grammar."},
        {"bare-embed", Note,
         "A URL that WordPress shows as an embedded player, and other "
         "readers as a plain URL."},
        {"missing-alt", Warning, "An image without an alt attribute."},
        {"broken-fragment", Warning,
         "A link to a place in the same post that no element of "
         "the post marks."},
        {"data-uri", Warning,
         "A data: URI of more than 100 000 bytes: a file pasted into the "
         "post."},
        {"script-url", Warning, "A javascript: URL."},
    }};
    return checks;
}

bool isAuditCheck(QStringView id)
{
    for (const AuditCheck& check : auditChecks()) {
        if (id == QLatin1String(check.id))
            return true;
    }
    return false;
}
