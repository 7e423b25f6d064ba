#include "postscan.h"
#include "postscanner.h"

#include "asciitext.h"

#include "analysis/postcheck.h"

#include <optional>

namespace {

// A well-formed post is scanned from the check's own parse, which reads it as a browser would
// read the same markup; a post whose parse stops at its first fault is read on from there,
// leniently: what came before the fault is well-formed and was read already.
class PostScanReading : public BodyReading
{
public:
    explicit PostScanReading(bool keepResolvedUrls) : keepResolvedUrls_(keepResolvedUrls) {}

    MarkupEvents* begin(const ExportItem& item) override
    {
        item_ = &item;
        scan_.emplace();
        // Posts of one export hold URLs alike in number and length: room for as many as the post
        // before saves growing there from nothing.
        scan_->urls.reserve(lastUrls_);
        scan_->urlText.reserve(lastUrlText_);
        scanner_.emplace(item.bodyUtf8, *scan_, std::move(room_));
        return &*scanner_;
    }

    std::any end(bool parsed) override
    {
        if (!parsed)
            readOnLeniently();
        scanner_->finish();
        lastUrls_ = qMin<size_t>(scan_->urls.size(), roomKept);
        lastUrlText_ = qMin<size_t>(scan_->urlText.size(), roomKept * 64);
        std::any result = std::move(*scan_);
        prepareUrls(*std::any_cast<PostScan>(&result));
        room_ = scanner_->takeRoom();
        scanner_.reset();
        scan_.reset();
        item_ = nullptr;
        return result;
    }

private:
    // Read on from a post's first fault with the HTML parser, only until the markup is back at
    // the top level: a post's faults sit in a few places, and what lies between them is read
    // by a parse of its own, as a well-formed post is, at half the HTML parser's cost. A post
    // faulty all over is read leniently to its end after a few such rounds.
    void readOnLeniently()
    {
        const QByteArray& body = item_->bodyUtf8;
        if (!html_)
            html_.emplace();
        qint64 at = html_->readOn(body, *scanner_, true);
        for (int round = 1; at < body.size(); ++round) {
            if (!rest_)
                rest_.emplace(QStringLiteral("rest"));
            ShiftedEvents shifted(*scanner_, at);
            const QByteArray rest =
                QByteArray::fromRawData(body.constData() + at, body.size() - at);
            if (rest_->check(rest, shifted).errorCode == 0)
                return;
            at = html_->readOn(body, *scanner_, round < wellFormedRounds);
        }
    }

    // What the audit needs of each URL and can know without the rest of the export is made
    // here, on the checking thread, leaving the recording thread only what needs the site's hosts.
    void prepareUrls(PostScan& scan)
    {
        const QString& link = item_->permalink;
        // Most URLs need neither the post's address nor QUrl: it is parsed for the first that
        // does.
        std::optional<QUrl> base;
        // Most URLs on another host than the post's are on no host of the site: what the audit
        // judges on the site's hosts is made for them where their host turns out to be one.
        const QString ownHost = plainHostKey(link, hosts_);
        scan.prepared.reserve(scan.urls.size());
        for (const ScannedUrl& url : scan.urls) {
            const QString& written = textOf(scan, url);
            const UrlUse use{url.place == UrlPlace::Link, url.place == UrlPlace::Media,
                             keepResolvedUrls_};
            if (std::optional<PreparedUrl> plain = preparePlainUrl(written, use, hosts_, ownHost)) {
                scan.prepared.push_back(*std::move(plain));
                continue;
            }
            if (std::optional<PreparedUrl> relative =
                    preparePlainRelative(written, link, use, hosts_)) {
                scan.prepared.push_back(*std::move(relative));
                continue;
            }
            if (!base && !hosts_.starts().parse(link, base.emplace()))
                *base = QUrl(link);
            if (!base->isValid() || base->isRelative()) {
                // Resolved against the site's address, which the recording knows.
                scan.prepared.clear();
                return;
            }
            scan.prepared.push_back(prepareUrl(written, *base, use, hosts_));
        }
    }

    // The URL as text, in one string whose room serves every URL that is ASCII, as nearly all
    // are: each then costs no allocation of its own.
    const QString& textOf(const PostScan& scan, const ScannedUrl& url)
    {
        setFromUtf8(written_, QByteArrayView(scan.urlText.data() + url.textStart, url.textLength));
        return written_;
    }

    static constexpr size_t roomKept = 4096;
    static constexpr int wellFormedRounds = 16;
    bool keepResolvedUrls_;
    size_t lastUrls_ = 0;
    size_t lastUrlText_ = 0;
    QString written_;
    HostMemo hosts_;
    // Between begin() and end(), the item being checked; not held beyond, nor shared, as each
    // hold of a body would be one more write to memory that the reading thread wrote last.
    const ExportItem* item_ = nullptr;
    std::optional<PostScan> scan_;
    std::optional<PostScanner> scanner_;
    PostScanner::Room room_;
    std::optional<HtmlPostReader> html_;
    std::optional<PostChecker> rest_;
};

} // namespace

BodyReadingFactory postScanReadings(bool keepResolvedUrls)
{
    return [keepResolvedUrls] { return std::make_unique<PostScanReading>(keepResolvedUrls); };
}
