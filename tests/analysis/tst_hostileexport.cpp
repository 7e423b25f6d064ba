// Hostile export files: each is read by the whole analysis in a child process with bounded
// memory and time, and must end in its defined outcome — items read correctly, or none found —
// without touching the network or any file but the export.
#include "hostilechild.h"

#include "analysis/exportreader.h"

#include <QBuffer>
#include <QDir>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QUrl>

#include <libxml/xmlerror.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

const QString contentNamespace = QStringLiteral("http://purl.org/rss/1.0/modules/content/");

QString
rss(const QString& items, const QString& prolog = QString(),
    const QString& declaration = QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>)"))
{
    return declaration + prolog +
           QStringLiteral(R"(<rss xmlns:content="%1"><channel>)").arg(contentNamespace) + items +
           QStringLiteral("</channel></rss>");
}

QString item(const QString& title, const QString& cdataBody)
{
    return QStringLiteral(
               "<item><title>%1</title><content:encoded><![CDATA[%2]]></content:encoded></item>")
        .arg(title, cdataBody);
}

// Declarations that make the usual export valid against its own internal subset.
const QString validSubset = QStringLiteral(
    "<!ELEMENT rss ANY><!ATTLIST rss xmlns:content CDATA #IMPLIED><!ELEMENT channel ANY>"
    "<!ELEMENT item ANY><!ELEMENT title ANY><!ELEMENT content:encoded ANY>");

QByteArray utf8(const QString& text)
{
    return text.toUtf8();
}

// Attribute names that stay short: a million of them fit in one start tag below libxml2's own
// 10 MB lookup limit, which would otherwise stop the parse before the quadratic check.
QByteArray shortName(int index)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    QByteArray name;
    do {
        name.append(letters[index % 52]);
        index /= 52;
    } while (index > 0);
    return name;
}

QByteArray attributes(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += " " + shortName(i) + "=''";
    return text;
}

QByteArray elementWithAttributes(const QByteArray& name, int count)
{
    QByteArray tag = "<" + name;
    tag.reserve(count * 8);
    for (int i = 0; i < count; ++i)
        tag += " " + shortName(i) + "=''";
    return tag;
}

enum class Kind
{
    File,
    Directory,
    Missing,
    Unreadable
};

} // namespace

Q_DECLARE_METATYPE(Kind)

class HostileExportTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hostileExport_data();
    void hostileExport();
    void bodyTextSkipsMarkup();
    void cdataBodyIsReadWhole_data();
    void cdataBodyIsReadWhole();
    void cleanupTestCase();

private:
    bool connectionArrived() const;

    QTemporaryDir dir_;
    int listener_ = -1;
    quint16 port_ = 0;
    const QByteArray secret_ = "only-in-the-secret-file-5b1e";
};

void HostileExportTest::initTestCase()
{
    QVERIFY(dir_.isValid());
    // The unprivileged case must reach the directory.
    QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                           QFileDevice::ExeOther);
    QFile secret(dir_.filePath(QStringLiteral("secret.txt")));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write(secret_);
    secret.close();

    // A local server that any attempt to fetch an http resource would reach.
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    QVERIFY(listener_ >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    QCOMPARE(::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length), 0);
    QCOMPARE(::listen(listener_, 8), 0);
    port_ = ntohs(address.sin_port);
}

void HostileExportTest::cleanupTestCase()
{
    if (listener_ >= 0)
        ::close(listener_);
}

bool HostileExportTest::connectionArrived() const
{
    const int connection = ::accept(listener_, nullptr, nullptr);
    if (connection < 0)
        return false;
    ::close(connection);
    return true;
}

