#pragma once

#include <QtGlobal>

// The one reading of UTF-8 that the export's repair and the names of files share: encoded
// surrogates, overlong forms and code points above U+10FFFF are not valid.
namespace utf8 {

// The length of the UTF-8 sequence at p when valid (1 for ASCII); minus the length of the
// maximal invalid subsequence there; 0 when the available bytes end before that is known and more
// may follow (final false).
inline int sequenceAt(const unsigned char* p, qint64 available, bool final)
{
    const unsigned char lead = p[0];
    if (lead < 0x80)
        return 1;
    int need = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1;
    }
    for (int k = 1; k <= need; ++k) {
        if (k >= available)
            return final ? -k : 0;
        if (p[k] < low || p[k] > high)
            return -k;
        low = 0x80;
        high = 0xBF;
    }
    return need + 1;
}

} // namespace utf8
