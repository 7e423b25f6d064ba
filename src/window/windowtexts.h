#pragma once

#include "analysis/faultdescription.h"

#include <QString>

#include <algorithm>

// The fixed texts the window shows.
namespace WindowTexts {

inline const QString caption = QStringLiteral("Postlint");
inline const QString openFilter = QStringLiteral("WordPress Exports (*.xml)");
inline const QString saveFilter = QStringLiteral("Text (Tab delimited) (*.txt)");
inline const QString saveFilterUtf8 = QStringLiteral("Text (Tab delimited, UTF-8) (*.txt)");
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

// "Line L, column C: REASON (in "TITLE", post ID N)", leaving out what is not known.
inline QString exportFault(const ExportFault& fault)
{
    QString text;
    if (fault.line > 0)
        text = QStringLiteral("Line %1, column %2: ").arg(fault.line).arg(fault.column);
    return text + describeExportFault(fault);
}

// The no-items message's first line, then why.
inline QString noItems(const QString& firstLine, const ExportFault& problem)
{
    if (problem.reason.isEmpty())
        return firstLine;
    return firstLine + QStringLiteral("\n\n") + exportFault(problem);
}

inline constexpr int exportFaultsListed = 10;

// count: every fault found, of which faults holds those kept.
inline QString exportFaults(const QList<ExportFault>& faults, qint64 count)
{
    QString text = count == 1
                       ? QStringLiteral("The export file has a fault; the posts were checked as "
                                        "usual:\n")
                       : QStringLiteral("The export file has %1 faults; the posts were checked as "
                                        "usual:\n")
                             .arg(count);
    for (qsizetype i = 0; i < std::min<qsizetype>(faults.size(), exportFaultsListed); ++i)
        text += QLatin1Char('\n') + exportFault(faults.at(i));
    if (count > exportFaultsListed)
        text += QStringLiteral("\n\nand %1 more.").arg(count - exportFaultsListed);
    return text;
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

inline QString runFailed(const QString& reason)
{
    return QStringLiteral("The export could not be checked: ") + reason +
           QStringLiteral(". The tables have been emptied.");
}

inline const QString nothingChecked = QStringLiteral("Check an export first.");
inline const QString siteAddressQuestion =
    QStringLiteral("The site's address, when the export's is wrong (for example "
                   "https://example.com/blog), used from the next check on; empty: the "
                   "export's own.");

inline QString unusableSiteAddress(const QString& address)
{
    return QStringLiteral("The site's address must be a whole http: or https: URL with a host: ") +
           address + QStringLiteral(".");
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
