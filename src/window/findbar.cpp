#include "findbar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

FindBar::FindBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FindBar"));
    auto* label = new QLabel(QStringLiteral("Fi&nd:"), this);
    findText_ = new QLineEdit(this);
    findText_->setObjectName(QStringLiteral("FindText"));
    findText_->setPlaceholderText(QStringLiteral("text in any column"));
    findText_->setClearButtonEnabled(true);
    label->setBuddy(findText_);
    faultsOnly_ = new QCheckBox(QStringLiteral("Faults &only"), this);
    faultsOnly_->setObjectName(QStringLiteral("FaultsOnly"));
    // The caption keeps its underlined letter, but Alt+O belongs to the window: the box's own
    // mnemonic would work only while the bar is open, and would leave the focus on the box.
    faultsOnly_->setShortcut(QKeySequence());
    faultsOnly_->setToolTip(
        QStringLiteral("Errors view: hide the posts that parse (Error Code 0)"));
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("FindCount"));
    auto* closeButton = new QToolButton(this);
    closeButton->setObjectName(QStringLiteral("FindClose"));
    closeButton->setText(QStringLiteral("×"));
    closeButton->setToolTip(QStringLiteral("Close the find bar and show every row (Esc)"));
    closeButton->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 2);
    layout->addWidget(label);
    layout->addWidget(findText_, 1);
    layout->addWidget(faultsOnly_);
    layout->addWidget(count_);
    layout->addWidget(closeButton);

    connect(findText_, &QLineEdit::textChanged, this, &FindBar::filterChanged);
    connect(faultsOnly_, &QCheckBox::toggled, this, &FindBar::filterChanged);
    connect(closeButton, &QToolButton::clicked, this, &FindBar::close);
    hide();
}

QString FindBar::text() const
{
    return isVisible() || !isHidden() ? findText_->text() : QString();
}

bool FindBar::faultsOnly() const
{
    return faultsOnly_->isEnabled() && faultsOnly_->isChecked();
}

void FindBar::setFaultsOnlyAvailable(bool available)
{
    faultsOnly_->setEnabled(available);
}

bool FindBar::faultsOnlyAvailable() const
{
    return faultsOnly_->isEnabled();
}

void FindBar::toggleFaultsOnly()
{
    faultsOnly_->toggle();
}

bool FindBar::typingInFindBox() const
{
    return findText_->hasFocus();
}

void FindBar::showCount(qint64 shown, qint64 total)
{
    count_->setText(shown == total ? QString()
                                   : QStringLiteral("%L1 of %L2 rows").arg(shown).arg(total));
}

void FindBar::open()
{
    show();
    findText_->setFocus(Qt::ShortcutFocusReason);
    findText_->selectAll();
}

void FindBar::close()
{
    const bool wasFiltering = !findText_->text().isEmpty() || faultsOnly_->isChecked();
    hide();
    {
        const QSignalBlocker quiet(this);
        findText_->clear();
        faultsOnly_->setChecked(false);
    }
    if (wasFiltering)
        emit filterChanged();
    emit closed();
}

void FindBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
