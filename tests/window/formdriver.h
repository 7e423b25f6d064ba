#pragma once

#include "fakedialogs.h"
#include "view/resultsmodel.h"
#include "window/form1.h"

#include <QAbstractItemModelTester>
#include <QAbstractProxyModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

#include <memory>
#include <vector>

// A window driven as a user would, through its controls, with FakeDialogs answering.
class FormDriver
{
public:
    // checkModels: the list's model and proxy are watched by QAbstractItemModelTester, which
    // reads every cell on each change; a run of hundreds of thousands of rows goes without.
    explicit FormDriver(bool checkModels = true)
    {
        auto fake = std::make_unique<FakeDialogs>();
        dialogs = fake.get();
        form = std::make_unique<Form1>(std::move(fake));
        if (checkModels) {
            QAbstractItemModel* proxy = list()->model();
            for (QAbstractItemModel* model :
                 {proxy, qobject_cast<QAbstractProxyModel*>(proxy)->sourceModel()})
                testers_.push_back(std::make_unique<QAbstractItemModelTester>(
                    model, QAbstractItemModelTester::FailureReportingMode::Fatal));
        }
    }
    bool show()
    {
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }

    template <typename Control = QWidget> Control* control(const QString& name) const
    {
        auto* found = form->findChild<Control*>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    QString textOf(const QString& name) const
    {
        if (auto* box = form->findChild<QLineEdit*>(name))
            return box->text();
        return control<QLabel>(name)->text();
    }
    // The texts of the detail panel's boxes ("Text") or captions ("Label").
    QStringList panel(const QString& kind) const
    {
        QStringList texts;
        for (int slot = 1; slot <= 8; ++slot)
            texts.append(textOf(kind + QString::number(slot)));
        return texts;
    }
    QTreeView* list() const { return control<QTreeView>(QStringLiteral("ListView1")); }

    void click(const QString& name) { control<QAbstractButton>(name)->click(); }
    void run(const QString& path)
    {
        dialogs->openAnswers.append(path);
        click(QStringLiteral("CommandPath"));
    }
    void exportTo(const QString& path)
    {
        dialogs->saveAnswers.append(path);
        click(QStringLiteral("CommandExport"));
    }
    void clickHeader(int column)
    {
        QCoreApplication::processEvents(); // a user clicks what has been laid out
        QHeaderView* header = list()->header();
        // The middle of the section: its edges are resize handles.
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }
    void clickRow(int row)
    {
        QCoreApplication::processEvents();
        const QRect rect = list()->visualRect(list()->model()->index(row, 0));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rect.center());
    }

    QStringList headers() const
    {
        QStringList texts;
        for (int column = 0; column < list()->model()->columnCount(); ++column)
            texts.append(list()->model()->headerData(column, Qt::Horizontal).toString());
        return texts;
    }
    QStringList column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < list()->model()->rowCount(); ++row)
            texts.append(
                list()->model()->index(row, column).data(ResultsModel::CellTextRole).toString());
        return texts;
    }
    QString selectedTitle() const
    {
        const QModelIndexList rows = list()->selectionModel()->selectedRows();
        return rows.isEmpty() ? QString() : rows.constFirst().data().toString();
    }

    FakeDialogs* dialogs = nullptr;
    std::unique_ptr<Form1> form;

private:
    std::vector<std::unique_ptr<QAbstractItemModelTester>> testers_;
};

inline QString testData(const QString& name)
{
    return QStringLiteral(POSTLINT_TEST_DATA "/window/") + name;
}
