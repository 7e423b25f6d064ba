#pragma once

#include "export/tabdelimited.h"

#include <QString>

#include <optional>

// The modal questions and messages of the window. The window asks through this interface so that
// it can be driven without anyone at the screen.
class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    // The full path of the WordPress export the user picked, or the empty text when none was.
    virtual QString chooseExportToOpen(const QString& startFolder) = 0;
    // The full path the user chose to save to, exactly as typed, or the empty text; encoding
    // receives the file type the user picked.
    virtual QString chooseFileToSave(const QString& startFolder, TextEncoding& encoding) = 0;
    // Shows text and waits until the user has closed the message.
    virtual void showMessage(const QString& text) = 0;
    // The site's address as the user names it, starting from current; nothing when the user
    // cancelled. The empty text goes back to the export's own address.
    virtual std::optional<QString> askSiteAddress(const QString& current) = 0;
};
