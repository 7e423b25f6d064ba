#include "analysis/postcheck.h"
#include "audit/asciitext.h"
#include "audit/bytesearch.h"
#include "audit/exportaudit.h"
#include "audit/markupnames.h"

#include "childprocess.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

// The audit of one planted export: a row per case, those that must find nothing included.
class AuditTest : public QObject
{
    Q_OBJECT

private slots:
    void checks_data();
    void checks();
    void inventory_data();
    void inventory();
    void summaryHosts();
    void urlStartsParseAsQUrl();
    void findBytesAsIndexOf();
    void asciiTextAsQt();
    void kindNamesRoundTrip();
    void faultyPostReadAsMended_data();
    void faultyPostReadAsMended();
    void hostileBodyInBoundedTime_data();
    void hostileBodyInBoundedTime();
};

namespace {

struct Collected : AuditSink
{
    std::vector<AuditFinding> findings;
    std::vector<InventoryEntry> urls;
    AuditSummary summary;
    void addFinding(const AuditFinding& finding) override { findings.push_back(finding); }
    void addUrl(const AuditItem&, const InventoryEntry& entry) override { urls.push_back(entry); }
    bool keeps = true;
    bool keepsUrls() const override { return keeps; }
};

AuditItem item(const char* id, const char* type, const char* status, const char* name,
               const char* link, QByteArray body)
{
    AuditItem item;
    item.title = QStringLiteral("Post %1").arg(QLatin1String(id));
    item.postId = QLatin1String(id);
    item.postType = QLatin1String(type);
    item.status = QLatin1String(status);
    item.postName = QLatin1String(name);
    item.link = QLatin1String(link);
    item.guid = item.link;
    item.bodyUtf8 = std::move(body);
    item.bodyStart = {1000, 100, 30};
    return item;
}

const char classicBody[] = R"html(<p><a href="https://example.com/?p=999">gone</a>
<a href="/2020/02/later-post/">later</a> <a href="/2020/02/no-such-post/">lost</a>
<a href="https://example.com/category/news/">archive</a> <a href="/2019/05/">month</a>
<a href="/secret-draft/">draft</a> <a href="http://elsewhere.net/page">plain</a>
<a href="https://old.example.org/2020/01/first-post/">old host</a>
<h2 id="section">S</h2><a href="#section">here</a> <a href="#nowhere">nowhere</a>
<a href="javascript:void(0)">js</a> <img src="http://cdn.other.net/pic.png" alt="x">
<img src="https://example.com/wp-content/uploads/2020/01/photo-300x200.jpg" alt="">
<img src="/wp-content/uploads/2020/01/lost.jpg">
<img class="size-full wp-image-77" src="/wp-content/uploads/2020/01/photo-e1600000000123.jpg" alt="a">
<p>Notes [1] and [sic], an escaped [[caption]].</p><code>[gallery ids="5"]</code>
[caption id="attachment_10" align="alignnone"]<img src="/x.png" alt="c"> A caption[/caption]
[myplugin]x[/myplugin] [note color="red"] <a href="mailto:me@example.com">mail</a>
<div style="background: url('https://old.example.org/wp-content/uploads/2020/01/bg.png')">
<img srcset="/wp-content/uploads/2020/01/photo-1024x768.jpg 1024w, /a,b.jpg 2x" alt="s">
https://vimeo.com/123
<a href="ht tp://bad">bad</a> <a href="ftp://files.example.net/f">ftp</a></div>
<p><em><b>Bold</b></em> and then a long text before the shortcode, far longer than what follows it in the same text. Its place is searched for from the last element placed, the b, which stands more than ten times as far from it as the text after it is long, past the end tags and a line. The same text again: a long text before the shortcode, far longer than what follows it in the same text, and once more a long text before the shortcode, far longer than what follows it.
[audio src="a.mp3"]</p>
)html";

const char blockBody[] = R"html(<!-- wp:paragraph -->
<p>Text <a href="tel:+123">call</a></p>
<!-- /wp:paragraph -->
<!-- wp:image {"id":10,"sizeSlug":"large","href":"https:\/\/example.com\/later"} -->
<figure><img src="https://example.com/wp-content/uploads/2020/01/photo-scaled.jpg" alt="p"/></figure>
<!-- /wp:image -->
<!-- wp:gallery {"ids":[10,55]} --><figure></figure><!-- /wp:gallery -->
<!-- wp:block {"ref":88} /-->
<!-- wp:embed {"url":"https:\/\/www.youtube.com\/watch?v=abc"} -->
<figure><div>
https://www.youtube.com/watch?v=abc
</div></figure>
<!-- /wp:embed -->
<!-- wp:quote --><blockquote><p>q</p><!-- /wp:paragraph --><!-- /wp:quote -->
<!-- wp:spacer {"height": } /--><!--wp:separator--><!-- /wp:group -->
<!-- wp:columns --><div><a href="/2020/01/first-post/">first</a></div>
)html";

