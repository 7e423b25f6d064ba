#pragma once

#include "window/userdialogs.h"

#include <QStringList>

#include <functional>

// Answers the window's questions from prepared lists and records every message, so that tests
// run without modal dialogs.
class FakeDialogs : public UserDialogs
{
public:
    QStringList openAnswers;
    QStringList saveAnswers;
    QStringList openFolders;
    QStringList saveFolders;
    // The file type picked with each save answer; Latin-1 once the list runs out.
    QList<TextEncoding> saveEncodings;
    QStringList messages;
    // Runs while a message is "on screen", for looking at the window at that moment.
    std::function<void(const QString&)> onMessage;

    QString chooseExportToOpen(const QString& startFolder) override
    {
        openFolders.append(startFolder);
        return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
    }
    QString chooseFileToSave(const QString& startFolder, TextEncoding& encoding) override
    {
        saveFolders.append(startFolder);
        encoding = saveEncodings.isEmpty() ? TextEncoding::Latin1 : saveEncodings.takeFirst();
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    // The answers to the site address question; nothing (cancel) once the list runs out.
    QList<std::optional<QString>> siteAnswers;
    std::optional<QString> askSiteAddress(const QString&) override
    {
        return siteAnswers.isEmpty() ? std::nullopt : siteAnswers.takeFirst();
    }
    void showMessage(const QString& text) override
    {
        messages.append(text);
        if (onMessage)
            onMessage(text);
    }
};
