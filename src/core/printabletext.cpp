#include "printabletext.h"

#include <QList>

namespace {

// Each character of text as is, or its replacement where it is unsafe.
template <typename Replace> QString replaceUnsafe(QStringView text, Replace replace)
{
    QString result;
    result.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (isUnsafeCharacter(c))
            replace(result, c);
        else
            result.append(QStringView(QChar::fromUcs4(c)));
    }
    return result;
}

} // namespace

bool isUnsafeCharacter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control: // C0, DEL and C1
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    // Embeddings, overrides and isolates.
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString printableText(QStringView text)
{
    return replaceUnsafe(text, [](QString& out, char32_t) { out += QChar::ReplacementCharacter; });
}

QString escapedText(QStringView text)
{
    // Every unsafe character lies in the basic plane: four digits suffice.
    return replaceUnsafe(text, [](QString& out, char32_t c) {
        out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    });
}
