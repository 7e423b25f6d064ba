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

using Rows = std::vector<QStringList>;

// Rows as columns of a fixed-width font, each as wide as its widest cell and two blanks, so that
// a long host or block name does not push its counts out from under their heading; the rows
// under the heading row are indented.
QString aligned(Rows rows)
{
    std::vector<qsizetype> widths;
    for (size_t index = 0; index < rows.size(); ++index) {
        QStringList& row = rows[index];
        if (index > 0 && !row.isEmpty())
            row.front().prepend(QStringLiteral("  "));
        widths.resize(std::max(widths.size(), size_t(row.size())));
        for (qsizetype column = 0; column < row.size(); ++column)
            widths[size_t(column)] = std::max(widths[size_t(column)], row[column].size());
    }
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype column = 0; column + 1 < row.size(); ++column)
            line += row[column].leftJustified(widths[size_t(column)] + 2);
        line += row.isEmpty() ? QString() : row.back();
        while (line.endsWith(u' '))
            line.chop(1);
        text += line + u'\n';
    }
    return text;
}

// The names of counts, most used first, ties by name so that the text is the same every run.
QString countedNames(const QString& heading, const QHash<QString, qint64>& counts)
{
    std::vector<std::pair<QString, qint64>> sorted(counts.keyValueBegin(), counts.keyValueEnd());
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    Rows rows{{heading + QStringLiteral(" (") + number(qint64(sorted.size())) + u')'}};
    for (const auto& [name, count] : sorted)
        rows.push_back({name, number(count)});
    return aligned(rows);
}

} // namespace

QString auditSummaryText(const AuditSummary& summary)
{
    Rows checks{{QStringLiteral("Checks"), QStringLiteral("Errors"), QStringLiteral("Warnings"),
                 QStringLiteral("Notes")}};
    for (auto it = summary.checks.begin(); it != summary.checks.end(); ++it)
        checks.push_back(
            {it.key(), number(it.value()[0]), number(it.value()[1]), number(it.value()[2])});
    Rows hosts{{QStringLiteral("Hosts (") + number(summary.hosts.size()) + u')',
                QStringLiteral("Class"), QStringLiteral("URLs"), QStringLiteral("Loaded"),
                QStringLiteral("With http:")}};
    for (const AuditSummary::Host& host : summary.hosts)
        hosts.push_back({host.host, urlClassName(host.urlClass), number(host.urls),
                         number(host.loaded), number(host.insecure)});
    return aligned(checks) + u'\n' + aligned(hosts) + u'\n' +
           countedNames(QStringLiteral("Shortcodes"), summary.shortcodes) + u'\n' +
           countedNames(QStringLiteral("Blocks"), summary.blocks);
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
    view->setPlainText(text);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(view);
    dialog->resize(640, 480);
    dialog->show();
    return dialog;
}
