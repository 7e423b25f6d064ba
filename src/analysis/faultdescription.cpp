#include "faultdescription.h"

QString describeExportFault(const ExportFault& fault)
{
    QString text = fault.reason;
    if (fault.inItem && !fault.reasonNamesItem) {
        text += QStringLiteral(" (in \"%1\"").arg(fault.itemTitle);
        // An item whose fault comes before its `wp:post_id` has no ID to name yet.
        if (!fault.postId.isEmpty())
            text += QStringLiteral(", post ID %1").arg(fault.postId);
        text += QLatin1Char(')');
    }
    return text;
}
