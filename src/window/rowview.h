#pragma once

#include <QDialog>
#include <QStringList>

// What the row view shows of one row of the list.
struct RowContent
{
    QString title;
    QStringList headers;
    QStringList cells;
    // The column that holds the post body, shown apart with line numbers; -1 when none.
    int bodyColumn = -1;
    // Where the fault lies in the body, as the error table counts (1-based; 0: no fault).
    qint64 faultLine = 0;
    qint64 faultColumn = 0;
};

class LongTextView;

// A read-only view of a whole row of the list: every cell, whatever the number of columns, and
// the post body with line numbers and, for a faulty post, its fault's line marked and the cursor
// at the fault. Everything can be selected and copied.
class RowView : public QDialog
{
    Q_OBJECT
public:
    explicit RowView(const RowContent& row, QWidget* parent = nullptr);

    LongTextView* cells() const { return cells_; }
    LongTextView* body() const { return body_; }

private:
    LongTextView* cells_;
    LongTextView* body_;
};
