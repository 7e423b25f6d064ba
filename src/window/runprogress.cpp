#include "runprogress.h"

#include "windowtexts.h"

#include <QCoreApplication>

namespace {
// Often enough for a smooth count and a window that answers the desktop's pings.
constexpr int eventInterval = 100;
} // namespace

RunProgress::RunProgress(QWidget* window, int showAfterMilliseconds)
    : window_(window), showAfter_(showAfterMilliseconds)
{
    sinceStart_.start();
    sinceEvents_.start();
}

RunProgress::~RunProgress() = default;

void RunProgress::update(qint64 itemsChecked)
{
    if (!dialog_) {
        if (sinceStart_.elapsed() < showAfter_)
            return;
        dialog_ = std::make_unique<QProgressDialog>(window_);
        dialog_->setWindowTitle(WindowTexts::caption);
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setCancelButton(nullptr);
        dialog_->setRange(0, 0); // the number of items is not known until the end of the file
        dialog_->setMinimumDuration(0);
        dialog_->show();
    } else if (sinceEvents_.elapsed() < eventInterval) {
        return;
    }
    dialog_->setLabelText(QStringLiteral("Checked %L1 items").arg(itemsChecked));
    // Input meant for the window while it is blocked by the dialog is dropped by Qt, so nothing
    // the user does can start work in the middle of the run.
    QCoreApplication::processEvents();
    sinceEvents_.restart();
}
