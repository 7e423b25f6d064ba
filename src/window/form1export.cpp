// The window's Export: the list on show, or the rows a filter leaves, written as tab-delimited
// text, never onto an export this window has checked.
#include "form1.h"

#include "busycursor.h"
#include "windowtexts.h"

#include "export/tabdelimited.h"
#include "view/resultssortproxy.h"

#include <QFileInfo>
#include <QLineEdit>

#include <vector>

void Form1::CommandExport_Click()
{
    TableExtent extent = extentOf(shown());
    // With a filter on, the file holds what the list shows, in the order shown.
    std::vector<int> shownRows;
    if (proxy_->isFiltered()) {
        for (const int sourceRow : proxy_->shownSourceRows())
            shownRows.push_back(sourceRow + 1);
        extent.rows = &shownRows;
        extent.rowCount = int(shownRows.size());
    }
    if (extent.rowCount <= 0) {
        dialogs_->showMessage(WindowTexts::nothingToExport);
        return;
    }

    const QString shownPath = TextPath->text();
    const QString startFolder =
        shownPath.isEmpty() ? QString() : QFileInfo(shownPath).absolutePath();
    TextEncoding encoding = TextEncoding::Latin1;
    const QString path = dialogs_->chooseFileToSave(startFolder, encoding);
    if (path.isEmpty())
        return;
    if (const QString analysed = checkedExportAt(path); !analysed.isEmpty()) {
        dialogs_->showMessage(WindowTexts::exportIsTheExport(path, analysed));
        return;
    }

    ExportResult result;
    {
        BusyCursor busy;
        result = exportTabDelimited(path, extent, encoding);
    }
    switch (result.status) {
    case ExportResult::Written:
        dialogs_->showMessage(WindowTexts::exportComplete);
        break;
    case ExportResult::PermissionDenied:
        dialogs_->showMessage(WindowTexts::exportRefused(path));
        break;
    case ExportResult::Failed:
        dialogs_->showMessage(WindowTexts::exportFailed(path, result.reason));
        break;
    }
}
