#pragma once

#include <QString>

// What a rule of the SARIF report says of the faults it groups: a one-line description and a
// help text of what usually causes them in a WordPress post or export, and how to mend it.
struct FaultHelp
{
    QString description;
    QString help;
};

// For one of libxml2's error codes; reason, the first fault's own, describes a code that has no
// text of its own here.
FaultHelp postFaultHelp(int code, const QString& reason);

// For the faults of the export file itself.
FaultHelp exportFaultHelp();
