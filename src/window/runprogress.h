#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>

#include <memory>

// Keeps the window painted during a long analysis run. The run holds the user-interface thread
// until it ends; a run of minutes would otherwise leave a window that never repaints, which the
// desktop offers to kill as not responding, losing the work. Once a run has taken longer than
// showAfter, a modal dialog shows how many items have been checked, and pending paint and
// window-system events are handled now and then. Being modal, the dialog keeps the window from
// taking any input until the run ends, as before.
class RunProgress
{
public:
    explicit RunProgress(QWidget* window, int showAfterMilliseconds = 1000);
    ~RunProgress();
    RunProgress(const RunProgress&) = delete;
    RunProgress& operator=(const RunProgress&) = delete;

    // Called by the run with the number of items recorded so far.
    void update(qint64 itemsChecked);

    bool isShown() const { return dialog_ != nullptr; }
    QString text() const { return dialog_ ? dialog_->labelText() : QString(); }

private:
    QWidget* window_;
    const int showAfter_;
    QElapsedTimer sinceStart_;
    QElapsedTimer sinceEvents_;
    // Owned here, not by the window: it must go when the run ends.
    std::unique_ptr<QProgressDialog> dialog_;
};
