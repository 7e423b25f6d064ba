#pragma once

#include "analysis/resulttables.h"

#include <QString>

// What the window's title says about the last run.
struct RunSummary
{
    qint64 posts = 0;
    qint64 notWellFormed = 0;
    qint64 links = 0;
    qint64 findings = 0;
    // Faults in the export file itself, read through.
    qint64 exportFaults = 0;
    bool cancelled = false;

    static RunSummary of(const ResultTables& tables);
};

// "posts.xml — 186 posts, 12 not well-formed, 41 links, 17 findings — Postlint"; after a cancel,
// "posts.xml — check cancelled after 120 posts: 3 not well-formed, 17 links, 2 findings —
// Postlint".
QString windowTitleAfterRun(const QString& exportPath, const RunSummary& summary);
