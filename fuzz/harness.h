#pragma once

// What each fuzz target does with one input, shared with the test that replays the inputs the
// fuzzers once broke on. Each returns the invariant that failed, or null.

#include "analysis/bodylocator.h"
#include "analysis/errornarrowing.h"
#include "analysis/exportreader.h"
#include "analysis/postcheck.h"
#include "analysis/resulttables.h"
#include "analysis/wrappername.h"
#include "audit/exportaudit.h"
#include "audit/postscan.h"
#include "export/tabdelimited.h"

#include <QBuffer>

#include <cstdint>
#include <cstring>

namespace fuzzharness {

// A device that refuses every write, quietly.
class RefusingDevice : public QIODevice
{
public:
    RefusingDevice() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override { return -1; }
};

#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition))                                                                          \
            return #condition;                                                                     \
    } while (false)

// The input's first line is the dummy tag name, the rest the body. The report is recorded into
// fresh tables and narrowed, as a run does with it.
inline const char* postCheck(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QString tag = QString::fromUtf8(lineEnd < 0 ? input : input.left(lineEnd));
    const QByteArray body = lineEnd < 0 ? QByteArray() : input.mid(lineEnd + 1);

    // Checked twice by one checker, as a worker checks post after post: the parser it keeps
    // must leave nothing behind that changes the next report.
    PostChecker checker(tag);
    const PostReport report = checker.check(body);
    const PostReport again = checker.check(body);
    FUZZ_REQUIRE(again.errorCode == report.errorCode && again.reason == report.reason);
    FUZZ_REQUIRE(again.line == report.line && again.pos == report.pos);
    FUZZ_REQUIRE(again.bodyOffset == report.bodyOffset &&
                 again.links.size() == report.links.size());
    FUZZ_REQUIRE(report.errorCode != 0 || report.reason.isEmpty());
    FUZZ_REQUIRE(report.errorCode == 0 || report.links.empty());

    ResultTables tables;
    tables.reset();
    recordPost(tables, QStringLiteral("title"), CellText::fromUtf8(body), report);
    FUZZ_REQUIRE(tables.errorRowCount == 1);
    FUZZ_REQUIRE(tables.linkRowCount == int(report.links.size()));
    FUZZ_REQUIRE(tables.linkLastColumn >= 1 && tables.linkLastColumn < LinkColumnCount);

    const QString source = QString::fromUtf8(report.sourceUtf8);
    const QString narrowed = narrowAround(source, report.pos);
    FUZZ_REQUIRE(narrowed.size() <= 21);
    FUZZ_REQUIRE(narrowed.isEmpty() || source.contains(narrowed));

    // The audit's readings of the same body: beside its check, handed between the check's parse
    // and the lenient one at each fault, and lenient throughout. Each URL lies in its scan. Both
    // programs refuse a wrapper name that is not one, which would bring markup of its own.
    if (!wrapperNameProblem(tag).isEmpty())
        return nullptr;
    ExportItem item;
    item.bodyUtf8 = body;
    item.permalink = QStringLiteral("https://example.com/post/");
    const std::unique_ptr<BodyReading> reading = postScanReadings(true)();
    const PostReport followed = checker.check(item, reading.get());
    FUZZ_REQUIRE(followed.errorCode == report.errorCode);
    const PostScan* beside = std::any_cast<PostScan>(&followed.reading);
    FUZZ_REQUIRE(beside != nullptr);
    const PostScan whole = HtmlPostReader().scan(body);
    for (const PostScan* scan : {beside, &whole}) {
        FUZZ_REQUIRE(scan->prepared.empty() || scan->prepared.size() == scan->urls.size());
        for (const ScannedUrl& url : scan->urls) {
            FUZZ_REQUIRE(url.textStart >= 0 && url.textLength >= 0 &&
                         size_t(url.textStart + url.textLength) <= scan->urlText.size());
            FUZZ_REQUIRE(url.element < quint32(scan->names.size()) &&
                         url.attribute < quint32(scan->names.size()));
        }
    }
    return nullptr;
}

// Keeps nothing of the audit's findings but whether each is whole.
class CheckedFindings : public AuditSink
{
public:
    void addFinding(const AuditFinding& finding) override
    {
        if (finding.check.isEmpty() || finding.exportLine < 0 || finding.bodyLine < 0)
            broken = "a finding without its check or with a place before the start";
    }
    bool keepsUrls() const override { return true; }
    const char* broken = nullptr;
};

