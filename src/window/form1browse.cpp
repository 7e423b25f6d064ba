// What the window offers beyond its design: the find bar, copying rows, the row view, dropping a
// file, never exporting onto a checked export, stopping a run by closing, and fitting a screen
// smaller than the design.
#include "form1.h"

#include "findbar.h"
#include "rowview.h"
#include "runprogress.h"
#include "twips.h"

#include "analysis/tablecolumns.h"
#include "analysis/textpositions.h"
#include "export/outputpaths.h"
#include "view/resultsmodel.h"
#include "view/resultssortproxy.h"
#include "view/rowcopy.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <tuple>

namespace {

QAction* newAction(QWidget* owner, const QString& text, const QList<QKeySequence>& keys,
                   Qt::ShortcutContext context)
{
    auto* action = new QAction(text, owner);
    action->setShortcuts(keys);
    action->setShortcutContext(context);
    owner->addAction(action);
    return action;
}

// The one local file a drag carries, or nothing.
QString draggedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().front().isLocalFile())
        return {};
    return data->urls().front().toLocalFile();
}

} // namespace

void Form1::createBrowsingTools()
{
    findBar_->setFaultsOnlyAvailable(OptionErrors->isChecked());
    // Filtering a million rows takes a noticeable moment: keys typed meanwhile are taken
    // together, the timer firing only once every queued key has been handled.
    auto* filterTimer = new QTimer(this);
    filterTimer->setSingleShot(true);
    filterTimer->setInterval(0);
    connect(filterTimer, &QTimer::timeout, this, &Form1::applyFilter);
    connect(findBar_, &FindBar::filterChanged, filterTimer, qOverload<>(&QTimer::start));
    connect(findBar_, &FindBar::closed, this, [this, filterTimer] {
        setFindBarShown(false);
        // At once rather than on the timer: the panel and the list must agree on the row that is
        // current now that every row is back, and the list shows it wherever it now stands.
        filterTimer->stop();
        applyFilter();
        ListView1->scrollTo(ListView1->currentIndex());
        ListView1->setFocus();
    });
    auto* closeFind = new QShortcut(QKeySequence(Qt::Key_Escape), ListView1, nullptr, nullptr,
                                    Qt::WidgetShortcut);
    connect(closeFind, &QShortcut::activated, this, [this] {
        if (!findBar_->isHidden())
            findBar_->close();
    });
    QAction* faultsOnly = newAction(this, QStringLiteral("Faults &only"),
                                    {QKeySequence(Qt::ALT | Qt::Key_O)}, Qt::WindowShortcut);
    faultsOnly->setObjectName(QStringLiteral("FaultsOnlyAction"));
    connect(faultsOnly, &QAction::triggered, this, &Form1::toggleFaultsOnly);

    // Everything here is also in the list's context menu, so that a mouse reaches it too.
    ListView1->setContextMenuPolicy(Qt::ActionsContextMenu);
    QAction* copy = newAction(ListView1, QStringLiteral("&Copy Rows"), {QKeySequence::Copy},
                              Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &Form1::copySelectedRows);
    QAction* view =
        newAction(ListView1, QStringLiteral("&View Whole Row"),
                  {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}, Qt::WidgetShortcut);
    connect(view, &QAction::triggered, this, &Form1::openRowView);
    connect(ListView1, &QTreeView::doubleClicked, this, &Form1::openRowView);
    QAction* all = newAction(ListView1, QStringLiteral("Select &All"), {QKeySequence::SelectAll},
                             Qt::WidgetShortcut);
    connect(all, &QAction::triggered, ListView1, &QTreeView::selectAll);
    QAction* find =
        newAction(this, QStringLiteral("&Find…"), {QKeySequence::Find}, Qt::WindowShortcut);
    ListView1->addAction(find);
    connect(find, &QAction::triggered, this, [this] {
        setFindBarShown(true);
        findBar_->open();
    });
    // Shift+F10 opens the list's menu as the right mouse button does; the window system reports
    // the Menu key as a keyboard context-menu event, which takes the same way.
    auto* menu = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), ListView1, nullptr, nullptr,
                               Qt::WidgetShortcut);
    connect(menu, &QShortcut::activated, this, &Form1::openListMenu);
    ListView1->installEventFilter(this);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView1 && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        openListMenu();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Only in the errors view; it opens the bar if need be. Typing goes on where it was: in the find
