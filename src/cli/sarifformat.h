#pragma once

#include "faultformat.h"

std::unique_ptr<FaultFormat> makeSarifFormat(const FormatSettings& settings, FILE* out);

// SARIF names a file by URI: a relative path stays relative, percent-encoded.
QString sarifUri(const QString& path);
