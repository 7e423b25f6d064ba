// The audit's parts of the window that are not the findings view: its summary and the site's
// address named by the user.
#include "form1.h"

#include "auditedtables.h"
#include "auditsummary.h"
#include "windowtexts.h"

#include "analysis/nativepath.h"
#include "export/outputpaths.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QTreeView>
#include <QUrl>

void Form1::createAuditTools()
{
    auto* summary = new QAction(QStringLiteral("Audit S&ummary…"), ListView1);
    summary->setObjectName(QStringLiteral("AuditSummaryAction"));
    summary->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    summary->setShortcutContext(Qt::WindowShortcut);
    addAction(summary);
    ListView1->addAction(summary);
    connect(summary, &QAction::triggered, this, &Form1::showAuditSummary);

    auto* site = new QAction(QStringLiteral("Site Addr&ess…"), ListView1);
    site->setObjectName(QStringLiteral("SiteAddressAction"));
    addAction(site);
    ListView1->addAction(site);
    connect(site, &QAction::triggered, this, &Form1::nameSiteAddress);
}

AnalysisOutcome Form1::analyseAndAudit(const QString& path, const AnalysisOptions& options)
{
    tables_.reset();
    auditSummary_ = {};
    // Read a second time only for the places of the findings, which have none without it; a pipe
    // cannot be read twice.
    QFile exportFile;
    if (identifyPath(path).regular && !openForReading(exportFile, path).isEmpty())
        exportFile.close();
    AuditedTablesSink sink(tables_, {{}, {}, siteAddress_, {}}, &exportFile);
    AnalysisOptions audited = options;
    audited.bodyReadings = postScanReadings();
    const AnalysisOutcome outcome = loadExport(path, sink, audited);
    if (!outcome.foundItems)
        tables_.reset();
    // A cancelled run's audit is left undecided: what waits for the whole export would be
    // decided on part of it, and its summary would count part of the posts.
    else if (!outcome.cancelled) {
        sink.finish();
        auditSummary_ = sink.summary();
    }
    return outcome;
}

void Form1::showAuditSummary()
{
    if (!tables_.exist()) {
        dialogs_->showMessage(WindowTexts::nothingChecked);
        return;
    }
    delete summaryView_;
    summaryView_ = openSummaryView(auditSummaryText(auditSummary_), this);
}

void Form1::nameSiteAddress()
{
    const std::optional<QString> address = dialogs_->askSiteAddress(siteAddress_);
    if (!address)
        return;
    const QString named = address->trimmed();
    const QUrl url(named, QUrl::StrictMode);
    if (!named.isEmpty() && (!url.isValid() || url.host().isEmpty() ||
                             (url.scheme() != u"http" && url.scheme() != u"https"))) {
        dialogs_->showMessage(WindowTexts::unusableSiteAddress(named));
        return;
    }
    siteAddress_ = named;
}
