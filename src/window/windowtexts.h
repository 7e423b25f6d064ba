#pragma once

#include <QString>

// The fixed texts the window shows.
namespace WindowTexts {

inline const QString caption = QStringLiteral("Postlint");
inline const QString openFilter = QStringLiteral("WordPress Exports (*.xml)");
inline const QString saveFilter = QStringLiteral("Text (Tab delimited) (*.txt)");
inline const QString defaultDummyTag = QStringLiteral("dummy");
inline const QString emptyDummyTag =
    QStringLiteral("Dummy tags encapsulate the raw HTML to allow XML parsing, \nit can not be "
                   "empty and must be unique.");
inline const QString nothingToExport = QStringLiteral("Nothing to export.");
inline const QString exportComplete = QStringLiteral("Complete.");

inline QString exportRefused(const QString& path)
{
    return QStringLiteral("Can not write to ") + path + QStringLiteral(". Perhaps it is open.");
}

inline QString exportFailed(const QString& path, const QString& reason)
{
    return QStringLiteral("Can not write to ") + path + QStringLiteral(": ") + reason;
}

} // namespace WindowTexts