// box, or else in the list, never in the switch, where keys would be lost.
void Form1::toggleFaultsOnly()
{
    if (!findBar_->faultsOnlyAvailable())
        return;
    const bool inFindBox = findBar_->typingInFindBox();
    setFindBarShown(true);
    findBar_->toggleFaultsOnly();
    if (!inFindBox)
        ListView1->setFocus(Qt::ShortcutFocusReason);
}

// At the current row, not where the mouse happens to be nor where the system guesses a text
// cursor would be.
void Form1::openListMenu()
{
    const QModelIndex current = ListView1->currentIndex();
    QPoint at = ListView1->viewport()->rect().center();
    if (current.isValid()) {
        ListView1->scrollTo(current);
        const QRect row = ListView1->visualRect(current);
        at = QPoint(std::max(row.left(), 0) + row.height() / 2, row.bottom());
    }
    QMenu::exec(ListView1->actions(), ListView1->viewport()->mapToGlobal(at), nullptr, ListView1);
}

// At 100 % the design fits any screen; at 150 % or 200 % it may not, and a window larger than
// its screen has its buttons out of reach. Below the design's size the right-hand controls slide
// left over the options row, which they may do until they meet the closing label's text; the list
// shrinks to a few rows, and then the detail panel to two of its rows, with a scroll bar for the
// others.
void Form1::fitToScreen()
{
    const int labelEnd = LabelDummy->x() + LabelDummy->sizeHint().width() + 4;
    const int slack = std::max(0, OptionLinks->x() - labelEnd);

    // Three rows, under the header and over the scroll bar that columns wider than the list
    // bring; a row is the text's height and the item's margins.
    const int rowHeight = ListView1->fontMetrics().height() + 6;
    heightShare_.listMinimum =
        2 * ListView1->frameWidth() + ListView1->header()->sizeHint().height() + 3 * rowHeight +
        ListView1->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ListView1);
    heightShare_.gap = detailPanel_->y() - ListView1->geometry().bottom() - 1;
    heightShare_.panelHeight = detailPanel_->height();
    heightShare_.bottomMargin = height() - detailPanel_->geometry().bottom() - 1;
    const int twoPanelRows = texts_[1]->geometry().bottom() + 1;
    // The find bar may open at the smallest size: it takes its height from the list's top.
    const int smallest = ListView1->y() + findBar_->sizeHint().height() + heightShare_.listMinimum +
                         heightShare_.gap + twoPanelRows + heightShare_.bottomMargin;
    setMinimumSize(width() - slack, std::min(height(), smallest));

    if (const QScreen* screen = this->screen())
        resize(size().boundedTo(screen->availableGeometry().size()).expandedTo(minimumSize()));
}

void Form1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (shownBefore_)
        return;
    shownBefore_ = true;
    // The frame is known once the window system has decorated the window.
    QTimer::singleShot(0, this, [this] {
        const QScreen* screen = this->screen();
        if (!screen || isMaximized())
            return;
        const QSize frame = frameGeometry().size() - size();
        const QSize fits = screen->availableGeometry().size() - frame;
        if (width() > fits.width() || height() > fits.height())
            resize(size().boundedTo(fits).expandedTo(minimumSize()));
    });
}

void Form1::followResizeBeyondDesign()
{
    // The closing label gives up the part of its width that the options slide over.
    const int designWidth = toPixels(2055);
    LabelDummy->resize(std::clamp(OptionLinks->x() - LabelDummy->x(), 0, designWidth),
                       LabelDummy->height());
    if (findBarHeight_ > 0)
        findBar_->setGeometry(ListView1->x(), ListView1->y() - findBarHeight_, ListView1->width(),
                              findBarHeight_);
    shareHeightWithPanel();
}

void Form1::shareHeightWithPanel()
{
    shareHeight(*ListView1, *detailPanel_, height(), heightShare_);
}

void Form1::setFindBarShown(bool shown)
{
    // The bar's height is taken from the list while the bar is open, and 0 while it is closed.
    if (shown == (findBarHeight_ > 0))
        return;
    QRect list = ListView1->geometry();
    if (shown) {
        findBarHeight_ = findBar_->sizeHint().height();
        findBar_->setGeometry(list.x(), list.y(), list.width(), findBarHeight_);
        list.setTop(list.top() + findBarHeight_);
        findBar_->show();
    } else {
        list.setTop(list.top() - findBarHeight_);
        findBarHeight_ = 0;
        findBar_->hide();
    }
    ListView1->setGeometry(list);
    shareHeightWithPanel();
}

