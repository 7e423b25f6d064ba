#pragma once

#include "exportitem.h"

#include <QString>

// `REASON (in "TITLE", post ID N)`, leaving out what is not known: a fault of the export file as
// both front ends describe it, each putting the fault's place in front in its own way.
QString describeExportFault(const ExportFault& fault);
