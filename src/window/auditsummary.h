#pragma once

#include "audit/exportaudit.h"

#include <QString>

class QDialog;
class QWidget;

// The audit's summary as the window shows it: findings per check and severity, the hosts most used
// first, then the shortcodes and blocks, each most used first.
QString auditSummaryText(const AuditSummary& summary);

// A read-only, non-modal view of text, closed with Escape; deleted when closed.
QDialog* openSummaryView(const QString& text, QWidget* parent);
