#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <algorithm>

// Nearly every URL, path and name an export holds is ASCII: converted by hand between UTF-8 and
// UTF-16, such a text needs no general conversion, and written into a string kept for the
// purpose, no allocation of its own either.

// Sets room to the UTF-8 text, reusing its allocation when the text is ASCII: QString's
// assignment of Latin-1 text does, and ASCII reads the same in either.
inline void setFromUtf8(QString& room, QByteArrayView utf8)
{
    if (std::all_of(utf8.begin(), utf8.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        room = QLatin1StringView(utf8.data(), utf8.size());
    else
        room = QString::fromUtf8(utf8);
}

// Appends the text to utf8 as UTF-8.
inline void appendUtf8(QByteArray& utf8, QStringView text)
{
    if (!std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        utf8.append(text.toUtf8());
        return;
    }
    const qsizetype at = utf8.size();
    utf8.resize(at + text.size());
    std::transform(text.begin(), text.end(), utf8.data() + at,
                   [](QChar c) { return char(c.unicode()); });
}