// URL classes, media suffixes, unjudged paths and delimiter grammar, one case a line.
const char edgeBody[] = R"html(<a href="//example.com/2020/02/later-post/">proto</a>
<a href="HTTPS://WWW.EXAMPLE.COM:443/Upper/">upper</a> <a href="https://example.com:8080/x">port</a>
<a href="TeL:+1">t</a> <a href="Data:text/plain,hi">d</a> <a href="JavaScript:alert(1)">j</a>
<a href="http://[::1/">v6</a> <a href="relative-page/">rel</a> <a href="/feedback/">fb</a> <a href="">self</a>
<img alt="" srcset=" /wp-content/uploads/2020/01/photo-rotated.jpg 300w, /c,d.jpg 1.5x ,/e.jpg">
<div style='background:URL( "/wp-content/uploads/2020/01/photo-e1234567890.jpg" )'></div>
<img alt="" src="/wp-content/uploads/2020/01/photo-e123456789.jpg">
<img alt="" src="/wp-content/uploads/2020/01/photo-scaled-300x200.jpg">
<a href="/wp-content/themes/t/style.css">css</a> <a href="/2019/">y</a> <a href="/2019/05/31/">d</a>
<a href="/2018/05/31/dated-post/">dated</a> <a href="/?s=term">s</a> <a href="/?cat=3">c</a>
<a href="/feed/">f</a> <a href="/wp-login.php">l</a> <a href="/author/bob/">a</a> <a href="/">r</a>
<a href="https://example.com/?page_id=4">draft by ID</a> <a href="/?attachment_id=10">att</a>
<a name="named">n</a><a href="#named">to n</a><div name="divname"></div><a href="#divname">d</a>
<!-- wp:heading--><!-- wp:my-plugin/Box --><!-- wp:buttons{"a":1} --><!-- wp:nextpage/-->
<!-- wp:core/list --><ul><li>x</li></ul><!-- /wp:list --><!-- wp:more /-->
<!-- wp:preformatted [1] /--><!-- wp:acme/box --><!-- /wp:acme/crate --><!-- /wp:acme/box -->
<!-- /wp:table {"a":1} -->
<a href="/2018/5/">m</a> <a href="/tag">t</a> <a href="/pages/">p</a> <img alt="" src="/wp-content/uploads/2020/01/photo-300x.jpg">
<a href="/wp-content/uploads/2020/01/photo-300x200.JPG">J</a> <a href="/wp-content/uploads/2020/01/notes.txt">n</a> <a href="/wp-content/uploads/2020/01/slides.Key">k</a>
)html";

// Which export the checks read: the planted posts without or with the one attachment, the
// latter also as the report reads them (each post scanned beside its check, no inventory), a
// post whose image is known only by its ID, or one whose image names a post, before the export's
// only attachment.
enum Fixture
{
    WithoutAttachments,
    WithAttachment,
    OnlyAnId,
    ThroughChecks,
    PostBeforeAttachment
};

