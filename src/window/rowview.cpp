#include "rowview.h"

#include "longtextview.h"
#include "windowtexts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QSplitter>
#include <QVBoxLayout>

RowView::RowView(const RowContent& row, QWidget* parent)
    : QDialog(parent), cells_(new LongTextView(this)), body_(new LongTextView(this))
{
    setObjectName(QStringLiteral("RowView"));
    setWindowTitle(row.title + QStringLiteral(" — ") + WindowTexts::caption);
    cells_->setObjectName(QStringLiteral("RowCells"));
    body_->setObjectName(QStringLiteral("RowBody"));

    // Built in place: a source line may be as long as a whole post body.
    qsizetype length = 0;
    for (qsizetype column = 0; column < row.cells.size(); ++column)
        length += row.headers.value(column).size() + row.cells.at(column).size() + 3;
    QString cellLines;
    cellLines.reserve(length);
    for (qsizetype column = 0; column < row.cells.size(); ++column) {
        if (column == row.bodyColumn)
            continue;
        if (!cellLines.isEmpty())
            cellLines += u'\n';
        cellLines += row.headers.value(column);
        cellLines += QStringLiteral(":\t");
        cellLines += row.cells.at(column);
    }
    cells_->setLongText(std::move(cellLines));
    const QString body = row.cells.value(row.bodyColumn);
    body_->setLongText(body);
    if (row.faultLine > 0)
        body_->markPosition(row.faultLine, row.faultColumn);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(cells_);
    auto* bodyPane = new QWidget(splitter);
    auto* bodyLayout = new QVBoxLayout(bodyPane);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    auto* bodyLabel = new QLabel(row.headers.value(row.bodyColumn) + u':', bodyPane);
    bodyLayout->addWidget(bodyLabel);
    bodyLayout->addWidget(body_);
    splitter->addWidget(bodyPane);
    splitter->setStretchFactor(1, 3);
    bodyPane->setVisible(row.bodyColumn >= 0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    layout->addWidget(buttons);
    resize(720, 520);
    body_->setFocus();
}
