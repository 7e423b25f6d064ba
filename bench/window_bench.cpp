// Measures the results list on large tables with the offscreen platform: filling it, sorting it,
// switching views and filtering it as the user types, against a list built the straightforward way
// (a QStandardItemModel holding copies of the cells, sorted and filtered by a stock
// QSortFilterProxyModel) on the same table. Then big posts: selecting the row of a 9 MB post in
// the window and opening its row view, and the same for cells of 60 MB.
//
//   QT_QPA_PLATFORM=offscreen build/bin/window-bench [ROWS] [BIG_POST_MB]

#include "analysis/libxmlinit.h"
#include "analysis/resulttables.h"
#include "view/detailpanel.h"
#include "view/resultsmodel.h"
#include "view/resultssortproxy.h"
#include "window/columnfit.h"
#include "window/form1.h"
#include "window/rowview.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QRandomGenerator>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTreeView>

#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

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

// The peer's model: every cell of the error table copied into a QStandardItem.
void fillStandardModel(QStandardItemModel& model, const ResultTables& tables)
{
    model.clear();
    model.setColumnCount(ErrorColumnCount);
    for (int row = 1; row <= tables.errorRowCount; ++row) {
        QList<QStandardItem*> items;
        for (int column = 0; column < ErrorColumnCount; ++column)
            items.append(new QStandardItem(tables.errorTable.cell(column, row)));
        model.appendRow(items);
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
    times.fill = seconds([&] {
        model.present(big.errorTable, ErrorColumnCount - 1, big.errorRowCount);
        // As the window's fill does: its numbers and its short texts set the columns' widths.
        widenColumnsToContent(view, model, ErrorContentColumn);
    });
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
        widenColumnsToContent(view, model, ErrorContentColumn);
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
    const auto load = [&model](const ResultTables& tables) { fillStandardModel(model, tables); };
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

// Typing "garden" letter by letter, then emptying the field, then the faults-only switch.
struct FilterTimes
{
    double firstLetter = 0;
    double slowestLetter = 0;
    double cleared = 0;
    double faultsOnly = 0;
};

const QStringList typed{"g", "ga", "gar", "gard", "garde", "garden"};

FilterTimes measurePostlintFilter(const ResultTables& tables, QTreeView& view)
{
    ResultsModel model;
    ResultsSortProxy proxy;
    proxy.setSourceModel(&model);
    view.setModel(&proxy);
    model.present(tables.errorTable, ErrorColumnCount - 1, tables.errorRowCount);
    proxy.setSortKey(ErrorTitleColumn);
    proxy.setSorted(true);
    FilterTimes times;
    for (const QString& text : typed) {
        const double t = seconds([&] { proxy.setFilter({text, -1, {}}); });
        times.firstLetter = times.firstLetter == 0 ? t : times.firstLetter;
        times.slowestLetter = std::max(times.slowestLetter, t);
    }
    times.cleared = seconds([&] { proxy.setFilter({}); });
    times.faultsOnly = seconds([&] {
        proxy.setFilter({QString(), ErrorCodeColumn, QStringLiteral("0")});
    });
    view.setModel(nullptr);
    return times;
}

FilterTimes measureStraightforwardFilter(const ResultTables& tables, QTreeView& view)
{
    QStandardItemModel model;
    fillStandardModel(model, tables);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setFilterKeyColumn(-1);
    proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    view.setModel(&proxy);
    proxy.sort(ErrorTitleColumn);
    FilterTimes times;
    for (const QString& text : typed) {
        const double t = seconds([&] { proxy.setFilterFixedString(text); });
        times.firstLetter = times.firstLetter == 0 ? t : times.firstLetter;
        times.slowestLetter = std::max(times.slowestLetter, t);
    }
    times.cleared = seconds([&] { proxy.setFilterFixedString(QString()); });
    times.faultsOnly = seconds([&] {
        proxy.setFilterKeyColumn(ErrorCodeColumn);
        proxy.setFilterRegularExpression(QStringLiteral("^(?!0$)"));
    });
    view.setModel(nullptr);
    return times;
}

void printFilter(const char* name, int rows, const FilterTimes& t)
{
    std::printf("%-26s %9d %8.3f %10.3f %9.3f %12.3f\n", name, rows, t.firstLetter, t.slowestLetter,
                t.cleared, t.faultsOnly);
}

qint64 statusMegabytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)))
                       .trimmed()
                       .split(' ')
                       .first()
                       .toLongLong() /
                   1024;
    }
    return -1;
}

// From here on VmHWM is the peak since this call.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void printBig(const char* name, qint64 megabytes, double select, double rowView, qint64 before,
              qint64 selectPeak, qint64 viewPeak)
{
    std::printf("%-26s %6lld MB %9.3f %12.3f %9lld MB %9lld MB %9lld MB\n", name, megabytes, select,
                rowView, before, selectPeak, viewPeak);
}

