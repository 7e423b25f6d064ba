#include "wrappername.h"

#include "xmlchars.h"

#include <QList>

namespace {

bool inRange(char32_t c, char32_t low, char32_t high)
{
    return c >= low && c <= high;
}

// XML 1.0 (fifth edition) NameStartChar, less the colon.
bool canStartName(char32_t c)
{
    return inRange(c, 'A', 'Z') || c == '_' || inRange(c, 'a', 'z') || inRange(c, 0xC0, 0xD6) ||
           inRange(c, 0xD8, 0xF6) || inRange(c, 0xF8, 0x2FF) || inRange(c, 0x370, 0x37D) ||
           inRange(c, 0x37F, 0x1FFF) || inRange(c, 0x200C, 0x200D) || inRange(c, 0x2070, 0x218F) ||
           inRange(c, 0x2C00, 0x2FEF) || inRange(c, 0x3001, 0xD7FF) || inRange(c, 0xF900, 0xFDCF) ||
           inRange(c, 0xFDF0, 0xFFFD) || inRange(c, 0x10000, 0xEFFFF);
}

bool canContinueName(char32_t c)
{
    return canStartName(c) || c == '-' || c == '.' || inRange(c, '0', '9') || c == 0xB7 ||
           inRange(c, 0x300, 0x36F) || inRange(c, 0x203F, 0x2040);
}

QString shown(char32_t c)
{
    const QString code = QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
    if (c < 0x20 || inRange(c, 0xD800, 0xDFFF) || c == 0x7F)
        return code;
    return QStringLiteral("\"%1\" (%2)").arg(QString::fromUcs4(&c, 1), code);
}

} // namespace

QString wrapperNameProblem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("the name is empty");
    // Characters, not UTF-16 units: a name of characters beyond U+FFFF has as many as it shows.
    if (name.size() > wrapperNameMaxLength &&
        QStringView(name).toUcs4().size() > wrapperNameMaxLength)
        return QStringLiteral("the name is longer than %1 characters").arg(wrapperNameMaxLength);
    // Blanks after the name still make a well-formed start and end tag ("<dummy >"), so a name
    // typed with a trailing blank keeps working as it always has.
    qsizetype end = name.size();
    while (end > 0 && xmlchars::isSpace(name.at(end - 1).unicode()))
        --end;
    if (end == 0)
        return QStringLiteral("the name holds only blanks");
    bool first = true;
    for (qsizetype i = 0; i < end; ++i) {
        char32_t c = name.at(i).unicode();
        // A surrogate without its partner stands for no character, and toUcs4 would let it pass
        // as U+FFFD.
        if (name.at(i).isHighSurrogate() && i + 1 < end && name.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        if (c == ':')
            return QStringLiteral("the name holds a colon, which would make it a namespace prefix");
        if (first && !canStartName(c))
            return QStringLiteral("an element name cannot start with %1").arg(shown(c));
        if (!canContinueName(c))
            return QStringLiteral("an element name cannot hold %1").arg(shown(c));
        first = false;
    }
    return {};
}