std::vector<AuditItem> fixture(int which)
{
    std::vector<AuditItem> items;
    if (which == OnlyAnId) {
        items.push_back(item("2", "post", "publish", "cdn", "https://example.com/cdn/",
                             R"(<img class="wp-image-5" src="https://cdn.example.net/x.jpg">)"));
        return items;
    }
    if (which == PostBeforeAttachment) {
        items.push_back(item("2", "post", "publish", "self", "https://example.com/self/",
                             R"(<img alt="" class="wp-image-2" src="/x.jpg">)"));
        items.push_back(item("3", "attachment", "inherit", "x", "https://example.com/x/", {}));
        return items;
    }
    if (which == WithAttachment || which == ThroughChecks) {
        items.push_back(
            item("10", "attachment", "inherit", "photo", "https://example.com/photo/", {}));
        items.back().attachmentUrl =
            QStringLiteral("https://old.example.org/wp-content/uploads/2020/01/photo.jpg");
        items.back().guid = QStringLiteral("https://old.example.org/?attachment_id=10");
    }
    items.push_back(item("1", "post", "publish", "first-post",
                         "https://example.com/2020/01/first-post/", classicBody));
    items.back().bodyUtf8 +=
        "<img alt=\"big\" src=\"data:image/png;base64," + QByteArray(100001, 'A') + "\">";
    items.push_back(
        item("5", "post", "publish", "blocks", "https://example.com/blocks/", blockBody));
    items.push_back(item("8", "post", "publish", "edge", "https://example.com/edge/", edgeBody));
    items.back().bodyUtf8 +=
        "<img alt=\"limit\" src=\"data:image/gif;base64," + QByteArray(100000 - 22, 'B') + "\">" +
        "<img alt=\"\" src=\"https://media.example.net/wp-content/uploads/2020/01/late.jpg\">" +
        "<img alt=\"\" src=\"https://media.example.net/wp-content/uploads/2020/01/gone.jpg\">" +
        "<a href=\"http://media.example.net/about/\">m</a>";
    // What the body-wide searches find in its last bytes, up to a needle cut at the end.
    items.push_back(item(
        "9", "post", "publish", "tail", "https://example.com/tail/",
        "<p>Long enough for some rounds of sixteen bytes</p>\n"
        "[embed width=\"400\"]https://vimeo.com/81?a[]=1[/embed]\n"
        "<p><code>[playlist]</code>\n[playlist]</p>\n"
        "<p>https://vimeo.com/78</p><p>see https://vimeo.com/79</p><p>httpS://vimeo.com/80</p>\n"
        "https://vimeo.com/77\n[clip]x[/clip]\nhtt"));
    items.push_back(item("7", "page", "publish", "featured", "https://example.com/featured/", {}));
    items.back().thumbnailId = QStringLiteral("66");
    items.push_back(
        item("3", "post", "publish", "later-post", "https://example.com/2020/02/later-post/", {}));
    items.push_back(item("4", "post", "draft", "secret-draft", "https://example.com/?p=4", {}));
    // An address that is not plain, its path found decoded either way it is linked; paths not
    // ASCII further down, one there and one not.
    items.push_back(item("12", "post", "publish", "cafe", "https://example.com/2020/03/caf%C3%A9/",
                         "<a href=\"/2020/03/caf\u00e9/\">d</a><a href=\"/2020/03/caf%C3%A9\">e</a>"
                         "<a href=\"/2020/04/\u00fcber/\">u</a><a href=\"/2020/04/n\u00f6/\">n</a>"
                         "<a href=\"/?p=14\">z</a><a href=\"/?p=6\">6</a>"));
    items.push_back(
        item("13", "post", "publish", "uber", "https://example.com/2020/04/%C3%BCber/", {}));
    items.push_back(item("014", "post", "publish", "zero", "https://example.com/zero/", {}));
    items.push_back(item("4294967302", "post", "publish", "far", "https://example.com/far/", {}));
    if (which == WithAttachment || which == ThroughChecks) {
        // The media host shows itself only with the last item, after the posts that use it.
        items.push_back(
            item("20", "attachment", "inherit", "late", "https://example.com/late/", {}));
        items.back().attachmentUrl =
            QStringLiteral("https://media.example.net/wp-content/uploads/2020/01/late.jpg");
    }
    return items;
}

const Collected& audited(int which)
{
    static std::map<int, Collected> results;
    if (!results.contains(which)) {
        Collected& collected = results[which];
        ExportAudit audit({QStringLiteral("https://www.example.com"), {}, {}, {}}, collected);
        const auto reading = postScanReadings()();
        collected.keeps = which != ThroughChecks;
        for (const AuditItem& item : fixture(which)) {
            if (which != ThroughChecks) {
                audit.addItem(item);
                continue;
            }
            ExportItem checked;
            checked.permalink = item.link;
            checked.bodyUtf8 = item.bodyUtf8;
            audit.addItem(item,
                          PostChecker(QStringLiteral("dummy")).check(checked, &*reading).reading);
        }
        audit.finish();
        // As the report settles the inventory's rows that waited for the whole export.
        for (InventoryEntry& entry : collected.urls) {
            if (!entry.hostKey.isEmpty())
                entry.urlClass = audit.classOfHost(entry.hostKey);
        }
        collected.summary = audit.summary();
    }
    return results.at(which);
}

} // namespace

void AuditTest::checks_data()
{
    QTest::addColumn<int>("fixture");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("severity"); // empty: the check must find nothing there
    QTest::addColumn<int>("line");         // in the export; 0: not compared

    const auto row = [](const char* name, const char* check, const char* subject,
                        const char* severity, int line = 0, int fixture = WithAttachment) {
        QTest::newRow(name) << fixture << QString::fromLatin1(check) << QString::fromUtf8(subject)
                            << QString::fromLatin1(severity) << line;
    };
    row("post by ID", "missing-post", "https://example.com/?p=999", "error", 100);
    row("post further down", "missing-post", "/2020/02/later-post/", "");
    row("post by path", "missing-post", "/2020/02/no-such-post/", "warning", 101);
    row("archive page", "missing-post", "https://example.com/category/news/", "");
    row("date archive", "missing-post", "/2019/05/", "");
    row("old host, known path", "missing-post", "https://old.example.org/2020/01/first-post/", "");
    row("draft by name", "unpublished-post", "/secret-draft/", "warning", 103);
    row("published post", "unpublished-post", "/2020/02/later-post/", "");
    row("encoded address, decoded link", "missing-post", "/2020/03/caf\u00e9/", "");
    row("encoded address, encoded link", "missing-post", "/2020/03/caf%C3%A9", "");
    row("post further down, path not ASCII", "missing-post", "/2020/04/\u00fcber/", "");
    row("no post, path not ASCII", "missing-post", "/2020/04/n\u00f6/", "warning");
    row("ID of an item written otherwise", "missing-post", "/?p=14", "error");
    row("ID 2^32 below an item's", "missing-post", "/?p=6", "error");
    row("http link", "insecure-link", "http://elsewhere.net/page", "note", 103);
    row("http link to a host a later item shows", "insecure-link", "http://media.example.net/", "");
    row("old host", "site-host", "https://old.example.org/2020/01/first-post/", "warning", 104);
    row("old host in a style", "site-host",
        "https://old.example.org/wp-content/uploads/2020/01/bg.png", "warning");
    for (const int fixture : {WithAttachment, ThroughChecks}) {
        row(fixture == ThroughChecks ? "old host's file, through checks" : "old host's file",
            "missing-media", "https://old.example.org/wp-content/uploads/2020/01/bg.png", "error",
            0, fixture);
        row(fixture == ThroughChecks ? "old host, known path, through checks"
                                     : "old host, known path, as a path",
            "missing-post", "https://old.example.org/2020/01/first-post/", "", 0, fixture);
    }
    row("fragment with its anchor", "broken-fragment", "#section", "");
    row("fragment without", "broken-fragment", "#nowhere", "warning", 105);
    row("script URL", "script-url", "javascript:void(0)", "warning");
    row("http image", "insecure-resource", "http://cdn.other.net/pic.png", "warning");
    row("size variant of an attachment", "missing-media",
        "https://example.com/wp-content/uploads/2020/01/photo-300x200.jpg", "");
    row("edited copy of an attachment", "missing-media",
        "/wp-content/uploads/2020/01/photo-e1600000000123.jpg", "");
    row("scaled copy of an attachment", "missing-media",
        "https://example.com/wp-content/uploads/2020/01/photo-scaled.jpg", "");
    row("srcset candidate", "missing-media", "/wp-content/uploads/2020/01/photo-1024x768.jpg", "");
    row("file of no attachment", "missing-media", "/wp-content/uploads/2020/01/lost.jpg", "error",
        108);
    row("alt=\"\"", "missing-alt",
        "https://example.com/wp-content/uploads/2020/01/photo-300x200.jpg", "");
    row("image without alt", "missing-alt", "/wp-content/uploads/2020/01/lost.jpg", "warning");
    row("image class", "missing-id", "77", "error", 109);
    row("caption of an attachment", "missing-id", "10", "");
    row("gallery block", "missing-id", "55", "error");
    row("reusable block", "missing-id", "88", "error");
    row("featured image", "missing-id", "66", "error", 100);
    row("image naming a post, before any attachment", "missing-id", "2", "error", 0,
        PostBeforeAttachment);
    row("footnote mark", "shortcode", "1", "");
    row("[sic]", "shortcode", "sic", "");
    row("escaped", "shortcode", "caption", "warning"); // the [caption] further on, once
    row("inside code", "shortcode", "gallery", "");
    row("closed", "shortcode", "myplugin", "warning");
    row("with an attribute", "shortcode", "note", "warning", 112);
    row("after a long text", "shortcode", "audio", "warning", 118);
    row("big data URI", "data-uri", "data:image/png;base64,AAAA", "warning");
    row("URL on its own line", "bare-embed", "https://vimeo.com/123", "note");
    row("embed block", "bare-embed", "https://www.youtube.com/watch?v=abc", "note");
    row("URL near the end", "bare-embed", "https://vimeo.com/77", "note");
    row("closed near the end", "shortcode", "clip", "warning");
    row("URL alone in a paragraph", "bare-embed", "https://vimeo.com/78", "note");
    row("URL in a sentence", "bare-embed", "https://vimeo.com/79", "");
    row("scheme in another case", "bare-embed", "httpS://vimeo.com/80", "note");
    row("URL in an embed shortcode", "bare-embed", "https://vimeo.com/81?a[]=1", "note");
    row("after code that holds it", "shortcode", "playlist", "warning", 103);
    row("closer inside another block", "block-markup", "core/paragraph", "error");
    row("attributes not JSON", "block-markup", "core/spacer", "error");
    row("no blank after <!--", "block-markup", "core/separator", "error");
    row("closer of no open block", "block-markup", "core/group", "error");
    row("still open at the end", "block-markup", "core/columns", "error");
    row("nesting blocks", "block-markup", "core/quote", "");
    row("under /feed only", "missing-post", "/feedback/", "warning");
    row("theme file", "missing-post", "/wp-content/themes/t/style.css", "");
    row("year archive", "missing-post", "/2019/", "");
    row("day archive", "missing-post", "/2019/05/31/", "");
    row("dated post path", "missing-post", "/2018/05/31/dated-post/", "warning");
    row("search", "missing-post", "/?s=term", "");
    row("category query", "missing-post", "/?cat=3", "");
    row("feed", "missing-post", "/feed/", "");
    row("login", "missing-post", "/wp-login.php", "");
    row("author archive", "missing-post", "/author/bob/", "");
    row("draft by ID", "unpublished-post", "https://example.com/?page_id=4", "warning");
    row("attachment by ID", "unpublished-post", "/?attachment_id=10", "");
    row("attachment by ID exists", "missing-post", "/?attachment_id=10", "");
    row("rotated copy", "missing-media", "/wp-content/uploads/2020/01/photo-rotated.jpg", "");
    row("ten-digit edit suffix", "missing-media",
        "/wp-content/uploads/2020/01/photo-e1234567890.jpg", "");
    row("nine digits are no edit suffix", "missing-media",
        "/wp-content/uploads/2020/01/photo-e123456789.jpg", "error");
    row("size of a scaled copy", "missing-media",
        "/wp-content/uploads/2020/01/photo-scaled-300x200.jpg", "");
    row("data URI of 100 000 bytes", "data-uri", "data:image/gif", "");
    row("data: in mixed case", "data-uri", "Data:", "");
    row("javascript: in mixed case", "script-url", "JavaScript:alert(1)", "warning");
    row("<a name>", "broken-fragment", "#named", "");
    row("name on another element", "broken-fragment", "#divname", "warning");
    row("no blank before -->", "block-markup", "core/heading", "error");
    row("capital in a name, as written", "block-markup", "my-plugin/Box", "error");
    row("capital in a name, not read as core/", "block-markup", "core/my-plugin", "");
    row("no blank before attributes", "block-markup", "core/buttons", "error");
    row("no blank before /-->", "block-markup", "core/nextpage", "error");
    row("core/ named or not", "block-markup", "core/list", "");
    row("self-closing", "block-markup", "core/more", "");
    row("attributes an array", "block-markup", "core/preformatted", "error");
    row("closer of another name", "block-markup", "acme/crate", "error");
    row("namespaced block closed", "block-markup", "acme/box", "");
    row("closer with attributes", "block-markup", "core/table", "error");
    row("a month of one digit", "missing-post", "/2018/5/", "warning");
    row("a folder without its slash", "missing-post", "/tag", "");
    row("a longer folder", "missing-post", "/pages/", "warning");
    row("a size without its height", "missing-media", "/wp-content/uploads/2020/01/photo-300x.jpg",
        "error");
    row("link to a file, extension in capitals", "missing-media",
        "/wp-content/uploads/2020/01/photo-300x200.JPG", "error");
    row("link to a file of no media type", "missing-media", "/wp-content/uploads/2020/01/notes.txt",
        "");
    row("extension lowered beyond ASCII", "missing-media", "/wp-content/uploads/2020/01/slides.Key",
        "error");
    row("on a host a later item shows", "site-host",
        "https://media.example.net/wp-content/uploads/2020/01/late.jpg", "warning");
    row("a later item's file there", "missing-media",
        "https://media.example.net/wp-content/uploads/2020/01/late.jpg", "");
    row("no item's file there", "missing-media",
        "https://media.example.net/wp-content/uploads/2020/01/gone.jpg", "error");
    row("no attachments at all", "no-attachments", "", "warning", 0, WithoutAttachments);
    row("then only counted", "missing-media", "/wp-content/uploads/2020/01/lost.jpg", "", 0,
        WithoutAttachments);
    row("no attachments, an image by its ID", "no-attachments", "", "warning", 0, OnlyAnId);
}

void AuditTest::checks()
{
    QFETCH(int, fixture);
    QFETCH(QString, check);
    QFETCH(QString, subject);
    QFETCH(QString, severity);
    QFETCH(int, line);
    std::vector<const AuditFinding*> found;
    for (const AuditFinding& finding : audited(fixture).findings) {
        if (finding.check == check && (subject.isEmpty() || finding.subject.startsWith(subject)))
            found.push_back(&finding);
    }
    if (severity.isEmpty()) {
        QVERIFY2(found.empty(), qPrintable(found.empty() ? QString() : found.front()->detail));
        return;
    }
    QCOMPARE(found.size(), size_t(1));
    QCOMPARE(severityName(found.front()->severity), severity);
    QVERIFY(!found.front()->detail.isEmpty() || check == QLatin1String("missing-alt"));
    QVERIFY2(!found.front()->detail.contains(QLatin1String(" 1 attachments")),
             qPrintable(found.front()->detail));
    if (line != 0)
        QCOMPARE(found.front()->exportLine, line);
}

void AuditTest::inventory_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("urlClass");
    QTest::addColumn<QString>("resolved");

    QTest::newRow("relative") << "/2020/02/later-post/"
                              << "a"
                              << "href"
                              << "current"
                              << "https://example.com/2020/02/later-post/";
    QTest::newRow("old host") << "https://old.example.org/2020/01/first-post/"
                              << "a"
                              << "href"
                              << "site"
                              << "https://old.example.org/2020/01/first-post/";
    QTest::newRow("other host") << "http://elsewhere.net/page"
                                << "a"
                                << "href"
                                << "external"
                                << "http://elsewhere.net/page";
    QTest::newRow("fragment") << "#section"
                              << "a"
                              << "href"
                              << "fragment"
                              << "https://example.com/2020/01/first-post/#section";
    QTest::newRow("mail") << "mailto:me@example.com"
                          << "a"
                          << "href"
                          << "mailto"
                          << "";
    QTest::newRow("phone") << "tel:+123"
                           << "a"
                           << "href"
                           << "tel"
                           << "";
    QTest::newRow("script") << "javascript:void(0)"
                            << "a"
                            << "href"
                            << "javascript"
                            << "";
    QTest::newRow("other scheme") << "ftp://files.example.net/f"
                                  << "a"
                                  << "href"
                                  << "other"
                                  << "ftp://files.example.net/f";
    QTest::newRow("does not parse") << "ht tp://bad"
                                    << "a"
                                    << "href"
                                    << "invalid"
                                    << "";
    const auto row = [](const char* name, const char* url, const char* element,
                        const char* attribute, const char* urlClass, const char* resolved) {
        QTest::newRow(name) << QString::fromLatin1(url) << QString::fromLatin1(element)
                            << QString::fromLatin1(attribute) << QString::fromLatin1(urlClass)
                            << QString::fromLatin1(resolved);
    };
    row("protocol-relative", "//example.com/2020/02/later-post/", "a", "href", "current",
        "https://example.com/2020/02/later-post/");
    row("www., default port, capitals", "HTTPS://WWW.EXAMPLE.COM:443/Upper/", "a", "href",
        "current", "https://www.example.com:443/Upper/");
    row("another port", "https://example.com:8080/x", "a", "href", "external",
        "https://example.com:8080/x");
    row("tel: in mixed case", "TeL:+1", "a", "href", "tel", "");
    row("data: in mixed case", "Data:text/plain,hi", "a", "href", "data", "");
    row("javascript: in mixed case", "JavaScript:alert(1)", "a", "href", "javascript", "");
    row("host that does not parse", "http://[::1/", "a", "href", "invalid", "");
    row("empty: the post itself", "", "a", "href", "current", "https://example.com/edge/");
    row("relative to the post", "relative-page/", "a", "href", "current",
        "https://example.com/edge/relative-page/");
    row("srcset, blanks before the first", "/wp-content/uploads/2020/01/photo-rotated.jpg", "img",
        "srcset", "current", "https://example.com/wp-content/uploads/2020/01/photo-rotated.jpg");
    row("srcset, a comma in a URL with a descriptor", "/c,d.jpg", "img", "srcset", "current",
        "https://example.com/c,d.jpg");
    row("srcset, no descriptor after a comma", "/e.jpg", "img", "srcset", "current",
        "https://example.com/e.jpg");
    row("url() quoted, in capitals", "/wp-content/uploads/2020/01/photo-e1234567890.jpg", "div",
        "style", "current", "https://example.com/wp-content/uploads/2020/01/photo-e1234567890.jpg");
    QTest::newRow("srcset, a comma in a URL") << "/a,b.jpg"
                                              << "img"
                                              << "srcset"
                                              << "current"
                                              << "https://example.com/a,b.jpg";
    row("on a host a later item shows",
        "https://media.example.net/wp-content/uploads/2020/01/late.jpg", "img", "src", "site",
        "https://media.example.net/wp-content/uploads/2020/01/late.jpg");
    QTest::newRow("block attribute, JSON escapes decoded") << "https://example.com/later"
                                                           << "block core/image"
                                                           << "href"
                                                           << "current"
                                                           << "https://example.com/later";
}

