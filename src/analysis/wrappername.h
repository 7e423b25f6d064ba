#pragma once

#include <QString>

// The longest dummy tag name accepted. libxml2 reads far longer names, but every post carries the
// name twice, and no one names an element with a page of text.
inline constexpr qsizetype wrapperNameMaxLength = 1000;

// Why name cannot be the element that wraps each post body, or the empty text when it can. The
// name must be an XML name without a colon (a colon would ask for a namespace prefix that no post
// declares), possibly followed by blanks, at most wrapperNameMaxLength characters long; any other
// name makes every post fail to parse before its own HTML is even looked at.
QString wrapperNameProblem(const QString& name);
