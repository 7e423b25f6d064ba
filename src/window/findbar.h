#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;

// The bar above the results list that filters it: a find field (rows holding the text in any
// column, case ignored, as the user types) and the faults-only switch of the errors view. Opens
// on Ctrl+F; Esc or its close button hides it and shows every row again. The switch's access key
// is the window's, so that it works while the bar is closed too.
class FindBar : public QWidget
{
    Q_OBJECT
public:
    explicit FindBar(QWidget* parent = nullptr);

    QString text() const;
    bool faultsOnly() const;
    void setFaultsOnlyAvailable(bool available);
    bool faultsOnlyAvailable() const;
    void toggleFaultsOnly();
    bool typingInFindBox() const;
    // "12 of 186 rows", or nothing when every row is shown.
    void showCount(qint64 shown, qint64 total);

    void open();
    // Hides the bar and clears the text and the switch.
    void close();

signals:
    void filterChanged();
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* findText_;
    QCheckBox* faultsOnly_;
    QLabel* count_;
};
