#include "markupguard.h"

#include "bytecount.h"
#include "xmlchars.h"

#include <algorithm>
#include <cstring>

namespace markupguard {

namespace {

// Whether the keyword read so far can still become `word`.
bool couldBecome(const char* keyword, int length, const char* word)
{
    return int(std::strlen(word)) >= length && std::strncmp(keyword, word, size_t(length)) == 0;
}

bool is(const char* keyword, int length, const char* word)
{
    return int(std::strlen(word)) == length && std::strncmp(keyword, word, size_t(length)) == 0;
}

} // namespace

void Guard::fail(qint64 offset, QString reason)
{
    violation_ = Violation{offset, std::move(reason)};
}

void Guard::enter(State state)
{
    state_ = state;
    previous_[0] = previous_[1] = 0;
}

bool Guard::endsWith(char32_t a, char32_t b, char32_t unit) const
{
    return unit == '>' && previous_[0] == a && previous_[1] == b;
}

void Guard::checkMarkupLength()
{
    if (markupLengthLimit_ <= 0)
        return;
    const bool inDoctype = state_ >= State::Doctype;
    const qint64 start = inDoctype ? doctypeStart_ : markupStart_;
    const bool bounded = inDoctype || state_ == State::Comment || state_ == State::StartTag ||
                         state_ == State::StartTagQuoted || state_ == State::ProcessingInstruction;
    if (bounded && position_ - start >= markupLengthLimit_)
        fail(start, QStringLiteral("Excessive length of markup: more than %1 characters in one "
                                   "comment, tag, processing instruction or document type "
                                   "declaration")
                        .arg(markupLengthLimit_));
}

bool Guard::cdataSplitPoint(qint64 length, bool endsCharacter)
{
    // A unit after which no "]]>" can be under way, and that ends a character.
    const char32_t last = previous_[1];
    const bool safe = last == '>' || ((last < 0x80 || endsCharacter) && last != ']');
    if (state_ != State::CData || !safe || position_ - cdataPieceStart_ < length)
        return false;
    cdataPieceStart_ = position_;
    return true;
}

bool Guard::feed(char32_t unit)
{
    if (violation_)
        return false;
    ++position_;
    if (state_ >= State::Doctype)
        feedDoctype(unit);
    else
        feedContent(unit);
    previous_[0] = previous_[1];
    previous_[1] = unit;
    if (!violation_)
        checkMarkupLength();
    return !violation_;
}

void Guard::feedContent(char32_t unit)
{
    switch (state_) {
    case State::Text:
        if (unit == '<') {
            markupStart_ = position_;
            enter(State::TagOpen);
        }
        break;
    case State::TagOpen:
        feedTagOpen(unit);
        break;
    case State::Declaration:
        feedDeclaration(unit);
        break;
    case State::Comment:
        if (endsWith('-', '-', unit))
            enter(State::Text);
        break;
    case State::CData:
        if (endsWith(']', ']', unit))
            enter(State::Text);
        break;
    case State::ProcessingInstruction:
        if (unit == '>' && previous_[1] == '?')
            enter(State::Text);
        break;
    case State::StartTag:
        feedStartTag(unit);
        break;
    case State::StartTagQuoted:
        if (unit == quote_)
            state_ = State::StartTag;
        break;
    default:
        break;
    }
}

void Guard::feedTagOpen(char32_t unit)
{
    if (unit == '!') {
        keywordLength_ = 0;
        enter(State::Declaration);
    } else if (unit == '?') {
        enter(State::ProcessingInstruction);
    } else if (xmlchars::mayStartName(unit)) {
        attributes_ = 0;
        enter(State::StartTag);
    } else if (unit == '/') {
        depth_ = std::max(0, depth_ - 1);
        enter(State::Text);
    } else if (unit != '<') {
        enter(State::Text);
    } else {
        markupStart_ = position_;
    }
}

void Guard::feedStartTag(char32_t unit)
{
    if (xmlchars::isQuote(unit)) {
        quote_ = unit;
        state_ = State::StartTagQuoted;
    } else if (unit == '=') {
        if (++attributes_ > attributeLimit)
            fail(markupStart_, QStringLiteral("Excessive number of attributes: more than %1 "
                                              "on one element")
                                   .arg(attributeLimit));
    } else if (unit == '>') {
        if (previous_[1] != '/' && ++depth_ > depthLimit_ && depthLimit_ > 0)
            fail(markupStart_, QStringLiteral("Excessive depth in document: %1 use "
                                              "XML_PARSE_HUGE option")
                                   .arg(depthLimit_));
        enter(State::Text);
    } else if (unit == '<') {
        markupStart_ = position_;
        enter(State::TagOpen);
    }
}

void Guard::feedDoctype(char32_t unit)
{
    switch (state_) {
    case State::Doctype:
        if (xmlchars::isQuote(unit)) {
            quote_ = unit;
            state_ = State::DoctypeQuoted;
        } else if (unit == '[') {
            enter(State::Subset);
        } else if (unit == '>') {
            enter(State::Text);
        }
        break;
    case State::DoctypeQuoted:
        if (unit == quote_)
            state_ = State::Doctype;
        break;
    case State::Subset:
        feedSubset(unit);
        break;
    case State::SubsetOpen:
        feedSubsetOpen(unit);
        break;
    case State::SubsetKeyword:
        // The unit after the keyword belongs to the declaration.
        if (feedSubsetKeyword(unit))
            feedSubsetMarkup(unit);
        break;
    case State::SubsetMarkup:
        feedSubsetMarkup(unit);
        break;
    case State::SubsetPercent:
        feedSubsetPercent(unit);
        break;
    case State::SubsetLiteral:
        feedSubsetLiteral(unit);
        break;
    case State::SubsetComment:
        if (endsWith('-', '-', unit))
            enter(State::Subset);
        break;
    case State::SubsetProcessingInstruction:
        if (unit == '>' && previous_[1] == '?')
            enter(State::Subset);
        break;
    default:
        break;
    }
}

void Guard::feedSubset(char32_t unit)
{
    if (unit == '<') {
        markupStart_ = position_;
        enter(State::SubsetOpen);
    } else if (unit == '%') {
        stateAfterPercent_ = State::Subset;
        state_ = State::SubsetPercent;
    } else if (unit == ']') {
        enter(State::Doctype);
    }
}

void Guard::feedSubsetOpen(char32_t unit)
{
    if (unit == '!') {
        keywordLength_ = 0;
        enter(State::SubsetKeyword);
    } else if (unit == '?') {
        enter(State::SubsetProcessingInstruction);
    } else {
        enter(State::SubsetMarkup);
    }
}

void Guard::feedSubsetMarkup(char32_t unit)
{
    if (xmlchars::isQuote(unit)) {
        quote_ = unit;
        literalMarkup_ = 0;
        state_ = State::SubsetLiteral;
        // Every default that a DTD gives an attribute is a quoted literal of an ATTLIST.
        if (inAttributeList_ && ++attributeDefaults_ > attributeDefaultLimit)
            fail(markupStart_, QStringLiteral("Excessive number of attribute defaults: more "
                                              "than %1 in the document type declaration")
                                   .arg(attributeDefaultLimit));
    } else if (unit == '%') {
        stateAfterPercent_ = State::SubsetMarkup;
        state_ = State::SubsetPercent;
    } else if (unit == '>') {
        inAttributeList_ = false;
        enter(State::Subset);
    }
}

void Guard::feedSubsetPercent(char32_t unit)
{
    // "<!ENTITY % name" declares a parameter entity; "%name;" uses one, and what it stands
    // for is read by libxml2 alone, out of this guard's sight.
    if (xmlchars::mayStartName(unit)) {
        fail(position_ - 1, QStringLiteral("Parameter entity reference in the document "
                                           "type declaration: not read"));
    } else {
        state_ = stateAfterPercent_;
    }
}

void Guard::feedSubsetLiteral(char32_t unit)
{
    // An entity's text becomes markup where the entity is used, and each attribute there
    // needs a '=' written out or as a character reference; so does each nested reference.
    if (unit == quote_) {
        state_ = State::SubsetMarkup;
    } else if ((unit == '=' || unit == '&') && ++literalMarkup_ > attributeLimit) {
        fail(markupStart_, QStringLiteral("Excessive number of attributes: more than %1 in "
                                          "one entity of the document type declaration")
                               .arg(attributeLimit));
    }
}

void Guard::feedDeclaration(char32_t unit)
{
    if (keywordLength_ < int(sizeof keyword_))
        keyword_[keywordLength_++] = char(unit < 0x80 ? unit : 0);
    if (is(keyword_, keywordLength_, "--")) {
        enter(State::Comment);
    } else if (is(keyword_, keywordLength_, "[CDATA[")) {
        cdataPieceStart_ = position_;
        enter(State::CData);
    } else if (is(keyword_, keywordLength_, "DOCTYPE")) {
        doctypeStart_ = markupStart_;
        enter(State::Doctype);
    } else if (!couldBecome(keyword_, keywordLength_, "--") &&
               !couldBecome(keyword_, keywordLength_, "[CDATA[") &&
               !couldBecome(keyword_, keywordLength_, "DOCTYPE")) {
        // Not XML; libxml2 reports it. Read on as text, minding a '<' that starts a tag.
        if (unit == '<') {
            markupStart_ = position_;
            enter(State::TagOpen);
        } else {
            enter(State::Text);
        }
    }
}

bool Guard::feedSubsetKeyword(char32_t unit)
{
    if (unit >= 'A' && unit <= 'Z' && keywordLength_ < int(sizeof keyword_)) {
        keyword_[keywordLength_++] = char(unit);
        return false;
    }
    if (unit == '-' && keywordLength_ < 2 && (keywordLength_ == 0 || keyword_[0] == '-')) {
        keyword_[keywordLength_++] = '-';
        if (keywordLength_ == 2)
            enter(State::SubsetComment);
        return false;
    }
    inAttributeList_ = is(keyword_, keywordLength_, "ATTLIST");
    enter(State::SubsetMarkup);
    return true;
}

} // namespace markupguard
