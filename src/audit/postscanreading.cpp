#include "postscan.h"
#include "postscanner.h"

#include <optional>

namespace {

// A well-formed post is scanned from the check's own parse, which reads it as a browser would
// read the same markup; the rest of the posts, whose parse stops at their first fault, are read
// a second time, leniently.
class PostScanReading : public BodyReading
{
public:
    MarkupEvents* begin(const QByteArray& bodyUtf8) override
    {
        body_ = bodyUtf8;
        scan_.emplace();
        scanner_.emplace(body_, *scan_);
        return &*scanner_;
    }

    std::any end(bool parsed) override
    {
        std::any result;
        if (parsed) {
            scanner_->finish();
            result = std::move(*scan_);
        } else {
            if (!html_)
                html_.emplace();
            result = html_->scan(body_);
        }
        scanner_.reset();
        scan_.reset();
        body_ = QByteArray();
        return result;
    }

private:
    QByteArray body_; // shared with the item, not copied
    std::optional<PostScan> scan_;
    std::optional<PostScanner> scanner_;
    std::optional<HtmlPostReader> html_;
};

} // namespace

BodyReadingFactory postScanReadings()
{
    return [] { return std::make_unique<PostScanReading>(); };
}
