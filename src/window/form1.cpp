#include "form1.h"

#include "busycursor.h"
#include "findbar.h"
#include "qtdialogs.h"
#include "resizelayout.h"
#include "runprogress.h"
#include "runsummary.h"
#include "twips.h"
#include "windowtexts.h"

#include "analysis/analysisrun.h"
#include "analysis/linkcolumns.h"
#include "analysis/wrappername.h"
#include "export/outputpaths.h"
#include "view/detailpanel.h"
#include "view/resultsmodel.h"
#include "view/resultssortproxy.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTreeView>

#include <algorithm>
#include <limits>
#include <system_error>

namespace {

constexpr TwipsRect clientArea{0, 0, 10320, 8610};
constexpr int detailPanelTop = 4680;
constexpr int detailPanelHeight = 7 * 480 + 375;

template <typename Control>
Control* designed(QWidget* form, const QString& name, const TwipsRect& rect)
{
    auto* control = new Control(form);
    control->setObjectName(name);
    setTwipsGeometry(*control, rect);
    return control;
}

QLabel* designedLabel(QWidget* form, const QString& name, const QString& caption,
                      const TwipsRect& rect)
{
    auto* label = designed<QLabel>(form, name, rect);
    // A caption such as "></dummy>" is text, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(caption);
    return label;
}

QLineEdit* designedTextBox(QWidget* form, const QString& name, const TwipsRect& rect)
{
    auto* box = designed<QLineEdit>(form, name, rect);
    // A detail box holds a whole post body, far beyond QLineEdit's default cut at 32767.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

} // namespace

void Form1::showFromStart(QLineEdit* box, const QString& text)
{
    box->setText(text);
    box->setCursorPosition(0);
}

Form1::Form1(std::unique_ptr<UserDialogs> dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(std::move(dialogs))
{
    if (!dialogs_)
        dialogs_ = std::make_unique<QtDialogs>(this);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(WindowTexts::caption);
    setWindowIcon(QIcon(QStringLiteral(":/icons/postlint.svg")));
    setAcceptDrops(true);
    openFolder_ = QCoreApplication::applicationDirPath();
    const QSize designSize(toPixels(clientArea.width), toPixels(clientArea.height));
    resize(designSize);

    createControls();
    Form_Load();
    connectHandlers();
    createBrowsingTools();
    createAuditTools();
    fitToScreen();
}

Form1::~Form1()
{
    // The list is a child widget and outlives the tables, which go first with the members; it may
    // still lay itself out while the window closes, so it must no longer present them.
    model_->clearItems();
}

void Form1::createControls()
{
    TextPath = designedTextBox(this, QStringLiteral("TextPath"), {240, 240, 7695, 375});
    TextPath->setReadOnly(true);
    CommandPath =
        designed<QPushButton>(this, QStringLiteral("CommandPath"), {8160, 240, 1935, 375});
    CommandPath->setText(QStringLiteral("Select &File"));

    LabeDummy = designedLabel(this, QStringLiteral("LabeDummy"), QStringLiteral("&Dummy XML Tag:"),
                              {240, 885, 1335, 255});
    Label9 =
        designedLabel(this, QStringLiteral("Label9"), QStringLiteral("<"), {1800, 885, 135, 375});
    TextDummy = designedTextBox(this, QStringLiteral("TextDummy"), {1920, 840, 855, 375});
    TextDummy->setText(WindowTexts::defaultDummyTag);
    // Alt+D: no other control of the window uses the letter. With its buddy the caption is
    // measured without the "&".
    LabeDummy->setBuddy(TextDummy);
    // The design's width fits the caption in an 8-point font; a larger default font would cut
    // it, and up to the "<" there is room to let it grow.
    LabeDummy->resize(
        std::clamp(LabeDummy->sizeHint().width(), LabeDummy->width(), Label9->x() - LabeDummy->x()),
        LabeDummy->height());
    LabelDummy = designedLabel(this, QStringLiteral("LabelDummy"), QStringLiteral("></dummy>"),
                               {2760, 885, 2055, 375});
    OptionLinks =
        designed<QRadioButton>(this, QStringLiteral("OptionLinks"), {5010, 840, 975, 375});
    OptionLinks->setText(QStringLiteral("&Links"));
    OptionLinks->setChecked(true);
    OptionErrors =
        designed<QRadioButton>(this, QStringLiteral("OptionErrors"), {5970, 840, 975, 375});
    OptionErrors->setText(QStringLiteral("&Errors"));
    // The findings came after the design: the other two options moved left to make room, as far
    // as the closing label's text leaves the window room to shrink.
    OptionFindings =
        designed<QRadioButton>(this, QStringLiteral("OptionFindings"), {6930, 840, 1140, 375});
    OptionFindings->setText(QStringLiteral("F&indings"));
    CommandExport =
        designed<QPushButton>(this, QStringLiteral("CommandExport"), {8160, 840, 1935, 375});
    CommandExport->setText(QStringLiteral("E&xport"));

    ListView1 = designed<QTreeView>(this, QStringLiteral("ListView1"), {240, 1440, 9855, 3015});
    model_ = new ResultsModel(this);
    proxy_ = new ResultsSortProxy(this);
    proxy_->setSourceModel(model_);
    ListView1->setModel(proxy_);
    // Hidden until Ctrl+F; it then takes the top of the list's place.
    findBar_ = new FindBar(this);

    createDetailPanel();
    setTabOrders();
}

void Form1::createDetailPanel()
{
    // The panel's eight rows, from the top of the first box to the bottom of the last; they keep
    // their places in the window, the area only lets them scroll on a short one.
    detailPanel_ = designed<QScrollArea>(this, QStringLiteral("DetailPanel"),
                                         {0, detailPanelTop, clientArea.width, detailPanelHeight});
    detailPanel_->setFrameShape(QFrame::NoFrame);
    detailPanel_->setFocusPolicy(Qt::NoFocus);
    detailPanel_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    detailPanel_->setWidgetResizable(true);
    auto* rows = new QWidget;
    rows->setObjectName(QStringLiteral("DetailRows"));
    rows->setMinimumHeight(toPixels(detailPanelHeight));
    for (int slot = 0; slot < detailSlotCount; ++slot) {
        const int top = 480 * slot;
        const QString number = QString::number(slot + 1);
        labels_[size_t(slot)] = designedLabel(rows, QStringLiteral("Label") + number, QString(),
                                              {240, top + 120, 1095, 255});
        texts_[size_t(slot)] =
            designedTextBox(rows, QStringLiteral("Text") + number, {1560, top, 8535, 375});
        texts_[size_t(slot)]->setReadOnly(true);
    }
    detailPanel_->setWidget(rows);
    // A box reached by Tab from outside the area is scrolled into view, as one reached within it.
    connect(qApp, &QApplication::focusChanged, detailPanel_, [this, rows](QWidget*, QWidget* now) {
        // Whole: a line edit would only have its cursor shown.
        if (now && rows->isAncestorOf(now)) {
            const QPoint middle = now->mapTo(rows, now->rect().center());
            detailPanel_->ensureVisible(middle.x(), middle.y(), 0, now->height() / 2 + 1);
        }
    });
    // Laid out at once, without its frame: the window's first layout is measured before it is
    // shown.
    QEvent layout(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(detailPanel_, &layout);
}

void Form1::setTabOrders()
{
    QWidget* previous = TextPath;
    for (QWidget* next : std::initializer_list<QWidget*>{
             CommandPath, TextDummy, OptionLinks, OptionErrors, OptionFindings, CommandExport,
             findBar_->findChild<QWidget*>(QStringLiteral("FindText")),
             findBar_->findChild<QWidget*>(QStringLiteral("FaultsOnly")), ListView1}) {
        setTabOrder(previous, next);
        previous = next;
    }
    for (QLineEdit* text : texts_) {
        setTabOrder(previous, text);
        previous = text;
    }
}

void Form1::connectHandlers()
{
    connect(CommandPath, &QPushButton::clicked, this, &Form1::CommandPath_Click);
    connect(CommandExport, &QPushButton::clicked, this, &Form1::CommandExport_Click);
    connect(OptionErrors, &QRadioButton::clicked, this, &Form1::OptionErrors_Click);
    connect(OptionLinks, &QRadioButton::clicked, this, &Form1::OptionLinks_Click);
    connect(OptionFindings, &QRadioButton::clicked, this, &Form1::OptionFindings_Click);
    connect(ListView1->header(), &QHeaderView::sectionClicked, this, &Form1::ListView1_ColumnClick);
    // Any change of the selected row, by mouse or keyboard, reaches the panel.
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Form1::ListView1_ItemClick);
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &Form1::ListView1_ItemClick);
    connect(TextDummy, &QLineEdit::textChanged, this, &Form1::TextDummy_Change);
}

void Form1::Form_Load()
{
    lastWidth_ = toTwips(width());
    lastHeight_ = toTwips(height());

    for (QLabel* label : labels_)
        label->clear();

    ListView1->setHeaderHidden(false);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    // One line per item makes every row the same height, which the view can then skip measuring:
    // scrolling and filling stay fast on a million rows.
    ListView1->setUniformRowHeights(true);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Several rows may be selected for copying; the panel shows the current one.
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setAllColumnsShowFocus(true);
    // The last column reaches the list's right edge, as a list control's does.
    ListView1->header()->setStretchLastSection(true);
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setSectionsClickable(true);

    LabelDummy->setText(QStringLiteral("></") + TextDummy->text() + u'>');

    OptionErrors->setEnabled(false);
    OptionLinks->setEnabled(false);
    OptionFindings->setEnabled(false);
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Form1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Coming back from the taskbar may bring no resize of its own.
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void Form1::Form_Resize()
{
    if (isMinimized())
        return;
    // Measured on the client area: the frame is not known until the window manager has
    // decorated the window, and it never changes size, so the differences are those of the
    // outer size.
    const int width = toTwips(this->width());
    const int height = toTwips(this->height());
    const int dW = width - lastWidth_;
    lastWidth_ = width;
    const int dH = height - lastHeight_;
    lastHeight_ = height;

    ResizeFollowers followers{TextPath,       CommandPath, CommandExport, OptionLinks, OptionErrors,
                              OptionFindings, ListView1,   detailPanel_,  {}};
    std::copy(texts_.begin(), texts_.end(), followers.texts.begin());
    followResize(followers, dW, dH);
    followResizeBeyondDesign();
}

void Form1::CommandPath_Click()
{
    if (dummyTagUsable())
        checkExport(dialogs_->chooseExportToOpen(openFolder_));
}

// Such a name would make every post of the run fail to parse; the text stays for the user to
// correct.
bool Form1::dummyTagUsable()
{
    const QString problem = wrapperNameProblem(TextDummy->text());
    if (!problem.isEmpty())
        dialogs_->showMessage(WindowTexts::unusableDummyTag(problem));
    return problem.isEmpty();
}

void Form1::checkExport(const QString& path)
{
    showFromStart(TextPath, path);
    if (path.isEmpty() || !dummyTagUsable())
        return;
    openFolder_ = QFileInfo(path).absolutePath();
    if (!checkedExports_.contains(path))
        checkedExports_.append(path);

    QString failure;
    RunSummary emptied;
    try {
        runCheck(path);
        return;
    } catch (const std::bad_alloc&) {
        failure = WindowTexts::outOfMemory;
        emptied.problem = QStringLiteral("not checked: out of memory");
    } catch (const std::system_error& error) {
        failure = WindowTexts::runFailed(QString::fromLocal8Bit(error.what()));
        emptied.problem = QStringLiteral("not checked: ") + QString::fromLocal8Bit(error.what());
    }
    activeRun_ = nullptr;
    // The half-filled tables go first, which gives back the memory to go on with.
    model_->clearItems();
    tables_.reset();
    auditSummary_ = {};
    // The title must not go on counting the results of an earlier check.
    setWindowTitle(windowTitleAfterRun(path, emptied));
    shownExport_.clear();
    fillList(shown());
    showSelected();
    dialogs_->showMessage(failure);
}

void Form1::runCheck(const QString& path)
{
    AnalysisOutcome outcome;
    {
        BusyCursor busy;
        model_->clearItems();
        shownExport_ = path;
        RunProgress progress(this, progressDelay_);
        activeRun_ = &progress;
        AnalysisOptions options;
        options.dummyTag = TextDummy->text();
        options.progress = [&progress](qint64 itemsChecked) { progress.update(itemsChecked); };
        options.cancelled = [&progress] { return progress.cancelRequested(); };
        outcome = analyseAndAudit(path, options);
        activeRun_ = nullptr;
    }
    if (closeAfterRun_) {
        close();
        return;
    }
    RunSummary summary = RunSummary::of(tables_);
    summary.cancelled = outcome.cancelled;
    summary.exportFaults = outcome.faultCount;
    // The reason stays in the title after the message has gone, until the next check.
    if (!outcome.foundItems && !outcome.cancelled)
        summary.problem = noItemsInTitle(outcome);
    setWindowTitle(windowTitleAfterRun(path, summary));
    if (!outcome.foundItems && !outcome.cancelled)
        dialogs_->showMessage(WindowTexts::noItems(noItemsMessage, noItemsProblem(path, outcome)));
    else if (!outcome.faults.isEmpty())
        dialogs_->showMessage(WindowTexts::exportFaults(outcome.faults, outcome.faultCount));

    BusyCursor busy;
    OptionErrors->setEnabled(true);
    OptionLinks->setEnabled(true);
    OptionFindings->setEnabled(true);
    fillList(shown());
    showSelected();
    if (!tables_.leftOutAttributes().isEmpty())
        dialogs_->showMessage(
            WindowTexts::attributesLeftOut(leftOutSummary(tables_.leftOutAttributes())));
}

void Form1::TextDummy_Change()
{
    if (TextDummy->text().isEmpty()) {
        dialogs_->showMessage(WindowTexts::emptyDummyTag);
        TextDummy->setText(WindowTexts::defaultDummyTag);
    }
    LabelDummy->setText(QStringLiteral("></") + TextDummy->text() + u'>');
}
