#pragma once

#include "exportposition.h"

#include <deque>
#include <string>

// Finds, in the raw bytes of an export as they are read, where the body of each
// `rss/channel/item` starts: the position right after the `<content:encoded>` start tag. The
// XML parser keeps no byte positions in the nodes it builds, so this light scanner reads the same
// bytes beside it, knowing only what it needs: tags, comments, CDATA sections, processing
// instructions and the document type declaration. It works on ASCII-based encodings (UTF-8 in
// practice); for anything else it finds no body, and positions are reported as unknown.
class BodyLocator
{
public:
    void feed(const char* data, qint64 size);
    // The body start of the next item in file order, unknown when that item has no
    // `content:encoded` child or the scanner lost its way.
    ExportPosition takeNextItem();

private:
    enum class State
    {
        Text,
        MarkupOpen,
        StartTag,
        StartTagQuoted,
        EndTag,
        Comment,
        CData,
        ProcessingInstruction,
        Doctype,
    };

    qint64 feedText(const char* data, qint64 size);
    qint64 feedUntil(const char* data, qint64 size, char repeated, int count);
    void feedMarkupOpen(char byte);
    void feedStartTag(char byte, qint64 offset);
    void feedEndTag(char byte);
    void feedDoctype(char byte);
    void openElement(qint64 offsetAfterTag);
    void closeElement();
    void counterTo(qint64 offset);

    const char* chunk_ = nullptr;
    qint64 chunkStart_ = 0;
    LineCounter counter_;
    State state_ = State::Text;
    std::string markup_; // the first bytes after '<', or a tag's name
    bool nameDone_ = false;
    bool emptyElement_ = false;
    char quote_ = 0;
    int terminatorMatched_ = 0;
    int subsetDepth_ = 0;
    int depth_ = 0;
    bool rootIsRss_ = false;
    bool inChannel_ = false;
    bool inItem_ = false;
    ExportPosition currentBody_;
    std::deque<ExportPosition> items_;
};
