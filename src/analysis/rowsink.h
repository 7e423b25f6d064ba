#pragma once

#include "exportreader.h"
#include "postcheck.h"
#include "resulttables.h"

// What keeps the rows of a run: the checked posts arrive here one by one, in file order, on the
// thread that called the run. The window keeps them in its tables; the command-line report
// streams them to its outputs and keeps nothing.
class RowSink
{
public:
    virtual ~RowSink() = default;
    virtual void addPost(const ExportItem& item, const PostReport& report) = 0;
    // What the channel says of the site: once, before the first post (or after the last item
    // was read, when there is none).
    virtual void channel(const ExportChannel&) {}
};

// Appends each post's error row and link rows to the result tables.
class TablesSink : public RowSink
{
public:
    explicit TablesSink(ResultTables& tables) : tables_(tables) {}
    void addPost(const ExportItem& item, const PostReport& report) override
    {
        recordPost(tables_, item.title, CellText::fromUtf8(item.bodyUtf8), report);
    }

private:
    ResultTables& tables_;
};
