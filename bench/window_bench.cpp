// Measures the results list on large tables with the offscreen platform: filling it, sorting it
// and switching views, against a list built the straightforward way (a QStandardItemModel holding
// copies of the cells, sorted by a stock QSortFilterProxyModel) on the same table.
//
//   QT_QPA_PLATFORM=offscreen build/bin/window-bench [ROWS]

#include "analysis/resulttables.h"
#include "view/resultsmodel.h"
#include "view/resultssortproxy.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QRandomGenerator>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTreeView>

#include <cstdio>
#include <functional>

namespace {

const QStringList words =
    QStringLiteral("lorem ipsum dolor sit amet garden recipe travel review update "
                   "photo gallery week notes release chapter café naïve Ærø 語")
        .split(QLatin1Char(' '));

// An error table shaped like a real run's: titles of a few words, a body, faults on every fifth.
void fillErrorTable(ResultTables& tables, int rows, quint32 seed)
{
    QRandomGenerator random(seed);
    tables.reset();
    const QByteArray body =
        QByteArrayLiteral("<p>lorem ipsum dolor sit amet</p><a href=\"x\">y</a>");
    for (int i = 0; i < rows; ++i) {
        const int row = tables.appendErrorRow();
        QString title = words.at(random.bounded(words.size()));
        for (int w = random.bounded(1, 6); w > 0; --w)
            title += QLatin1Char(' ') + words.at(random.bounded(words.size()));
        ResultTable& table = tables.errorTable;
        table.setCell(ErrorTitleColumn, row, title + QLatin1Char(' ') + QString::number(i));
        table.setCell(ErrorContentColumn, row, CellText::fromUtf8(body));
        const bool faulty = i % 5 == 0;
        table.setCell(ErrorCodeColumn, row, faulty ? QStringLiteral("26") : QStringLiteral("0"));
        table.setCell(ErrorReasonColumn, row,
                      faulty ? QStringLiteral("Entity 'nbsp' not defined") : QString());
        table.setCell(ErrorLineColumn, row, QString::number(faulty ? random.bounded(1, 300) : 0));
        table.setCell(ErrorPosColumn, row, QString::number(faulty ? random.bounded(1, 2000) : 0));
    }
}

double seconds(const std::function<void()>& step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    QApplication::processEvents(); // the first paint of what the step changed
    return double(timer.nsecsElapsed()) / 1e9;
}

struct Times
{
    double fill = 0;
    double sortTitle = 0;
    double sortLine = 0;
    double switchView = 0;
};

Times measurePostlint(const ResultTables& big, const ResultTables& other, QTreeView& view)
{
    ResultsModel model;
    ResultsSortProxy proxy;
    proxy.setSourceModel(&model);
    view.setModel(&proxy);
    Times times;
    times.fill =
        seconds([&] { model.present(big.errorTable, ErrorColumnCount - 1, big.errorRowCount); });
    times.sortTitle = seconds([&] {
        proxy.setSortKey(ErrorTitleColumn);
        proxy.setSortOrder(Qt::DescendingOrder);
        proxy.setSorted(true);
    });
    times.sortLine = seconds([&] {
        proxy.setSortKey(ErrorLineColumn);
        proxy.setSortOrder(Qt::AscendingOrder);
        proxy.setSorted(true);
    });
    times.switchView = seconds([&] {
        proxy.setSorted(false);
        model.present(other.errorTable, ErrorColumnCount - 1, other.errorRowCount);
        proxy.setSorted(true);
    });
    view.setModel(nullptr);
    return times;
}

Times measureStraightforward(const ResultTables& big, const ResultTables& other, QTreeView& view)
{
    QStandardItemModel model;
    QSortFilterProxyModel proxy;
    proxy.setSortCaseSensitivity(Qt::CaseInsensitive);
    proxy.setSortLocaleAware(true);
    proxy.setSourceModel(&model);
    view.setModel(&proxy);
    const auto load = [&model](const ResultTables& tables) {
        model.clear();
        model.setColumnCount(ErrorColumnCount);
        for (int row = 1; row <= tables.errorRowCount; ++row) {
            QList<QStandardItem*> items;
            for (int column = 0; column < ErrorColumnCount; ++column)
                items.append(new QStandardItem(tables.errorTable.cell(column, row)));
            model.appendRow(items);
        }
    };
    Times times;
    times.fill = seconds([&] { load(big); });
    times.sortTitle = seconds([&] { proxy.sort(ErrorTitleColumn, Qt::DescendingOrder); });
    times.sortLine = seconds([&] { proxy.sort(ErrorLineColumn, Qt::AscendingOrder); });
    times.switchView = seconds([&] {
        load(other);
        proxy.sort(ErrorLineColumn, Qt::AscendingOrder);
    });
    view.setModel(nullptr);
    return times;
}

void print(const char* name, int rows, const Times& t, const Times* peer)
{
    std::printf("%-26s %9d %8.3f %10.3f %9.3f %12.3f", name, rows, t.fill, t.sortTitle, t.sortLine,
                t.switchView);
    if (peer != nullptr)
        std::printf("   %5.1fx %5.1fx %5.1fx %5.1fx", peer->fill / t.fill,
                    peer->sortTitle / t.sortTitle, peer->sortLine / t.sortLine,
                    peer->switchView / t.switchView);
    std::printf("\n");
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const int peerRows = std::min(rows, 100000);

    QTreeView view;
    view.setUniformRowHeights(true);
    view.setRootIsDecorated(false);
    view.resize(660, 200);
    view.show();

    ResultTables big, peerBig, other;
    fillErrorTable(big, rows, 1);
    fillErrorTable(peerBig, peerRows, 1);
    fillErrorTable(other, 100000, 2);

    std::printf("%-26s %9s %8s %10s %9s %12s   %s\n", "list", "rows", "fill s", "sort title",
                "sort line", "switch 100k",
                "speed-up over the straightforward list (fill, sorts, switch)");
    const Times peer = measureStraightforward(peerBig, other, view);
    print("straightforward", peerRows, peer, nullptr);
    const Times same = measurePostlint(peerBig, other, view);
    print("Postlint", peerRows, same, &peer);
    if (rows != peerRows)
        print("Postlint", rows, measurePostlint(big, other, view), nullptr);
    return 0;
}
