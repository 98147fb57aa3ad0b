#include "commandname.h"

QString escapeCommandName(QByteArrayView raw)
{
    // Placeholder: control characters as lsof writes them; refined against the real lsof.
    QString out;
    for (const char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\b': out += QStringLiteral("\\b"); break;
        case '\f': out += QStringLiteral("\\f"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        default:
            if (c < 0x20)
                out += QLatin1Char('^') + QLatin1Char(char(c + 0x40));
            else
                out += QLatin1Char(char(c));
        }
    }
    return out;
}
