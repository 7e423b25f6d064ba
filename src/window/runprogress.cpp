#include "runprogress.h"

#include "windowtexts.h"

#include <QCoreApplication>

namespace {
// Often enough for a smooth count, a prompt Cancel and a window that answers the desktop's pings.
constexpr int eventInterval = 100;

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
        return true;
    default:
        return false;
    }
}
} // namespace

class RunProgress::InputBlocker : public QObject
{
public:
    explicit InputBlocker(QWidget* window) : window_(window)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != window_ || !isInput(event->type()))
            return false;
        // An accepted override keeps a shortcut of the window from firing on this key.
        event->accept();
        return true;
    }

private:
    QWidget* window_;
};

RunProgress::RunProgress(QWidget* window, int showAfterMilliseconds)
    : window_(window), showAfter_(showAfterMilliseconds)
{
    sinceStart_.start();
    sinceEvents_.start();
}

RunProgress::~RunProgress() = default;

bool RunProgress::cancelRequested() const
{
    return cancelRequested_ || (dialog_ && dialog_->wasCanceled());
}

void RunProgress::update(qint64 itemsChecked)
{
    if (!dialog_) {
        if (sinceStart_.elapsed() < showAfter_)
            return;
        blocker_ = std::make_unique<InputBlocker>(window_);
        dialog_ = std::make_unique<QProgressDialog>(window_);
        dialog_->setWindowTitle(WindowTexts::caption);
        dialog_->setWindowModality(Qt::NonModal);
        dialog_->setCancelButtonText(QStringLiteral("Cancel"));
        // The dialog would hide itself on a cancel; it stays up until the run has stopped.
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        dialog_->setRange(0, 0); // the number of items is not known until the end of the file
        dialog_->setMinimumDuration(0);
        dialog_->show();
    } else if (sinceEvents_.elapsed() < eventInterval) {
        return;
    }
    dialog_->setLabelText(cancelRequested()
                              ? QStringLiteral("Stopping after %L1 items").arg(itemsChecked)
                              : QStringLiteral("Checked %L1 items").arg(itemsChecked));
    QCoreApplication::processEvents();
    sinceEvents_.restart();
}
