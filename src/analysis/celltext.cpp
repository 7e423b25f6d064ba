#include "celltext.h"

CellText CellText::fromUtf8(QByteArray utf8)
{
    CellText cell;
    cell.value_ = std::move(utf8);
    return cell;
}

QString CellText::toString() const
{
    if (const auto* bytes = std::get_if<QByteArray>(&value_))
        return QString::fromUtf8(*bytes);
    return std::get<QString>(value_);
}

QByteArray CellText::toUtf8() const
{
    if (const auto* bytes = std::get_if<QByteArray>(&value_))
        return *bytes;
    return std::get<QString>(value_).toUtf8();
}

bool CellText::isEmpty() const
{
    return std::visit([](const auto& v) { return v.isEmpty(); }, value_);
}
