#pragma once

class QTreeView;
class ResultsModel;

// Widens the list's columns where their header or their values would be cut at the width they
// were given: a column of numbers to its widest number over all rows, a column of text to its
// widest value among the first rows that is short enough to show whole. The body column is left
// as it is, its values are always long; no column gets narrower.
void widenColumnsToContent(QTreeView& list, const ResultsModel& model, int bodyColumn);
