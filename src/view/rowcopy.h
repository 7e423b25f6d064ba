#pragma once

#include <QString>

#include <vector>

class ResultsModel;

// The rows as the clipboard gets them: every cell whole, a TAB between cells, a line break after
// each row, and a TAB, CR or LF inside a cell written as a space so that every row stays one
// line of as many fields as the table has columns.
QString rowsAsText(const ResultsModel& model, const std::vector<int>& rows);
