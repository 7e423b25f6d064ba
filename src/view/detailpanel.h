#pragma once

#include "analysis/resulttable.h"
#include "analysis/resulttables.h"

#include <QString>

#include <array>

class ResultsModel;

// The detail panel shows as many columns of the selected row as the error table has, each beside
// its header.
inline constexpr int detailSlotCount = ErrorColumnCount;
using DetailTexts = std::array<QString, detailSlotCount>;

// Slot k, counted from 0, is captioned with the header of table column k and a colon; a column the
// table does not use has the empty header, so its caption is ":" alone.
DetailTexts detailCaptions(const ResultTable& table);

// A box shows at most this many characters of a cell: laying out a line of tens of millions of
// characters would take seconds and gigabytes. The row view shows the whole cell.
inline constexpr qsizetype detailCellLimit = 40000;
inline const QString detailCutNote =
    QStringLiteral(" … [cut here: double-click the row or press Enter to read it whole]");

// The cells of model row row in columns 0 to 7, one per slot, whole up to detailCellLimit
// characters; a longer cell is cut there and ends with detailCutNote. Slots past the model's last
// column, and every slot when row is -1 (nothing selected), are empty: a box must never go on
// showing a cell of another table or another row.
DetailTexts detailTexts(const ResultsModel& model, int row);
