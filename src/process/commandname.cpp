#include "commandname.h"
#include "utf8printable.h"

#include <QByteArray>
#include <QChar>

namespace {

// Length of the well-formed UTF-8 sequence at data[i] (no overlongs, no surrogates,
// nothing above U+10FFFF), or 0.
int decodeUtf8(QByteArrayView data, qsizetype i, char32_t* codePoint)
{
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(data[k]); };
    const unsigned char lead = byte(i);
    int length = 0;
    unsigned char low = 0x80, high = 0xbf;
    char32_t value = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        value = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        value = lead & 0x0f;
        if (lead == 0xe0)
            low = 0xa0;
        else if (lead == 0xed)
            high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xf0)
            low = 0x90;
        else if (lead == 0xf4)
            high = 0x8f;
    } else {
        return 0;
    }
    if (i + length > data.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        const unsigned char next = byte(i + k);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xbf))
            return 0;
        value = (value << 6) | (next & 0x3f);
    }
    *codePoint = value;
    return length;
}

// lsof asks the C library whether a wide character is printable; asking the same library
// under a UTF-8 locale gives the same answer for every character.
bool isPrintable(char32_t codePoint)
{
    return isPrintableInUtf8Locale(codePoint).value_or(QChar::isPrint(codePoint));
}

} // namespace

QString escapeCommandName(QByteArrayView raw)
{
    static constexpr char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(raw.size());
    const auto escapeByte = [&out](unsigned char c) {
        out += '\\';
        out += 'x';
        out += hex[c >> 4];
        out += hex[c & 0xf];
    };
    for (qsizetype i = 0; i < raw.size();) {
        const auto c = static_cast<unsigned char>(raw[i]);
        if (c < 0x80) {
            switch (c) {
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            case 0x7f:
                escapeByte(c);
                break;
            default:
                if (c < 0x20) {
                    out += '^';
                    out += char(c + 0x40);
                } else {
                    out += char(c);
                }
            }
            ++i;
            continue;
        }
        char32_t codePoint = 0;
        const int length = decodeUtf8(raw, i, &codePoint);
        if (length > 0 && isPrintable(codePoint)) {
            out.append(raw.sliced(i, length));
            i += length;
        } else {
            // The continuation bytes of a non-printable character are not well-formed
            // on their own, so they come out escaped one by one as well.
            escapeByte(c);
            ++i;
        }
    }
    return QString::fromUtf8(out);
}