void Form1::closeEvent(QCloseEvent* event)
{
    // A run holds this thread: it is told to stop, and the window closes once it has.
    if (activeRun_) {
        activeRun_->requestCancel();
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

// The export checked in this window that path would replace, the one on show first.
QString Form1::checkedExportAt(const QString& path) const
{
    const FileIdentity output = identifyPath(path);
    QStringList candidates = checkedExports_;
    if (!shownExport_.isEmpty())
        candidates.prepend(shownExport_);
    for (const QString& checked : std::as_const(candidates))
        if (findOutputClash(identifyPath(checked), {output}).kind == OutputClash::OverwritesInput)
            return checked;
    return {};
}

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    if (!draggedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event)
{
    const QString path = draggedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // After the drop has ended: the program the file came from waits for it.
    QTimer::singleShot(0, this, [this, path] { checkExport(path); });
}

int Form1::currentSourceRow() const
{
    const QItemSelectionModel* selection = ListView1->selectionModel();
    QModelIndex shown = selection->currentIndex();
    if (!shown.isValid() || !selection->isRowSelected(shown.row())) {
        const QModelIndexList selected = selection->selectedRows();
        shown = selected.isEmpty() ? QModelIndex() : selected.constFirst();
    }
    return shown.isValid() ? proxy_->mapToSource(shown).row() : -1;
}

RowFilter Form1::filterFor(Shown view) const
{
    RowFilter filter;
    filter.text = findBar_->isHidden() ? QString() : findBar_->text();
    if (view == Shown::Errors && findBar_->faultsOnly()) {
        filter.hiddenColumn = ErrorCodeColumn;
        filter.hiddenValue = QStringLiteral("0");
    }
    return filter;
}

void Form1::applyFilter()
{
    proxy_->setFilter(filterFor(shown()));
    showFilterCount();
    // The panel shows a row on show: when the filter took the selected one away, the top one.
    if (currentSourceRow() < 0 && proxy_->rowCount() > 0)
        ListView1->selectionModel()->setCurrentIndex(
            proxy_->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    showSelected();
}

void Form1::showFilterCount()
{
    findBar_->showCount(proxy_->rowCount(), model_->rowCount());
}

void Form1::copySelectedRows()
{
    QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<int> rows;
    rows.reserve(size_t(selected.size()));
    for (const QModelIndex& index : selected)
        rows.push_back(proxy_->mapToSource(index).row());
    if (!rows.empty())
        QGuiApplication::clipboard()->setText(rowsAsText(*model_, rows));
}

void Form1::openRowView()
{
    const int row = currentSourceRow();
    if (row < 0)
        return;
    RowContent content;
    for (int column = 0; column < model_->columnCount(); ++column) {
        content.headers.append(model_->headerData(column, Qt::Horizontal).toString());
        content.cells.append(model_->cellText(row, column));
    }
    content.title = content.cells.value(0);
    content.bodyColumn = BodyColumn;
    const bool errors = shown() == Shown::Errors;
    const std::optional<qint64> faultOffset =
        errors ? model_->rowNumber(row, ErrorBodyOffsetNumber) : std::nullopt;
    if (faultOffset && *faultOffset >= 0)
        std::tie(content.faultLine, content.faultColumn) = textpositions::lineAndUtf16Column(
            model_->cell(row, ErrorContentColumn).toUtf8(), *faultOffset);
    // A finding keeps its place in the body beside the export's that its row shows.
    const std::optional<qint64> findingLine =
        shown() == Shown::Findings ? model_->rowNumber(row, FindingBodyLineNumber) : std::nullopt;
    if (findingLine && *findingLine > 0) {
        content.faultLine = *findingLine;
        content.faultColumn = model_->rowNumber(row, FindingBodyColumnNumber).value_or(1);
    }
    delete rowView_;
    rowView_ = new RowView(content, this);
    rowView_->setAttribute(Qt::WA_DeleteOnClose);
    rowView_->show();
}
