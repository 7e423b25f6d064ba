#include "auditsummary.h"

#include <QDialog>
#include <QFontDatabase>
#include <QLocale>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

QString number(qint64 value)
{
    return QLocale().toString(value);
}

// The names of counts, most used first, ties by name so that the text is the same every run.
QString countedNames(const QString& heading, const QHash<QString, qint64>& counts)
{
    std::vector<std::pair<QString, qint64>> sorted(counts.keyValueBegin(), counts.keyValueEnd());
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    QString text =
        heading + QStringLiteral(" (") + number(qint64(sorted.size())) + QStringLiteral(")\n");
    for (const auto& [name, count] : sorted)
        text += QStringLiteral("  ") + name + u'\t' + number(count) + u'\n';
    return text;
}

} // namespace

QString auditSummaryText(const AuditSummary& summary)
{
    QString text = QStringLiteral("Checks\tErrors\tWarnings\tNotes\n");
    for (auto it = summary.checks.begin(); it != summary.checks.end(); ++it)
        text += QStringLiteral("  ") + it.key() + u'\t' + number(it.value()[0]) + u'\t' +
                number(it.value()[1]) + u'\t' + number(it.value()[2]) + u'\n';
    text += QStringLiteral("\nHosts (") + number(summary.hosts.size()) +
            QStringLiteral(")\tClass\tURLs\tLoaded\tWith http:\n");
    for (const AuditSummary::Host& host : summary.hosts)
        text += QStringLiteral("  ") + host.host + u'\t' + urlClassName(host.urlClass) + u'\t' +
                number(host.urls) + u'\t' + number(host.loaded) + u'\t' + number(host.insecure) +
                u'\n';
    text += u'\n' + countedNames(QStringLiteral("Shortcodes"), summary.shortcodes);
    text += u'\n' + countedNames(QStringLiteral("Blocks"), summary.blocks);
    return text;
}

QDialog* openSummaryView(const QString& text, QWidget* parent)
{
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("AuditSummary"));
    dialog->setWindowTitle(QStringLiteral("Audit Summary"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* view = new QPlainTextEdit(dialog);
    view->setObjectName(QStringLiteral("SummaryText"));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setTabStopDistance(view->fontMetrics().horizontalAdvance(u'x') * 12);
    view->setPlainText(text);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(view);
    dialog->resize(640, 480);
    dialog->show();
    return dialog;
}
