#include "rowcopy.h"

#include "resultsmodel.h"

QString rowsAsText(const ResultsModel& model, const std::vector<int>& rows)
{
    QString text;
    for (const int row : rows) {
        for (int column = 0; column < model.columnCount(); ++column) {
            if (column > 0)
                text += u'\t';
            const qsizetype start = text.size();
            text += model.cellText(row, column);
            for (qsizetype i = start; i < text.size(); ++i) {
                const char16_t c = text.at(i).unicode();
                if (c == u'\t' || c == u'\r' || c == u'\n')
                    text[i] = u' ';
            }
        }
        text += u'\n';
    }
    return text;
}
