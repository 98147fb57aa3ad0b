#include "displaytext.h"

#include <QStringList>

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

QString plainTextToolTip(const QString& text, int maxLineLength)
{
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString printable = printableText(line);
        for (qsizetype start = 0; start == 0 || start < printable.size(); start += maxLineLength)
            lines.append(printable.mid(start, maxLineLength).toHtmlEscaped());
    }
    return QStringLiteral("<p style=\"white-space:pre\">") + lines.join(QStringLiteral("<br>")) +
           QStringLiteral("</p>");
}