void HostileExportTest::hostileExport_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("firstTitle");
    QTest::addColumn<int>("firstCode"); // -1: any fault
    QTest::addColumn<int>("linkRows");

    const QString http = QStringLiteral("http://127.0.0.1:%1").arg(port_);
    const QString file =
        QUrl::fromLocalFile(dir_.filePath(QStringLiteral("secret.txt"))).toString();
    const QString usual = item(QStringLiteral("T"), QStringLiteral(R"(<a href="x">y</a>)"));
    auto none = [](const char* name, const QByteArray& content) {
        QTest::newRow(name) << Kind::File << content << false << QString() << 0 << 0;
    };

    none("external entity, local file",
         utf8(rss(item(QStringLiteral("&e;"), QString()),
                  QStringLiteral(R"(<!DOCTYPE rss [%1<!ENTITY e SYSTEM "%2">]>)")
                      .arg(validSubset, file))));
    none("external entity, http",
         utf8(rss(item(QStringLiteral("&e;"), QString()),
                  QStringLiteral(R"(<!DOCTYPE rss [%1<!ENTITY e SYSTEM "%2/e">]>)")
                      .arg(validSubset, http))));
    none(
        "external parameter entity",
        utf8(rss(usual, QStringLiteral(R"(<!DOCTYPE rss [<!ENTITY % p SYSTEM "%1/p.dtd"> %p; %2]>)")
                            .arg(http, validSubset))));
    none(
        "internal parameter entity",
        utf8(rss(usual, QStringLiteral(R"(<!DOCTYPE rss [<!ENTITY % p "<!ENTITY e 'x'>"> %p; %1]>)")
                            .arg(validSubset))));
    none("external DTD, http",
         utf8(rss(usual, QStringLiteral(R"(<!DOCTYPE rss SYSTEM "%1/rss.dtd">)").arg(http))));
    none("external DTD, local file",
         utf8(rss(usual, QStringLiteral(R"(<!DOCTYPE rss SYSTEM "%1">)").arg(file))));

    QString laughs = QStringLiteral(R"(<!ENTITY l0 "ha">)");
    for (int level = 1; level <= 10; ++level)
        laughs += QStringLiteral(R"(<!ENTITY l%1 "%2">)")
                      .arg(level)
                      .arg(QStringLiteral("&l%1;").arg(level - 1).repeated(10));
    none("billion laughs",
         utf8(rss(QStringLiteral("<item><title>&l10;</title></item>"),
                  QStringLiteral("<!DOCTYPE rss [%1%2]>").arg(validSubset, laughs))));
    none("quadratic blow-up", utf8(rss(QStringLiteral("<item><title>%1</title></item>")
                                           .arg(QStringLiteral("&big;").repeated(100000)),
                                       QStringLiteral(R"(<!DOCTYPE rss [%1<!ENTITY big "%2">]>)")
                                           .arg(validSubset, QString(100000, QLatin1Char('A'))))));
    none(
        "100 000-deep nesting",
        utf8(rss(QStringLiteral("<item><title>T</title>") + QStringLiteral("<x>").repeated(100000) +
                 QStringLiteral("</x>").repeated(100000) + QStringLiteral("</item>"))));
    {
        const QByteArray start = utf8(rss(QStringLiteral("\x01")));
        const qsizetype at = start.indexOf('\x01');
        none("item with 1 000 000 attributes", start.left(at) +
                                                   elementWithAttributes("item", 1000000) +
                                                   "><title>T</title></item>" + start.mid(at + 1));
    }
    {
        QStringEncoder little(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        const QString start = rss(QStringLiteral("\x01"), QString(),
                                  QStringLiteral(R"(<?xml version="1.0" encoding="UTF-16"?>)"));
        const qsizetype at = start.indexOf(QLatin1Char('\x01'));
        none("UTF-16 item with 1 000 000 attributes",
             little(start.left(at) + QString::fromLatin1(elementWithAttributes("item", 1000000)) +
                    QStringLiteral("><title>T</title></item>") + start.mid(at + 1)));
    }
    {
        QString defaults;
        for (int i = 0; i < 40; ++i)
            defaults += QStringLiteral(R"( d%1 CDATA "v")").arg(i);
        none("attribute defaults multiplied by elements",
             utf8(rss(QStringLiteral("<item><title>T</title>%1</item>")
                          .arg(QStringLiteral("<x/>").repeated(100000)),
                      QStringLiteral("<!DOCTYPE rss [%1<!ELEMENT x EMPTY><!ATTLIST x%2>]>")
                          .arg(validSubset, defaults))));
    }
    none("comment of 5 MB full of '>'",
         utf8(rss(usual + QStringLiteral("<!--") + QStringLiteral("x>").repeated(2500000) +
                  QStringLiteral("-->"))));
    {
        // libxml2 reads UTF-7, where "+ADw-" stands for '<': markup the guard could not see.
        QByteArray utf7 = utf8(rss(QStringLiteral("\x01"), QString(),
                                   QStringLiteral(R"(<?xml version="1.0" encoding="UTF-7"?>)")));
        const qsizetype at = utf7.indexOf('\x01');
        utf7 = utf7.left(38) + utf7.mid(38, at - 38).replace("<", "+ADw-") + "+ADw-item" +
               attributes(1000) + ">+ADw-title>T+ADw-/title>+ADw-/item>" +
               utf7.mid(at + 1).replace("<", "+ADw-");
        none("UTF-7 export", utf7);
    }
    // A fault in every byte costs each no more time than the last, and few records.
    none("NUL bytes in an open CDATA section, 3 MB",
         utf8(rss(item(QStringLiteral("T"), QStringLiteral("<p>")))
                  .section(QStringLiteral("]]>"), 0, 0)) +
             QByteArray(3'000'000, '\0'));
    none("truncated", utf8(rss(usual)).chopped(20));
    none("0 bytes", QByteArray());
    none("not an RSS document", QByteArrayLiteral("<?xml version=\"1.0\"?><html><body/></html>"));

    const QString international = QStringLiteral(u"Café – 語 \U0001F600");
    {
        const QString text =
            rss(item(international, QStringLiteral(R"(<a href="x">y</a>)")), QString(),
                QStringLiteral(R"(<?xml version="1.0" encoding="UTF-16"?>)"));
        QStringEncoder little(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        QStringEncoder big(QStringEncoder::Utf16BE, QStringEncoder::Flag::WriteBom);
        QTest::newRow("UTF-16 little-endian")
            << Kind::File << QByteArray(little(text)) << true << international << 0 << 1;
        QTest::newRow("UTF-16 big-endian")
            << Kind::File << QByteArray(big(text)) << true << international << 0 << 1;
    }
    {
        const QString title = QStringLiteral(u"Café crème");
        const QString text =
            rss(QStringLiteral("<item><title>%1</title><content:encoded>&lt;p&gt;%1&lt;/p&gt;"
                               "</content:encoded></item>")
                    .arg(title),
                QString(), QStringLiteral(R"(<?xml version="1.0" encoding="ISO-8859-1"?>)"));
        QTest::newRow("ISO-8859-1") << Kind::File << text.toLatin1() << true << title << 0 << 0;
    }
    {
        const QString title = QStringLiteral(u"日本語の投稿");
        QStringEncoder shiftJis("Shift_JIS");
        const QString text =
            rss(item(title, QStringLiteral(u"<a href=\"x\">リンク</a>")), QString(),
                QStringLiteral(R"(<?xml version="1.0" encoding="Shift_JIS"?>)"));
        QTest::newRow("Shift_JIS")
            << Kind::File << QByteArray(shiftJis(text)) << true << title << 0 << 1;
    }
    // Read through: the body shows U+FFFD where the bytes were, the title leaves out NUL.
    QTest::newRow("invalid UTF-8")
        << Kind::File << utf8(rss(usual)).replace("<a href", "<a \xC3\x28href") << true
        << QStringLiteral("T") << int(XML_ERR_ATTRIBUTE_WITHOUT_VALUE) << 0;
    QTest::newRow("NUL bytes")
        << Kind::File << utf8(rss(usual)).replace("<title>T", QByteArray("<title>T\0\0", 10))
        << true << QStringLiteral("T") << 0 << 1;
    QTest::newRow("title of 100 000 control characters")
        << Kind::File << utf8(rss(item(QStringLiteral("T") + QString(100000, QChar(1)), {})))
        << true << QStringLiteral("T") << 0 << 0;
    QTest::newRow("body of 3 000 000 control characters")
        << Kind::File
        << utf8(rss(item(QStringLiteral("T"), "<p>" + QString(3'000'000, QChar(1)) + "</p>")))
        << true << QStringLiteral("T") << -1 << 0;
    QTest::newRow("body of 12 MB as text")
        << Kind::File
        << utf8(rss(QStringLiteral("<item><title>T</title><content:encoded>%1</content:encoded>"
                                   "</item>")
                        .arg(QStringLiteral("&lt;b&gt;x&lt;/b&gt;").repeated(600000))))
        << true << QStringLiteral("T") << 0 << 0;
    QTest::newRow("UTF-8 byte-order mark")
        << Kind::File << QByteArray("\xEF\xBB\xBF") + utf8(rss(usual)) << true
        << QStringLiteral("T") << 0 << 1;
    QTest::newRow("DOCTYPE, valid")
        << Kind::File << utf8(rss(usual, QStringLiteral("<!DOCTYPE rss [%1]>").arg(validSubset)))
        << true << QStringLiteral("T") << 0 << 1;
    QTest::newRow("internal entity within limits")
        << Kind::File
        << utf8(rss(
               QStringLiteral(
                   "<item><title>&e;&e;</title><content:encoded>&e;</content:encoded></item>"),
               QStringLiteral(R"(<!DOCTYPE rss [%1<!ENTITY e "x&#38;#60;y">]>)").arg(validSubset)))
        << true << QStringLiteral("x<yx<y") << -1 << 0;
    QTest::newRow("directory") << Kind::Directory << QByteArray() << false << QString() << 0 << 0;
    QTest::newRow("missing file") << Kind::Missing << QByteArray() << false << QString() << 0 << 0;
    QTest::newRow("file without read permission")
        << Kind::Unreadable << utf8(rss(usual)) << false << QString() << 0 << 0;
}

void HostileExportTest::hostileExport()
{
    QFETCH(Kind, kind);
    QFETCH(QByteArray, content);
    QFETCH(bool, found);
    QFETCH(QString, firstTitle);
    QFETCH(int, firstCode);
    QFETCH(int, linkRows);

    const QString path = dir_.filePath(QStringLiteral("export-%1.xml")
                                           .arg(QTest::currentDataTag())
                                           .replace(QLatin1Char(' '), QLatin1Char('_')));
    if (kind == Kind::Directory) {
        QVERIFY(QDir(dir_.path()).mkpath(path));
    } else if (kind != Kind::Missing) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
        file.close();
        if (kind == Kind::Unreadable) {
            QVERIFY(file.setPermissions(QFileDevice::WriteOwner));
        } else {
            // Readable by the unprivileged user too, like any export a user picks.
            QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ReadOther));
        }
    }

    const hostile::ChildResult result = hostile::runChild(
        {QStringLiteral("export"), path}, hostile::secondsAllowed(20), kind == Kind::Unreadable);
    const QStringList summary = hostile::fieldsOf(result, QStringLiteral("found"));
    const QList<hostile::Row> rows = hostile::rowsOf(result);
    const QString problem = hostile::fieldsOf(result, QStringLiteral("problem")).value(1);
    hostile::report(
        QTest::currentDataTag(),
        found ? QStringLiteral("%1 items, first \"%2\"").arg(summary.value(3), rows.value(0).title)
              : QStringLiteral("no items: %1").arg(problem),
        result);

    QVERIFY2(!result.timedOut, "the case ran out of time");
    QVERIFY2(result.exited && result.exitCode == 0, result.errors.right(2000).constData());
    QVERIFY(result.peakKb < hostile::memoryLimitMb * 1024 * (hostile::underSanitizer ? 2 : 1));
    QCOMPARE(summary.size(), 6);
    QCOMPARE(summary.at(1) == QLatin1String("1"), found);
    QVERIFY2(!connectionArrived(), "the analysis reached the network");
    for (const QString& line : result.lines)
        QVERIFY2(!line.contains(QString::fromLatin1(secret_)),
                 "the analysis read a file it was not given");

    if (found) {
        QVERIFY(!rows.isEmpty());
        QCOMPARE(rows.first().title, firstTitle);
        if (firstCode >= 0)
            QCOMPARE(rows.first().code, firstCode);
        else
            QVERIFY(rows.first().code != 0);
        QCOMPARE(summary.at(5).toInt(), linkRows);
    } else {
        QVERIFY(rows.isEmpty());
        QCOMPARE(summary.at(3), QStringLiteral("0"));
    }
}

// The text of a body that holds elements, comments and several sections is all its character
// data, in order, whatever the depth.
void HostileExportTest::bodyTextSkipsMarkup()
{
    QByteArray content =
        utf8(rss(QStringLiteral("<item><title>T</title><content:encoded>a<![CDATA[<b>]]><!-- c "
                                "--><x>d<y>e<z/></y>f</x>g&amp;</content:encoded>"
                                "</item>")));
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QByteArray body;
    const ExportReadResult result =
        readExport(buffer, [&](ExportItem&& exportItem) { body = exportItem.bodyUtf8; });
    QVERIFY2(result.usable, qPrintable(result.problem.reason));
    QCOMPARE(body, QByteArray("a<b>defg&"));
}

// Long CDATA bodies are split on their way to libxml2; the body must still arrive character for
// character, with every ']', '>' and multi-byte character where it was, and fast.
void HostileExportTest::cdataBodyIsReadWhole_data()
{
    QTest::addColumn<QStringConverter::Encoding>("encoding");
    QTest::addColumn<int>("size");
    QTest::newRow("UTF-8, 12 MB") << QStringConverter::Utf8 << 12'000'000;
    QTest::newRow("UTF-16 little-endian") << QStringConverter::Utf16LE << 1'000'000;
    QTest::newRow("UTF-16 big-endian") << QStringConverter::Utf16BE << 1'000'000;
}

void HostileExportTest::cdataBodyIsReadWhole()
{
    QFETCH(QStringConverter::Encoding, encoding);
    QFETCH(int, size);

    QString body;
    for (int i = 0; body.size() < size; ++i)
        body += QStringLiteral(u"<p class=\"c\">%1 ]> ]] > é\U0001F600 </p>\n").arg(i);
    body += QLatin1Char(']');
    const QString declaration = QStringLiteral(R"(<?xml version="1.0" encoding="%1"?>)")
                                    .arg(encoding == QStringConverter::Utf8 ? "UTF-8" : "UTF-16");
    QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
    const QByteArray content =
        encoder(rss(item(QStringLiteral("T"), body), QString(), declaration));

    QFile file(dir_.filePath(QStringLiteral("long-cdata.xml")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();

    QElapsedTimer timer;
    timer.start();
    QByteArray read;
    const ExportReadResult result = readExport(
        file.fileName(), [&](ExportItem&& exportItem) { read = std::move(exportItem.bodyUtf8); });
    QVERIFY2(result.usable, qPrintable(result.problem.reason));
    QCOMPARE(result.itemCount, qint64(1));
    QCOMPARE(read.size(), body.toUtf8().size());
    QVERIFY(read == body.toUtf8());
    QVERIFY2(timer.elapsed() < hostile::secondsAllowed(5) * 1000,
             "a long CDATA body took too long");
}

HOSTILE_TEST_MAIN(HostileExportTest)
#include "tst_hostileexport.moc"
