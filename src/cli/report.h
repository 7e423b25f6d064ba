#pragma once

#include "faultformat.h"
#include "reportaudit.h"

#include "export/tabdelimited.h"

#include <QString>
#include <QStringList>

#include <cstdio>

struct ReportOptions
{
    QStringList exportPaths;
    QString dummyTag = QStringLiteral("dummy");
    QString errorsPath; // empty: not written; "-": standard output
    QString linksPath;
    TextEncoding encoding = TextEncoding::Latin1;
    FormatSettings format;
    AuditSettings audit;
    bool showProgress = false;
};

enum ReportExit
{
    AllWellFormed = 0,
    SomeNotWellFormed = 1,
    UsageOrNoItems = 2,
    OutputFailed = 3
};

// Checks every export in turn and reports on each as the options ask; returns the worst exit
// status of them all. The report goes to `out`, except that text lines go to `err` when a table
// is written to standard output; progress and problems go to `err`.
int runReport(const ReportOptions& options, FILE* out, FILE* err);