void AuditTest::inventory()
{
    QFETCH(QString, url);
    QFETCH(QString, element);
    QFETCH(QString, attribute);
    QFETCH(QString, urlClass);
    QFETCH(QString, resolved);
    const auto& urls = audited(WithAttachment).urls;
    const auto entry = std::find_if(urls.begin(), urls.end(),
                                    [&](const InventoryEntry& entry) { return entry.url == url; });
    QVERIFY(entry != urls.end());
    QCOMPARE(entry->element, element);
    QCOMPARE(entry->attribute, attribute);
    QCOMPARE(urlClassName(entry->urlClass), urlClass);
    QCOMPARE(entry->resolved, resolved);
}

// A host counts the URLs that name it, by its class; a fragment names the post's own page.
void AuditTest::summaryHosts()
{
    const auto& hosts = audited(WithAttachment).summary.hosts;
    const auto host = std::find_if(hosts.begin(), hosts.end(),
                                   [](const auto& host) { return host.host == u"example.com"; });
    QVERIFY(host != hosts.end());
    QCOMPARE(urlClassName(host->urlClass), QStringLiteral("current"));
    QVERIFY(hosts.front().urls >= hosts.back().urls);

    // Each item's type and status are kept once for the export, in a list that grows as new
    // words come: each item must read back its own status, not a word that came after. What
    // waits for the end is kept in pieces; more than one piece of posts and of links is read
    // back, each with its own post.
    Collected collected;
    ExportAudit audit({QStringLiteral("https://example.com/"), {}, {}, {}}, collected);
    constexpr int items = 1100;
    QByteArray links;
    for (int id = 1; id <= items; ++id) {
        const QByteArray number = QByteArray::number(id);
        audit.addItem(item(number.constData(), ("type-" + number).constData(),
                           ("status-" + number).constData(), "", "",
                           "<a href=\"/?p=" + QByteArray::number(items + id) + "\">x</a>"));
        links += "<a href=\"/?p=" + number + "\">x</a>";
    }
    audit.addItem(item("999999", "post", "publish", "links", "https://example.com/links/", links));
    audit.finish();
    QCOMPARE(collected.findings.size(), size_t(2 * items));
    for (int i = 0; i < items; ++i) {
        QCOMPARE(collected.findings[size_t(i)].detail,
                 QStringLiteral("links to an item whose status is status-%1").arg(i + 1));
        const AuditFinding& missing = collected.findings[size_t(items + i)];
        QCOMPARE(missing.title, QStringLiteral("Post %1").arg(i + 1));
        QCOMPARE(missing.subject, QStringLiteral("/?p=%1").arg(items + i + 1));
    }

    // Hosts counted last are kept at hand while new ones grow the table under them: each URL
    // names a new host, then the one before.
    Collected counted;
    ExportAudit hostsAudit({QStringLiteral("https://example.com/"), {}, {}, {}}, counted);
    QByteArray images;
    for (int i = 1; i <= 200; ++i) {
        for (const int host : {i, i - 1}) {
            if (host > 0)
                images += "<img alt=\"\" src=\"https://h" + QByteArray::number(host) +
                          ".example.org/a.png\"/>";
        }
    }
    hostsAudit.addItem(item("1", "post", "publish", "hosts", "https://example.com/hosts/", images));
    hostsAudit.finish();
    QCOMPARE(hostsAudit.summary().hosts.size(), 200);
    for (const AuditSummary::Host& host : hostsAudit.summary().hosts)
        QCOMPARE(host.urls, host.host == u"h200.example.org" ? 1 : 2);

    // The class of a host asked for again, after an item showed it to be the site's.
    SiteHosts site({QStringLiteral("https://example.com/"), {}, {}, {}});
    HostMemo memo;
    const QString grown = QStringLiteral("grown.example.org");
    QCOMPARE(site.classOfHost(grown), UrlClass::External);
    AuditItem showing;
    showing.guid = QStringLiteral("https://grown.example.org/?p=2");
    site.addItem(showing, memo);
    QCOMPARE(site.classOfHost(grown), UrlClass::Site);
}

