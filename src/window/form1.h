#pragma once

#include "userdialogs.h"

#include "analysis/resulttables.h"
#include "view/columnwidths.h"

#include <QWidget>

#include <array>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeView;
class ResultsModel;
class ResultsSortProxy;

// The one window of Postlint: choose an export, check it, browse the error or the link table,
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

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void connectHandlers();

    void Form_Load();
    void Form_Resize();
    void CommandPath_Click();
    void CommandExport_Click();
    void OptionErrors_Click();
    void OptionLinks_Click();
    void ListView1_ColumnClick(int column);
    void ListView1_ItemClick();
    void TextDummy_Change();

    void fillList(bool showLinks);
    void showSelected();

    std::unique_ptr<UserDialogs> dialogs_;
    ResultTables tables_;
    const ColumnWidths columnWidths_;
    bool sortActive_ = false;
    // Set while a fill selects its first item, which must not count as the user's selection.
    bool filling_ = false;
    int lastWidth_ = 0;
    int lastHeight_ = 0;

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
    QPushButton* CommandExport = nullptr;
    QTreeView* ListView1 = nullptr;
    std::array<QLabel*, 8> labels_{};
    std::array<QLineEdit*, 8> texts_{};
};
