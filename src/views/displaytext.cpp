#include "displaytext.h"

#include <QStringList>

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
