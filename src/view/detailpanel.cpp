#include "detailpanel.h"

#include "resultsmodel.h"

DetailTexts detailCaptions(const ResultTable& table)
{
    DetailTexts captions;
    for (int slot = 0; slot < detailSlotCount; ++slot)
        captions[size_t(slot)] = table.cell(slot, 0) + u':';
    return captions;
}

DetailTexts detailTexts(const ResultsModel& model, int row)
{
    DetailTexts texts;
    if (row < 0 || row >= model.rowCount())
        return texts;
    for (int slot = 0; slot < detailSlotCount && slot < model.columnCount(); ++slot) {
        bool whole = true;
        texts[size_t(slot)] = model.cellBeginning(row, slot, detailCellLimit, &whole);
        if (!whole)
            texts[size_t(slot)] += detailCutNote;
    }
    return texts;
}