// A post that is not well-formed is read as a browser reads it: what it holds is what the same
// post mended holds, at the same places, whether each is read alike or followed through its
// check's own parse, which a lenient reading takes over at the fault.
void AuditTest::faultyPostReadAsMended_data()
{
    QTest::addColumn<QByteArray>("faulty");
    QTest::addColumn<QByteArray>("mended");
    QTest::addColumn<int>("rows");
    QTest::newRow("fault at the start")
        << QByteArray("<P CLASS=x>A &nbsp; <A HREF=/one?a=1&b=2>one<BR>\n<IMG SRC='/i.png' ALT=x>\n"
                      "<ul><li><a href=\"#t\" title=\"a\" title=\"b\">t</a><li><iframe "
                      "src=//v.example/e></ul><div><span><VIDEO POSTER=/p.jpg><source "
                      "srcset=\"/s1.jpg 1x, /s2.jpg 2x\">")
        << QByteArray("<p class=\"x\">A &#160; <a href=\"/one?a=1&amp;b=2\">one<br/>\n<img "
                      "src=\"/i.png\" alt=\"x\"/></a></p>\n<ul><li><a href=\"#t\" "
                      "title=\"a\">t</a></li><li><iframe src=\"//v.example/e\"></iframe></li></"
                      "ul><div><span><video poster=\"/p.jpg\"><source srcset=\"/s1.jpg 1x, "
                      "/s2.jpg 2x\"/></video></span></div>")
        << 12;
    // Before the fault: a shortcode in the text just read, one in a pre, a block and an anchor
    // that the rest closes and names; after it, a code element and a script.
    const QByteArray before = "<!-- wp:group --><div id=\"t2\"><pre>[audio src=\"/a.mp3\"]</pre>\n"
                              "<p><a href=\"#t2\">up</a><br/><img src=\"/i2.png\" alt=\"\"/>"
                              "[gallery ids=\"4\"] tail ";
    const QByteArray after = " <code>[x]</code></p><a href=\"/after\">after</a></div>\n"
                             "<script>if (a LT b) x();</script><!-- /wp:group -->";
    QByteArray faultyAfter = after;
    QByteArray mendedAfter = after;
    QTest::newRow("fault after well-formed markup")
        << before + "&nbsp;" + faultyAfter.replace("LT", "<")
        << before + "&#160;" + mendedAfter.replace("LT", "&lt;") << 8;
    QTest::newRow("fault inside an open code element")
        << before + "<code>[x] <br> [y]</code>" + faultyAfter
        << before + "<code>[x] <br/> [y]</code>" + mendedAfter << 8;
    // The lenient reading hands back to a parse of the rest where the markup is at the top level
    // again, and takes over at each fault after, up to a limit of rounds.
    QTest::newRow("faults apart, well-formed between")
        << QByteArray(
               "<p>one&nbsp;two</p>\n<p><a href=\"/x\">x</a> [caption id=\"attachment_5\"]c"
               "[/caption]</p>\n<br><img src=\"/i.png\" alt=\"i\">\n<p>three &copy; <a "
               "href=/y>y</a></p><div><a href=\"/z\">z</a><code>[no]</code></div>\n<p>four&nbsp;<p "
               "id=\"t3\">five</p><a href=\"#t3\">up</a>")
        << QByteArray("<p>one&#160;two</p>\n<p><a href=\"/x\">x</a> [caption id=\"attachment_5\"]c"
                      "[/caption]</p>\n<br/><img src=\"/i.png\" alt=\"i\"/>\n<p>three &#169; <a "
                      "href=\"/y\">y</a></p><div><a "
                      "href=\"/z\">z</a><code>[no]</code></div>\n<p>four&#160;"
                      "</p><p id=\"t3\">five</p><a href=\"#t3\">up</a>")
        << 12;
    QByteArray faultyAll, mendedAll;
    for (int i = 0; i < 20; ++i) {
        const QByteArray link = "<a href=\"/" + QByteArray::number(i) + "\">n</a></p>\n";
        faultyAll += "<p>a&nbsp;" + link;
        mendedAll += "<p>a&#160;" + link;
    }
    QTest::newRow("more faults than rounds") << faultyAll << mendedAll << 43;
}