// Arbitrary file bytes through the export reader, every item checked and audited as a run does
// it. The bytes are read through a QBuffer: the same reader the file path uses, minus the file.
// Each body's characters are placed in the export as the audit places them, read a second time
// as the programs read it.
inline const char* exportReader(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QBuffer again(&bytes);
    again.open(QIODevice::ReadOnly);
    BodyStartReader bodyStarts(again);

    ResultTables tables;
    tables.reset();
    PostChecker checker(QStringLiteral("dummy"));
    const std::unique_ptr<BodyReading> reading = postScanReadings()();
    CheckedFindings findings;
    std::unique_ptr<ExportAudit> audit;
    const auto onChannel = [&](const ExportChannel& channel) {
        audit = std::make_unique<ExportAudit>(siteInfoOf(channel), findings);
    };
    const char* misplaced = nullptr;
    const auto onItem = [&](ExportItem&& item) {
        const PostReport report = checker.check(item, reading.get());
        recordPost(tables, item.title, CellText::fromUtf8(item.bodyUtf8), report);
        const QByteArray& body = item.bodyUtf8;
        const ExportPosition start = bodyStarts.next();
        BodyPlaces places = bodyStarts.placesOf(start, body);
        if (!audit)
            onChannel({});
        AuditItem audited = auditItemOf(item, places.first());
        audited.places = &places;
        audit->addItem(audited, report.reading);
        for (const qsizetype offset : {qsizetype(0), body.size() / 2, body.size() - 1}) {
            // Not within a character, nor the LF of a CR LF, which ends the line with the CR.
            if (offset < 0 || offset >= body.size() ||
                (static_cast<unsigned char>(body[offset]) & 0xC0) == 0x80 ||
                (offset > 0 && body[offset] == '\n' && body[offset - 1] == '\r'))
                continue;
            LineCounter counter;
            counter.advance(body.constData(), offset);
            const ExportPosition expected =
                locateInExport(again, start, body, offset, bodyStarts.heldFrom(start.offset));
            if (expected.isKnown() &&
                places.at(counter.position().line, counter.position().column) !=
                    std::pair(expected.line, expected.column))
                misplaced = "a body's character placed where locateInExport() does not place it";
        }
    };
    const ExportReadResult result = readExport(buffer, onItem, onChannel);
    if (audit)
        audit->finish();
    FUZZ_REQUIRE(findings.broken == nullptr);
    FUZZ_REQUIRE(misplaced == nullptr);
    FUZZ_REQUIRE(result.itemCount == tables.errorRowCount);
    FUZZ_REQUIRE(result.usable || !result.problem.reason.isEmpty());
    return nullptr;
}

inline const char* checkCut(const QString& text)
{
    const QString cut = getToFirstBadChr(text);
    FUZZ_REQUIRE(text.startsWith(cut));
    for (const QChar character : cut)
        FUZZ_REQUIRE(character.unicode() <= 0xFF);
    FUZZ_REQUIRE(cut.size() == text.size() || text.at(cut.size()).unicode() > 0xFF);
    return nullptr;
}

// A table built from the input: the first byte picks the last column, the rest is UTF-16 text
// split into cells at U+001F, filled row by row; written to a buffer and to a refusing device.
inline const char* tabDelimited(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return nullptr;
    const int columnCount = LinkColumnCount;
    const int lastColumn = data[0] % columnCount;
    QString text(qsizetype((size - 1) / 2), Qt::Uninitialized);
    std::memcpy(text.data(), data + 1, size_t(text.size()) * 2);
    const QStringList cells = text.split(QChar(0x1F));

    ResultTable table;
    table.reset(columnCount);
    int row = 0;
    int column = 0;
    for (const QString& cell : cells) {
        if (const char* failure = checkCut(cell))
            return failure;
        table.setCell(column, row, cell);
        if (++column > lastColumn) {
            column = 0;
            table.appendRow();
            ++row;
        }
    }
    const int rowCount = table.rowCount() - 1;

    QByteArray output;
    QBuffer buffer(&output);
    buffer.open(QIODevice::WriteOnly);
    FUZZ_REQUIRE(writeTabDelimited(buffer, {table, lastColumn, rowCount}));

    // Whatever the cells hold, one CR LF ends each of the rowCount + 1 lines, and every line
    // holds lastColumn TABs.
    const QList<QByteArray> lines = output.split('\n');
    FUZZ_REQUIRE(lines.size() == rowCount + 2 && lines.last().isEmpty());
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        FUZZ_REQUIRE(lines.at(i).endsWith('\r') && lines.at(i).count('\r') == 1);
        FUZZ_REQUIRE(lines.at(i).count('\t') == lastColumn);
    }

    // A device that refuses writes is reported, never taken for success.
    RefusingDevice refusing;
    FUZZ_REQUIRE(!writeTabDelimited(refusing, {table, lastColumn, rowCount}));
    return nullptr;
}

#undef FUZZ_REQUIRE

} // namespace fuzzharness
