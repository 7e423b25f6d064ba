#pragma once

#include "analysis/analysisrun.h"
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
    // Why the export gave no posts to check, or why the check failed; empty when it went through.
    QString problem;

    static RunSummary of(const ResultTables& tables);
};

inline const QString fileNotFound = QStringLiteral("file not found");

// Why a run found no items, for the message after it ("PATH: file not found" for a missing file)
// and, shorter, for the title ("file not found", "no WordPress items: Line 1, column 1: …").
ExportFault noItemsProblem(const QString& exportPath, const AnalysisOutcome& outcome);
QString noItemsInTitle(const AnalysisOutcome& outcome);

// "posts.xml — 186 posts, 12 not well-formed, 41 links, 17 findings — Postlint"; after a cancel,
// "posts.xml — check cancelled after 120 posts: 3 not well-formed, 17 links, 2 findings —
// Postlint"; a problem goes ahead of the counts, where a narrow title bar still shows it:
// "gone.xml — file not found — 0 posts, 0 not well-formed, 0 links, 0 findings — Postlint".
QString windowTitleAfterRun(const QString& exportPath, const RunSummary& summary);