void AuditTest::faultyPostReadAsMended()
{
    QFETCH(QByteArray, faulty);
    QFETCH(QByteArray, mended);
    QFETCH(int, rows);
    const auto inventoryOf = [](QByteArray body, bool fromCheck,
                                const char* link = "https://example.com/p/") {
        body += "\n<!-- wp:image {\"url\":\"/b.jpg\"} /-->[gallery ids=\"3\"] <![CDATA[[x y=1]]]>";
        Collected collected;
        ExportAudit audit({QStringLiteral("https://example.com/"), {}, {}, {}}, collected);
        const AuditItem post = item("1", "post", "publish", "p", link, body);
        if (fromCheck) {
            const auto reading = postScanReadings(true)();
            ExportItem checked;
            checked.permalink = post.link;
            checked.bodyUtf8 = body;
            const PostReport report =
                PostChecker(QStringLiteral("dummy")).check(checked, &*reading);
            if (!report.reading.has_value())
                return QStringList{report.reason};
            audit.addItem(post, report.reading);
        } else {
            audit.addItem(post);
        }
        audit.finish();
        QStringList rows;
        for (const InventoryEntry& entry : collected.urls)
            rows << QStringList{entry.element, entry.attribute, entry.url, entry.resolved,
                                QString::number(entry.exportLine)}
                        .join(QLatin1Char('|'));
        for (const AuditFinding& finding : collected.findings)
            rows << finding.check + QLatin1Char('|') + finding.subject;
        return rows;
    };
    const QStringList read = inventoryOf(faulty, false);
    QCOMPARE(read.size(), rows);
    QCOMPARE(read, inventoryOf(mended, false));
    QCOMPARE(read, inventoryOf(mended, true));
    QCOMPARE(read, inventoryOf(faulty, true));
    // Without an address of its own, a post's URLs resolve against the site's.
    QCOMPARE(inventoryOf(faulty, true, ""), inventoryOf(faulty, false, ""));
}