// The window on an export of a small post and a big one, faulty at its end, on lines of 100
// characters or on one line: the errors view, the big row selected, its row view opened. The
// reader takes a post of up to 10 MB (libxml2's limit on one text node).
void measureBigPostInWindow(int megabytes, bool oneLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.xml"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write("<rss xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"><channel>"
                   "<item><title>small</title><content:encoded>&lt;p/&gt;</content:encoded></item>"
                   "<item><title>big</title><content:encoded><![CDATA[<p>");
        const QByteArray line = QByteArray(oneLine ? 100 : 99, 'x') + (oneLine ? "" : "\n");
        for (qint64 written = 0; written < qint64(megabytes) * 1000 * 1000; written += line.size())
            file.write(line);
        file.write("<br></p>]]></content:encoded></item></channel></rss>");
    }
    Form1 window;
    window.show();
    window.checkExport(path);
    window.findChild<QRadioButton*>(QStringLiteral("OptionErrors"))->click();
    auto* list = window.findChild<QTreeView*>(QStringLiteral("ListView1"));
    QApplication::processEvents();
    const qint64 before = statusMegabytes("VmRSS:");
    resetPeakMemory();
    const double select = seconds([&] { list->setCurrentIndex(list->model()->index(1, 0)); });
    const qint64 selectPeak = statusMegabytes("VmHWM:");
    resetPeakMemory();
    const double rowView = seconds([&] { emit list->doubleClicked(list->currentIndex()); });
    printBig(oneLine ? "window, one line" : "window, lines of 100",
             QFileInfo(path).size() / (1000 * 1000), select, rowView, before, selectPeak,
             statusMegabytes("VmHWM:"));
}

// Past the reader's limit, the panel and the row view on their own: a table whose body and source
// cells hold megabytes MB, the panel's eight boxes filled from the row, the row view opened on it.
void measureBigCell(int megabytes, bool oneLine)
{
    const QByteArray line = QByteArray(oneLine ? 100 : 99, 'x') + (oneLine ? "" : "\n");
    const QByteArray body = line.repeated(qsizetype(megabytes) * 1000 * 1000 / line.size());
    ResultTable table;
    table.reset(ErrorColumnCount);
    for (int column = 0; column < ErrorColumnCount; ++column)
        table.setCell(column, 0, errorTableDescription().columns[size_t(column)].header);
    table.appendRow();
    table.setCell(ErrorTitleColumn, 1, QStringLiteral("big"));
    table.setCell(ErrorContentColumn, 1, CellText::fromUtf8(body));
    table.setCell(ErrorSourceColumn, 1, CellText::fromUtf8(oneLine ? body : line));
    ResultsModel model;
    model.present(table, ErrorColumnCount - 1, 1);
    QWidget panel;
    std::array<QLineEdit*, detailSlotCount> boxes{};
    for (QLineEdit*& box : boxes) {
        box = new QLineEdit(&panel);
        box->setMaxLength(std::numeric_limits<int>::max());
    }
    panel.show();
    const qint64 before = statusMegabytes("VmRSS:");
    resetPeakMemory();
    const double select = seconds([&] {
        const DetailTexts texts = detailTexts(model, 0);
        for (int slot = 0; slot < detailSlotCount; ++slot)
            boxes[size_t(slot)]->setText(texts[size_t(slot)]);
    });
    const qint64 selectPeak = statusMegabytes("VmHWM:");
    resetPeakMemory();
    std::unique_ptr<RowView> view;
    const double rowView = seconds([&] {
        RowContent content;
        for (int column = 0; column < ErrorColumnCount; ++column) {
            content.headers.append(model.headerData(column, Qt::Horizontal).toString());
            content.cells.append(model.cellText(0, column));
        }
        content.bodyColumn = ErrorContentColumn;
        content.faultLine = oneLine ? 1 : body.count('\n');
        content.faultColumn = oneLine ? body.size() : 50;
        view = std::make_unique<RowView>(content);
        view->show();
    });
    printBig(oneLine ? "cells alone, one line" : "cells alone, lines of 100", megabytes, select,
             rowView, before, selectPeak, statusMegabytes("VmHWM:"));
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
    libxml::initialize();
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const int bigCellMegabytes = argc > 2 ? QByteArray(argv[2]).toInt() : 60;
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

    std::printf("\n%-26s %9s %8s %10s %9s %12s\n", "filter (typing \"garden\")", "rows", "1st s",
                "slowest s", "cleared s", "faults only");
    printFilter("straightforward", peerRows, measureStraightforwardFilter(peerBig, view));
    printFilter("Postlint", peerRows, measurePostlintFilter(peerBig, view));
    if (rows != peerRows)
        printFilter("Postlint", rows, measurePostlintFilter(big, view));

    std::printf("\n%-26s %9s %9s %12s %12s %12s %12s\n", "big post in the window", "export",
                "select s", "row view s", "RSS before", "peak select", "peak view");
    measureBigPostInWindow(9, false);
    measureBigPostInWindow(9, true);
    measureBigCell(bigCellMegabytes, false);
    measureBigCell(bigCellMegabytes, true);
    return 0;
}
