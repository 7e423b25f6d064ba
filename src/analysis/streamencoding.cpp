// How the byte-stream guard learns the encoding of an export: the width and byte order of its
// units from the first four bytes, and for byte-oriented files the encoding its declaration names.

#include "markupguard.h"

#include "bytecount.h"

#include <QRegularExpression>

#include <algorithm>

namespace markupguard {

namespace {

struct Detected
{
    int width;
    bool bigEndian;
};

// The unit width from an export's first four bytes, as XML's own autodetection finds it.
Detected detect(const unsigned char* b)
{
    if (b[0] == 0 && b[1] == 0 && ((b[2] == 0xFE && b[3] == 0xFF) || (b[2] == 0 && b[3] == '<')))
        return {4, true};
    if ((b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) ||
        (b[0] == '<' && b[1] == 0 && b[2] == 0 && b[3] == 0))
        return {4, false};
    if ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0 && b[1] == '<' && b[2] == 0 && b[3] == '?'))
        return {2, true};
    if ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == '<' && b[1] == 0 && b[2] == '?' && b[3] == 0))
        return {2, false};
    return {1, false};
}

// Encodings in which every byte below 0x80 is the ASCII character it looks like, at least for the
// bytes of markup, so that the guard reads the same markup as libxml2. Others (UTF-7, the
// ISO-2022 family, EBCDIC...) hide markup from the guard and are refused.
bool isAsciiTransparent(const QByteArray& encoding)
{
    // Code pages by number only where they are ASCII-based: the EBCDIC ones (37, 273-297, 420,
    // 424, 500, 870-875, 1026, 1140-1149) and Unicode ones (1200, 65000...) are left out.
    static const QRegularExpression known(
        QStringLiteral("^(UTF-?8|US-ASCII|ASCII|ISO[-_]?8859-\\d+|ISO-LATIN-\\d|LATIN-?\\d|L\\d|"
                       "(WINDOWS|CP)-?(437|7\\d\\d|8[0-6]\\d|874|932|936|949|950|125\\d)|"
                       "WINDOWS-31J|KOI8-[A-Z]+|SHIFT[-_]JIS|SJIS|MS_KANJI|EUC-?[A-Z]+|GB2312|GBK|"
                       "GB18030|BIG-?5(-HKSCS)?|TIS-620|MAC(INTOSH|ROMAN)?)$"),
        QRegularExpression::CaseInsensitiveOption);
    return known.match(QString::fromLatin1(encoding).trimmed()).hasMatch();
}

} // namespace

qint64 ByteStreamGuard::readHead(const char* data, qint64 size, QByteArray& output)
{
    // The first bytes pass through unguarded until the encoding is known; nothing in four
    // bytes can need guarding.
    const qint64 taken = std::min<qint64>(size, 4 - head_.size());
    head_.append(data, taken);
    output.append(data, taken);
    lines_ += countByte(data, taken, '\n');
    if (head_.size() < 4)
        return taken;
    const auto* head = reinterpret_cast<const unsigned char*>(head_.constData());
    if (head[0] == 0x4C && head[1] == 0x6F && head[2] == 0xA7 && head[3] == 0x94) {
        refused_ = Violation{0, QStringLiteral("EBCDIC is not supported")};
        return taken;
    }
    const Detected detected = detect(head);
    unitWidth_ = detected.width;
    bigEndian_ = detected.bigEndian;
    // Files of wider units are decoded by libxml2 as UTF-16 or UCS-4, whatever they declare.
    declarationRead_ = unitWidth_ != 1;
    QByteArray ignored;
    feedUnits(head, 4, ignored, false);
    return taken;
}

void ByteStreamGuard::readDeclaration(char32_t unit)
{
    static const char byteOrderMark[] = "\xEF\xBB\xBF";
    if (declaration_.isEmpty() && bomSkipped_ < 3 && char(unit) == byteOrderMark[bomSkipped_]) {
        ++bomSkipped_;
        return;
    }
    declaration_.append(char(unit));
    static const QByteArray start = "<?xml";
    const qsizetype compared = std::min(declaration_.size(), start.size());
    if (declaration_.left(compared) != start.left(compared)) {
        declarationRead_ = true; // no declaration: UTF-8
        return;
    }
    if (!declaration_.endsWith("?>"))
        return;
    declarationRead_ = true;
    static const QRegularExpression encodingPattern(
        QStringLiteral("encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
    const QRegularExpressionMatch match = encodingPattern.match(QString::fromLatin1(declaration_));
    if (match.hasMatch() && !isAsciiTransparent(match.captured(1).toLatin1()))
        refused_ =
            Violation{0, QStringLiteral("The encoding %1 is not supported").arg(match.captured(1))};
}

} // namespace markupguard
