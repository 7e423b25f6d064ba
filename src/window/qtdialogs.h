#pragma once

#include "userdialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include <memory>

// The dialogs set up as the window shows them; apart so that their settings can be checked
// without showing them.
std::unique_ptr<QFileDialog> makeOpenDialog(QWidget* parent, const QString& startFolder);
std::unique_ptr<QFileDialog> makeSaveDialog(QWidget* parent, const QString& startFolder);
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text);

class QtDialogs : public UserDialogs
{
public:
    explicit QtDialogs(QWidget* parent) : parent_(parent) {}

    QString chooseExportToOpen(const QString& startFolder) override;
    QString chooseFileToSave(const QString& startFolder, TextEncoding& encoding) override;
    void showMessage(const QString& text) override;
    std::optional<QString> askSiteAddress(const QString& current) override;

private:
    QWidget* parent_;
};