// A URL whose start comes from those met before is the URL that QUrl parses whole, whatever its
// path, query and fragment hold; a start that QUrl would read otherwise is parsed whole.
void AuditTest::urlStartsParseAsQUrl()
{
    UrlStarts starts;
    for (const char* written :
         {"https://Ex-ample.COM:8080/a b/%zz/%2F/../é?q=1&r=%41#frag ment", "HTTP://www.a.b",
          "http://www.a.b?x#y", "http://www.a.b#only", "http://www.a.b/p#f?not-query",
          "http://www.a.b/?", "http://www.a.b/#", "https://example.com/p",
          "https://example.com//double/slash", "https://user@example.com/p",
          "https://exa_mple.com/p", "https://[::1]:80/p", "https://example.com:/p",
          "https://example.com:99999/p", "https://ex ample.com/p", "https:/single/slash",
          "https:no-slash", "https://example.com/中/😀?\\",
          // Hosts and ports that a start met before is the beginning of.
          "http://www.a.bc/p", "http://www.a.b.c?q", "http://www.a.b:8080/p",
          "http://www.a.b:80"}) {
        const QString url = QString::fromUtf8(written);
        const QUrl whole(url, QUrl::TolerantMode);
        for (int time = 0; time < 2; ++time) {
            QUrl parsed;
            if (!starts.parse(url, parsed))
                continue;
            QCOMPARE(parsed.isValid(), whole.isValid());
            QCOMPARE(parsed.toString(QUrl::FullyEncoded), whole.toString(QUrl::FullyEncoded));
            QCOMPARE(parsed.host(), whole.host());
        }
    }
    // A URL prepared without its resolved text, where QUrl may be left out, is the one prepared
    // with it through QUrl: plain rests with every character that stays so, and others.
    const QString alphabet = QStringLiteral("aZ09-._~!$&'()*+,;=:@/?#% \"<>[]{}|^`é");
    QStringList rests = {"",
                         "/",
                         "?p=12&x=1#f",
                         "/wp-content/uploads/2020/01/a-300x200.jpg",
                         "/a/../b/./c",
                         "?page_id=4",
                         "/?",
                         "/#",
                         "/f.pdf?attachment_id=3",
                         "/2019/05/",
                         "/?p=1?q",
                         "/p#x?p=2",
                         "/x;y=1/z%41"};
    QRandomGenerator random(7);
    for (int i = 0; i < 3000; ++i) {
        QString rest = QStringLiteral("/");
        for (int length = int(random.bounded(12)); length > 0; --length)
            rest += alphabet.at(random.bounded(alphabet.size()));
        rests << rest;
    }
    const auto fields = [](const PreparedUrl& p) {
        return QStringList{QString::number(int(p.urlClass)),
                           QString::number(p.needsHosts),
                           QString::number(p.insecure),
                           QString::number(p.mediaExtension),
                           p.host,
                           p.hostKey,
                           p.mediaKey,
                           QString::number(int(p.linkTarget.kind)),
                           p.linkTarget.key,
                           p.linkTarget.lastSegment};
    };
    HostMemo hosts;
    for (const char* start : {"https://example.com", "HTTP://WWW.Example.com:80",
                              "https://example.com:8080", "https://site.files.wordpress.com"}) {
        for (const QString& rest : std::as_const(rests)) {
            const QString url = QLatin1String(start) + rest;
            const QUrl base(QStringLiteral("https://example.com/post/"));
            const bool link = random.bounded(2) == 0;
            const PreparedUrl quick = prepareUrl(url, base, {link, !link, false}, hosts);
            const PreparedUrl whole = prepareUrl(url, base, {link, !link, true}, hosts);
            QCOMPARE(fields(quick), fields(whole));
        }
    }
    // A relative reference resolved by hand is the one QUrl resolves, against bases with and
    // without a path, a query or dot segments; those it does not take are left to QUrl.
    QStringList references = {
        "eiusmod",  "/abs", "?q=1", "a/b",   "x.png?attachment_id=3", "./a", "a/../b", "a:b",
        "//host/p", "#f",   "",     "p?x#y", "wp-content/f.jpg"};
    for (const QString& rest : std::as_const(rests))
        references << rest.mid(1);
    int taken = 0;
    for (const char* base : {"https://example.com/post/", "https://example.com",
                             "http://example.com/2019/05/slug?x=1#f", "https://example.com/a/../b/",
                             "https://example.com/dir/file.html"}) {
        for (const QString& reference : std::as_const(references)) {
            const bool link = random.bounded(2) == 0;
            const std::optional<PreparedUrl> quick =
                preparePlainRelative(reference, QLatin1String(base), {link, !link, false}, hosts);
            if (!quick)
                continue;
            ++taken;
            const PreparedUrl whole =
                prepareUrl(reference, QUrl(QLatin1String(base)), {link, !link, false}, hosts);
            QCOMPARE(fields(*quick), fields(whole));
        }
    }
    QVERIFY(taken > 1000);
}

