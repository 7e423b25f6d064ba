#pragma once

#include "analysis/linkcolumns.h"
#include "analysis/postcheck.h"
#include "analysis/resulttables.h"

// Checks one post and records it as a run does: exactly one new error row, and link rows for a
// body that parsed.
inline void checkPost(ResultTables& tables, const QString& title, const QString& body,
                      const QString& dummyTag)
{
    recordPost(tables, title, body, checkPostBody(body.toUtf8(), dummyTag));
}
