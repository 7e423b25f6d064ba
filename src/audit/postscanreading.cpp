#include "postscan.h"
#include "postscanner.h"

#include "asciitext.h"

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
        body_ = item.bodyUtf8;
        link_ = item.permalink;
        scan_.emplace();
        // Posts of one export hold URLs alike in number and length: room for as many as the post
        // before saves growing there from nothing.
        scan_->urls.reserve(lastUrls_);
        scan_->urlText.reserve(lastUrlText_);
        scanner_.emplace(body_, *scan_);
        return &*scanner_;
    }

    std::any end(bool parsed) override
    {
        if (!parsed) {
            if (!html_)
                html_.emplace();
            html_->readOn(body_, *scanner_);
        }
        scanner_->finish();
        lastUrls_ = qMin<size_t>(scan_->urls.size(), roomKept);
        lastUrlText_ = qMin<size_t>(scan_->urlText.size(), roomKept * 64);
        std::any result = std::move(*scan_);
        prepareUrls(*std::any_cast<PostScan>(&result));
        scanner_.reset();
        scan_.reset();
        body_ = QByteArray();
        link_.clear();
        return result;
    }

private:
    // What the audit needs of each URL and can know without the rest of the export is made
    // here, on the checking thread, leaving the recording thread only what needs the site's hosts.
    void prepareUrls(PostScan& scan)
    {
        // Most URLs need neither the post's address nor QUrl: it is parsed for the first that
        // does.
        std::optional<QUrl> base;
        // Most URLs on another host than the post's are on no host of the site: what the audit
        // judges on the site's hosts is made for them where their host turns out to be one.
        const QString ownHost = plainHostKey(link_, hosts_);
        scan.prepared.reserve(scan.urls.size());
        for (const ScannedUrl& url : scan.urls) {
            const QString& written = textOf(scan, url);
            const UrlUse use{url.place == UrlPlace::Link, url.place == UrlPlace::Media,
                             keepResolvedUrls_};
            if (std::optional<PreparedUrl> plain = preparePlainUrl(written, use, hosts_, ownHost)) {
                scan.prepared.push_back(*std::move(plain));
                continue;
            }
            if (!base)
                base.emplace(link_);
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
    bool keepResolvedUrls_;
    size_t lastUrls_ = 0;
    size_t lastUrlText_ = 0;
    QString written_;
    HostMemo hosts_;
    QByteArray body_; // shared with the item, not copied
    QString link_;
    std::optional<PostScan> scan_;
    std::optional<PostScanner> scanner_;
    std::optional<HtmlPostReader> html_;
};

} // namespace

BodyReadingFactory postScanReadings(bool keepResolvedUrls)
{
    return [keepResolvedUrls] { return std::make_unique<PostScanReading>(keepResolvedUrls); };
}
