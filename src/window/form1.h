#pragma once

#include "resizelayout.h"
#include "userdialogs.h"

#include "analysis/analysisrun.h"
#include "analysis/resulttables.h"
#include "audit/exportaudit.h"
#include "export/tabdelimited.h"
#include "view/columnwidths.h"
#include "view/detailpanel.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>

class QLabel;
class QLineEdit;
class QDialog;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTreeView;
class FindBar;
class ResultsModel;
class ResultsSortProxy;
class RowView;
class RunProgress;
struct RowFilter;

// The one window of Postlint: choose an export, check it, browse the error, link or findings table,
// sort it, read a row in the detail panel and export the table on show.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    // Without dialogs the window asks the user through Qt's own dialogs and message boxes.
    explicit Form1(std::unique_ptr<UserDialogs> dialogs = nullptr, QWidget* parent = nullptr);
    ~Form1() override;

    // The window's size at the last layout, in twips.
    int lastWidth() const { return lastWidth_; }
    int lastHeight() const { return lastHeight_; }

    // Checks the export at path as "Select File" does once a file is chosen; the empty path
    // only empties the path box.
    void checkExport(const QString& path);
    // How long a run goes before its progress dialog shows.
    void setProgressDelay(int milliseconds) { progressDelay_ = milliseconds; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createDetailPanel();
    void setTabOrders();
    void connectHandlers();
    void createBrowsingTools();
    void createAuditTools();
    void fitToScreen();
    void followResizeBeyondDesign();
    void shareHeightWithPanel();

    void Form_Load();
    void Form_Resize();
    void CommandPath_Click();
    void CommandExport_Click();
    QString checkedExportAt(const QString& path) const;
    void OptionErrors_Click();
    void OptionLinks_Click();
    void OptionFindings_Click();
    void showAuditSummary();
    void nameSiteAddress();
    void ListView1_ColumnClick(int column);
    void ListView1_ItemClick();
    void TextDummy_Change();

    // The three views of a run's results, one per option button.
    enum class Shown
    {
        Links,
        Errors,
        Findings
    };
    Shown shown() const;
    TableExtent extentOf(Shown view) const;

    bool dummyTagUsable();
    void runCheck(const QString& path);
    // The run's tables and audit; the tables are empty when the export held no usable item.
    AnalysisOutcome analyseAndAudit(const QString& path, const AnalysisOptions& options);
    void fillList(Shown view);
    void showSelected();
    static void showFromStart(QLineEdit* box, const QString& text);

    int currentSourceRow() const;
    RowFilter filterFor(Shown view) const;
    void applyFilter();
    void showFilterCount();
    void setFindBarShown(bool shown);
    void toggleFaultsOnly();
    void openListMenu();
    void copySelectedRows();
    void openRowView();

    std::unique_ptr<UserDialogs> dialogs_;
    ResultTables tables_;
    AuditSummary auditSummary_;
    // The site's address as the user named it, for when the export's is wrong; empty: the
    // export's own.
    QString siteAddress_;
    const ColumnWidths columnWidths_;
    bool sortActive_ = false;
    // Set while a fill selects its first item, which must not count as the user's selection.
    bool filling_ = false;
    int lastWidth_ = 0;
    int lastHeight_ = 0;
    int progressDelay_ = 1000;
    // The folder the open dialog starts in: the program's, then that of the last export opened.
    QString openFolder_;
    // The export whose results the tables hold, and every export checked in this window's life:
    // the path box may show neither (a cancelled dialog empties it, a refused drop fills it), and
    // none of them may be replaced by a table.
    QString shownExport_;
    QStringList checkedExports_;
    RunProgress* activeRun_ = nullptr;
    bool closeAfterRun_ = false;
    bool shownBefore_ = false;
    int findBarHeight_ = 0;
    HeightShare heightShare_;

    ResultsModel* model_ = nullptr;
    ResultsSortProxy* proxy_ = nullptr;

    QLineEdit* TextPath = nullptr;
    QPushButton* CommandPath = nullptr;
    QLabel* LabeDummy = nullptr;
    QLabel* Label9 = nullptr;
    QLineEdit* TextDummy = nullptr;
    QLabel* LabelDummy = nullptr;
    QRadioButton* OptionLinks = nullptr;
    QRadioButton* OptionErrors = nullptr;
    QRadioButton* OptionFindings = nullptr;
    QPushButton* CommandExport = nullptr;
    QTreeView* ListView1 = nullptr;
    // Holds the panel's captions and boxes; it scrolls when the window is too short for them.
    QScrollArea* detailPanel_ = nullptr;
    std::array<QLabel*, detailSlotCount> labels_{};
    std::array<QLineEdit*, detailSlotCount> texts_{};
    FindBar* findBar_ = nullptr;
    QPointer<RowView> rowView_;
    QPointer<QDialog> summaryView_;
};
