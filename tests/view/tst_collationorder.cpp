#include "view/collationorder.h"

#include <QCollator>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <numeric>

// The list's order must be exactly QCollator's case-insensitive order, however it is computed.
class CollationOrderTest : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheCollator_data();
    void matchesTheCollator();
    void equalTextsKeepTableOrder();
};

namespace {

// The order a straightforward stable sort with QCollator gives.
std::vector<int> collatorOrder(const QStringList& texts, Qt::SortOrder order)
{
    QCollator collator{QLocale(QLocale::English)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<int> rows(size_t(texts.size()));
    std::iota(rows.begin(), rows.end(), 0);
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        const int result = collator.compare(texts[a], texts[b]);
        return order == Qt::AscendingOrder ? result < 0 : result > 0;
    });
    return rows;
}

} // namespace

void CollationOrderTest::matchesTheCollator_data()
{
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("case, accents, numbers as text") << QStringList{
        "beans",  "Café – menu", "carrots", "Apples", "cafe",  "CAFE",   "10", "9", "",
        "apples", "Ærø",         "zebra",   "_under", "-dash", " space", "é",  "e", "É"};
    QTest::newRow("scripts and symbols")
        << QStringList{"語", "日本", "😀", "✓", "€", "a", "Ω", "ω", "я", "Я"};

    // Long texts are keyed by their start only; the rest must still decide.
    const QString start(120, QLatin1Char('x'));
    QTest::newRow("long texts that differ late") << QStringList{
        start + "b", start + "a", start + "B", start, start + "é", start + "e", "x", start + "c"};
    QTest::newRow("long texts differing in accents early and letters late")
        << QStringList{"é" + start + "a", "e" + start + "b", "e" + start + "a", "é" + start + "b"};

    QRandomGenerator random(7);
    const QStringList words{"lorem", "Ipsum", "dolor", "café", "naïve",
                            "Ærø",   "語",    "10",    "9",    "-"};
    QStringList generated;
    for (int i = 0; i < 20000; ++i) {
        QString text;
        for (int w = random.bounded(1, 40); w > 0; --w)
            text += words.at(random.bounded(words.size())) + QLatin1Char(' ');
        generated << text;
    }
    QTest::newRow("20 000 generated, some past the key limit") << generated;
}

void CollationOrderTest::matchesTheCollator()
{
    QFETCH(QStringList, texts);
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        const std::vector<int> rows = collationOrder(
            int(texts.size()), [&](int row) { return texts.at(row); }, order,
            QLocale(QLocale::English));
        QCOMPARE(rows, collatorOrder(texts, order));
    }
}

void CollationOrderTest::equalTextsKeepTableOrder()
{
    const QStringList texts{"b", "A", "a", "B", "a"};
    const auto order = [&](Qt::SortOrder direction) {
        return collationOrder(
            int(texts.size()), [&](int row) { return texts.at(row); }, direction);
    };
    QCOMPARE(order(Qt::AscendingOrder), (std::vector<int>{1, 2, 4, 0, 3}));
    QCOMPARE(order(Qt::DescendingOrder), (std::vector<int>{0, 3, 1, 2, 4}));
}

QTEST_GUILESS_MAIN(CollationOrderTest)
#include "tst_collationorder.moc"
