#pragma once

#include "fakedialogs.h"
#include "view/resultsmodel.h"
#include "window/form1.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>

// A window driven as a user would: through its controls, with the dialogs answered by a
// FakeDialogs.
class FormDriver
{
public:
    FormDriver()
    {
        auto fake = std::make_unique<FakeDialogs>();
        dialogs = fake.get();
        form = std::make_unique<Form1>(std::move(fake));
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
    QLineEdit* text(int slot) const
    {
        return control<QLineEdit>(QStringLiteral("Text%1").arg(slot));
    }
    QLabel* label(int slot) const { return control<QLabel>(QStringLiteral("Label%1").arg(slot)); }
    QTreeView* list() const { return control<QTreeView>(QStringLiteral("ListView1")); }

    void run(const QString& path)
    {
        dialogs->openAnswers.append(path);
        control<QPushButton>(QStringLiteral("CommandPath"))->click();
    }
    void showErrors() { control<QRadioButton>(QStringLiteral("OptionErrors"))->click(); }
    void showLinks() { control<QRadioButton>(QStringLiteral("OptionLinks"))->click(); }
    void clickHeader(int column)
    {
        // A user clicks what has been laid out and drawn.
        QCoreApplication::processEvents();
        QHeaderView* header = list()->header();
        const QPoint inside(header->sectionViewportPosition(column) +
                                header->sectionSize(column) / 2,
                            header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, inside);
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
        const QAbstractItemModel* model = list()->model();
        for (int column = 0; column < model->columnCount(); ++column)
            texts.append(model->headerData(column, Qt::Horizontal).toString());
        return texts;
    }
    QStringList column(int column) const
    {
        QStringList texts;
        const QAbstractItemModel* model = list()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts.append(model->index(row, column).data(ResultsModel::CellTextRole).toString());
        return texts;
    }
    QString selectedTitle() const
    {
        const QModelIndexList rows = list()->selectionModel()->selectedRows();
        return rows.isEmpty() ? QString()
                              : rows.constFirst().data(ResultsModel::CellTextRole).toString();
    }
    QStringList panelTexts() const
    {
        QStringList texts;
        for (int slot = 1; slot <= 8; ++slot)
            texts.append(text(slot)->text());
        return texts;
    }
    QStringList panelCaptions() const
    {
        QStringList texts;
        for (int slot = 1; slot <= 8; ++slot)
            texts.append(label(slot)->text());
        return texts;
    }

    FakeDialogs* dialogs = nullptr;
    std::unique_ptr<Form1> form;
};

inline QString testData(const QString& name)
{
    return QStringLiteral(POSTLINT_TEST_DATA "/") + name;
}
