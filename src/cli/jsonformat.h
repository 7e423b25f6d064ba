#pragma once

#include "faultformat.h"

std::unique_ptr<FaultFormat> makeJsonFormat(const FormatSettings& settings, FILE* out);
