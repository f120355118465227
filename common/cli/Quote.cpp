#include "cli/Quote.h"

#include <cstdio>

namespace cli {

namespace {

// Length of the well-formed UTF-8 sequence at s[i] for a printable character
// from U+00A0 on (accented letters of names and texts), or 0: C1 controls,
// overlong forms, surrogates and cut sequences are escaped byte by byte.
size_t printableUtf8(std::string_view s, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    unsigned long cp = 0;
    if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
        cp = c & 0x1f;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        cp = c & 0x0f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xc0) != 0x80)
            return 0;
        cp = (cp << 6) | (d & 0x3f);
    }
    static const unsigned long smallest[5] = {0, 0, 0xa0, 0x800, 0x10000};
    if (cp < smallest[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
        return 0;
    return n;
}

} // namespace

std::string quote(std::string_view text, size_t maxChars)
{
    std::string q = "'";
    size_t shown = 0; // characters written, an escape counting as its length
    size_t i = 0;
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (const size_t n = c >= 0x80 ? printableUtf8(text, i) : 0) {
            if (shown + 1 > maxChars)
                break;
            q.append(text.substr(i, n));
            shown += 1;
            i += n - 1;
            continue;
        }
        char piece[8];
        switch (c) {
        case '\t': std::snprintf(piece, sizeof piece, "\\t"); break;
        case '\n': std::snprintf(piece, sizeof piece, "\\n"); break;
        case '\r': std::snprintf(piece, sizeof piece, "\\r"); break;
        case '\0': std::snprintf(piece, sizeof piece, "\\0"); break;
        case '\'': std::snprintf(piece, sizeof piece, "\\'"); break;
        case '\\': std::snprintf(piece, sizeof piece, "\\\\"); break;
        default:
            if (c < 0x20 || c >= 0x7f)
                std::snprintf(piece, sizeof piece, "\\x%02x", c);
            else
                std::snprintf(piece, sizeof piece, "%c", c);
        }
        const std::string_view p(piece);
        if (shown + p.size() > maxChars)
            break;
        q += p;
        shown += p.size();
    }
    q += '\'';
    if (i < text.size())
        q += "...";
    return q;
}

} // namespace cli
