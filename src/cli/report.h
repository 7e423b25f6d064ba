#pragma once

#include "analysis/resulttables.h"
#include "export/tabdelimited.h"

#include <QString>

#include <cstdio>

struct ReportOptions
{
    QString exportPath;
    QString dummyTag = QStringLiteral("dummy");
    QString errorsPath; // empty: not written; "-": standard output
    QString linksPath;
    TextEncoding encoding = TextEncoding::Latin1;
    bool quiet = false;
    bool showProgress = false;
};

enum ReportExit
{
    AllWellFormed = 0,
    SomeNotWellFormed = 1,
    UsageOrNoItems = 2,
    OutputFailed = 3
};

// Runs the analysis into tables (reset first) and writes what the options ask for. Fault lines
// and the summary go to `out`, except that they go to `err` when a table is written to standard
// output.
int runReport(const ReportOptions& options, ResultTables& tables, FILE* out, FILE* err);
