#pragma once

#include <QByteArray>
#include <QString>

#include <variant>

// The text of one table cell. Small cells are kept as QString; big ones (post bodies, source
// lines) may be kept as the UTF-8 bytes the parser produced, which for the mostly-ASCII text of
// blog posts takes half the memory of UTF-16. Both forms are implicitly shared, so one body
// named by an error row and all its link rows costs one copy.
class CellText
{
public:
    CellText() = default;
    CellText(QString text) : value_(std::move(text)) {}

    static CellText fromUtf8(QByteArray utf8);

    QString toString() const;
    // The UTF-8 form; cheap when the cell is stored compact.
    QByteArray toUtf8() const;
    bool isEmpty() const;
    bool isCompact() const { return std::holds_alternative<QByteArray>(value_); }

    friend bool operator==(const CellText& a, const CellText& b)
    {
        return a.toString() == b.toString();
    }

private:
    std::variant<QString, QByteArray> value_;
};