// The bodies' searches find what a plain search finds, wherever a needle falls across the
// sixteen-byte steps, at a body's end or cut short by it.
void AuditTest::findBytesAsIndexOf()
{
    QRandomGenerator random(7);
    for (int round = 0; round < 3000; ++round) {
        QByteArray text(random.bounded(80), Qt::Uninitialized);
        for (char& c : text)
            c = "[/htps:"[random.bounded(7)];
        const qsizetype from = random.bounded(int(text.size()) + 2) - 1;
        for (const char* needle : {"[/", "http", "https:/"}) {
            QCOMPARE(findBytes(text, from, needle),
                     QByteArrayView(text).indexOf(needle, qMax<qsizetype>(from, 0)));
        }
    }
}

// Texts converted by hand into a string kept from one to the next, against Qt's conversions; a
// copy taken of the string must keep what it held.
void AuditTest::asciiTextAsQt()
{
    QRandomGenerator random(11);
    QString room;
    QByteArray appended;
    for (int round = 0; round < 2000; ++round) {
        QString text;
        for (int i = random.bounded(40); i > 0; --i)
            text += QStringView(u"az/:%\u00e9\u20ac").at(random.bounded(7));
        const QString kept = room;
        const QString before = room;
        setFromUtf8(room, text.toUtf8());
        QCOMPARE(room, text);
        QCOMPARE(kept, before);
        const QByteArray expected = appended + text.toUtf8();
        appendUtf8(appended, text);
        QCOMPARE(appended, expected);
        if (appended.size() > 4096)
            appended.clear();
    }
}

// Every kind but those of many names has one name of its own, which is the kind in any case.
void AuditTest::kindNamesRoundTrip()
{
    for (size_t i = 1; i < htmlElementKinds; ++i) {
        const auto kind = HtmlElement(i);
        QVERIFY(!htmlElementName(kind).isEmpty());
        QCOMPARE(htmlElementOf(htmlElementName(kind)), kind);
        QCOMPARE(htmlElementOf(htmlElementName(kind).toByteArray().toUpper()), kind);
    }
    for (size_t i = 1; i < htmlAttributeKinds; ++i) {
        const auto kind = HtmlAttribute(i);
        QCOMPARE(htmlAttributeName(kind).isEmpty(), kind == HtmlAttribute::MediaUrl);
        if (kind != HtmlAttribute::MediaUrl)
            QCOMPARE(htmlAttributeOf(htmlAttributeName(kind)), kind);
    }
}

void AuditTest::hostileBodyInBoundedTime_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qsizetype>("urls"); // at least

    const auto repeated = [](const char* text, int times) {
        QByteArray repeated;
        for (int i = 0; i < times; ++i)
            repeated += text;
        return repeated;
    };
    // Each link waits for the end of the export: a cost per link that grew with their number
    // would take minutes here.
    QTest::newRow("50 000 links") << repeated("<a href=/x>", 50000) << qsizetype(50000);
    QTest::newRow("20 MB of block attributes")
        << "<!-- wp:image {\"url\":\"/a.jpg\",\"x\":\"" + QByteArray(20 << 20, 'y') + "\"} /-->"
        << qsizetype(1);
    QTest::newRow("a srcset of 200 000 candidates")
        << "<img alt=\"\" srcset=\"" + repeated("/i.jpg 1x, ", 200000) + "\">" << qsizetype(200000);
    QTest::newRow("shortcodes a thousand deep")
        << repeated("[box a=1]", 1000) + repeated("[/box]", 1000) << qsizetype(0);
    QTest::newRow("a million unclosed brackets") << repeated("[x ", 1000000) << qsizetype(0);
    QTest::newRow("100 000 shortcodes written as references")
        << repeated("&#91;caption id=\"attachment_1\"] ", 100000) << qsizetype(0);
    // Each URL there could stand alone after a shortcode, a tag or an embed's opener, with the
    // whole run of URL characters after it and no closer.
    for (const char* unit : {"]https://x", ">https://x", "[embed]https://x"})
        QTest::newRow(unit) << repeated(unit, 100000) << qsizetype(0);
}

// Bodies that a careless reading would take quadratic time or unbounded memory on.
void AuditTest::hostileBodyInBoundedTime()
{
    QFETCH(QByteArray, body);
    QFETCH(qsizetype, urls);
    QElapsedTimer timer;
    timer.start();
    Collected collected;
    ExportAudit audit({QStringLiteral("https://example.com/"), {}, {}, {}}, collected);
    audit.addItem(item("1", "post", "publish", "p", "https://example.com/p/", body));
    audit.finish();
    QVERIFY(qsizetype(collected.urls.size()) >= urls);
    QVERIFY2(timer.elapsed() < childprocess::secondsAllowed(2) * 1000,
             qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(AuditTest)
#include "tst_audit.moc"
