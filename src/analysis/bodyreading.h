#pragma once

#include "exportitem.h"

#include <QByteArray>
#include <QByteArrayView>

#include <any>
#include <functional>
#include <memory>
#include <span>

// An attribute as a parse of a post's body delivers it.
struct MarkupAttribute
{
    QByteArrayView name;
    QByteArrayView value;
    bool hasValue = true; // false for a bare HTML attribute such as `alt`
};

// Follows a parse of a post's body, event by event, in body order. Names come as written (a
// prefix included), values with their references decoded. Offsets count the body's bytes: an
// element's is where the parser stands at the end of its start tag, an end's just after the end
// tag (or the "/>" of an empty element), a comment's just after its "-->".
class MarkupEvents
{
public:
    virtual ~MarkupEvents() = default;
    virtual void startElement(QByteArrayView name, std::span<const MarkupAttribute> attributes,
                              qint64 offset) = 0;
    virtual void endElement(QByteArrayView name, qint64 offset) = 0;
    virtual void text(QByteArrayView chunk) = 0;
    virtual void comment(QByteArrayView content, qint64 offset) = 0;
};

// The events of a parse of a piece of the body that starts shift bytes in, their offsets counted
// from the body's start, passed on.
class ShiftedEvents : public MarkupEvents
{
public:
    ShiftedEvents(MarkupEvents& events, qint64 shift) : events_(events), shift_(shift) {}

    void startElement(QByteArrayView name, std::span<const MarkupAttribute> attributes,
                      qint64 offset) override
    {
        events_.startElement(name, attributes, offset + shift_);
    }
    void endElement(QByteArrayView name, qint64 offset) override
    {
        events_.endElement(name, offset + shift_);
    }
    void text(QByteArrayView chunk) override { events_.text(chunk); }
    void comment(QByteArrayView content, qint64 offset) override
    {
        events_.comment(content, offset + shift_);
    }

private:
    MarkupEvents& events_;
    qint64 shift_;
};

// A further reading of each post, made beside its check on the thread that checks it, so that
// a post is parsed once for both. One reading belongs to one thread and serves post after post.
class BodyReading
{
public:
    virtual ~BodyReading() = default;
    // Before the check of the item's body: what follows the check's parse, or null for nothing.
    // The item stays as it is until end().
    virtual MarkupEvents* begin(const ExportItem& item) = 0;
    // After it. parsed says that the parse went through the whole body, every event delivered;
    // otherwise the events stopped at the body's first fault. What comes back travels with the
    // post's report to whoever records it.
    virtual std::any end(bool parsed) = 0;
};

// Makes one reading for each thread that checks posts.
using BodyReadingFactory = std::function<std::unique_ptr<BodyReading>()>;
