#pragma once

#include "attributenames.h"
#include "bodyreading.h"
#include "foundlink.h"
#include "tablerows.h"

#include <QByteArray>
#include <QString>

#include <any>
#include <memory>
#include <vector>

// The outcome of parsing one wrapped post body: the first fault (code 0 when the body parsed)
// and, for a body that parsed, its top-level links and images.
struct PostReport
{
    int errorCode = 0;
    QString reason;
    int line = 0;
    int pos = 0; // UTF-16 position in the line, from 1
    QByteArray sourceUtf8;
    // Where the fault lies in the body's own UTF-8 bytes (the body's length for a fault found at
    // the closing wrapper tag); -1 when the body parsed or the place is not known.
    qint64 bodyOffset = -1;
    std::vector<FoundLink> links;
    // What a further reading of the body made of it beside the check, if one was asked for.
    std::any reading;
};

// The declaration that starts every wrapped post; positions on line 1 count from its first
// character.
inline constexpr char wrapperDeclaration[] = R"(<?xml version="1.0" encoding="UTF-8"?>)";

// Checks post after post on one thread, keeping what one check can leave to the next: the parser,
// the buffer the wrapped body is built in and the attribute names already met, so that a run of a
// hundred thousand posts does not make them anew for each. Each check parses
// "<declaration><tag>body</tag>" from the start, as a fresh parser would. Checkers on several
// threads may run at once once libxml::initialize() has run; one checker belongs to one thread.
class PostChecker
{
public:
    explicit PostChecker(const QString& dummyTag);
    ~PostChecker();
    PostChecker(const PostChecker&) = delete;
    PostChecker& operator=(const PostChecker&) = delete;

    PostReport check(const QByteArray& bodyUtf8);
    // The item's body, with reading, when given, following the same parse (see bodyreading.h).
    PostReport check(const ExportItem& item, BodyReading* reading);
    // A body with events following its parse, up to its first fault; its links are not looked
    // for.
    PostReport check(const QByteArray& bodyUtf8, MarkupEvents& events);

private:
    class ReusedParser;

    PostReport parseBody(const QByteArray& bodyUtf8, MarkupEvents* events, bool findLinks = true);

    QByteArray tagUtf8_;
    std::unique_ptr<ReusedParser> parser_;
    QByteArray wrapped_;
    AttributeNames names_;
};

// One check with a checker of its own.
PostReport checkPostBody(const QByteArray& bodyUtf8, const QString& dummyTag);

// The post's error row: its title, its body and the report's cells, the Narrowed excerpt
// included, with the numbers behind them. The window's table and the report's file are both
// built from it.
ErrorRow errorRowOf(const QString& title, const CellText& body, const PostReport& report);

struct ResultTables;

// Appends the post's error row and its link rows.
void recordPost(ResultTables& tables, const QString& title, const CellText& body,
                const PostReport& report);
