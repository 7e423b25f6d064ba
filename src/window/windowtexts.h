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

inline QString exportIsTheExport(const QString& path, const QString& analysed)
{
    return QStringLiteral("Can not write to ") + path +
           QStringLiteral(": it is the export being checked, ") + analysed +
           QStringLiteral(", which Postlint only ever reads.");
}

inline QString unusableDummyTag(const QString& problem)
{
    return QStringLiteral("The Dummy XML Tag must be an XML element name without a colon: ") +
           problem + QStringLiteral(".");
}

inline const QString outOfMemory = QStringLiteral(
    "There is not enough memory to check this export. The tables have been emptied.");

inline QString attributesLeftOut(const QString& summary)
{
    return QStringLiteral("The link table has no column left for these attributes, whose values "
                          "were left out: ") +
           summary + QStringLiteral(".");
}

} // namespace WindowTexts
