#include "printabletext.h"

#include <QList>

namespace {

bool isUnsafe(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    // Embeddings, overrides and isolates.
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString printableText(QStringView text)
{
    QString result;
    result.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (isUnsafe(c))
            result.append(QChar::ReplacementCharacter);
        else
            result.append(QStringView(QChar::fromUcs4(c)));
    }
    return result;
}
