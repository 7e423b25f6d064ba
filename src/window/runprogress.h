#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>

#include <memory>

// Keeps the window painted during a long analysis run and lets the user stop it. The run holds
// the user-interface thread until it ends; a run of minutes would otherwise leave a window that
// never repaints, which the desktop offers to kill as not responding, losing the work. Once a run
// has taken longer than showAfter, a dialog shows how many items have been checked, with Cancel
// (and Esc), and pending paint and window-system events are handled now and then.
//
// The dialog is not modal: the window system drops a close request for a window that a modal
// dialog blocks, and closing the window must stop the run. Instead, while the dialog is up, input
// meant for the window is swallowed, so nothing the user does can start work in the middle of the
// run.
class RunProgress
{
public:
    explicit RunProgress(QWidget* window, int showAfterMilliseconds = 1000);
    ~RunProgress();
    RunProgress(const RunProgress&) = delete;
    RunProgress& operator=(const RunProgress&) = delete;

    // Called by the run with the number of items recorded so far.
    void update(qint64 itemsChecked);

    // Cancel, Esc or closing the dialog; or requestCancel().
    bool cancelRequested() const;
    void requestCancel() { cancelRequested_ = true; }

    bool isShown() const { return dialog_ != nullptr; }
    QString text() const { return dialog_ ? dialog_->labelText() : QString(); }

private:
    class InputBlocker;

    QWidget* window_;
    const int showAfter_;
    bool cancelRequested_ = false;
    QElapsedTimer sinceStart_;
    QElapsedTimer sinceEvents_;
    std::unique_ptr<InputBlocker> blocker_;
    // Owned here, not by the window: it must go when the run ends.
    std::unique_ptr<QProgressDialog> dialog_;
};
