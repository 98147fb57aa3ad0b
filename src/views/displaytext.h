#pragma once

#include <QString>
#include <QStringView>

// Text that comes from outside the program (process names, command lines) is shown as
// plain text only, and never with raw control characters.

// Replaces control, line-breaking and bidirectional-override characters with U+FFFD, so
// a name can neither break the one-line layout nor reorder the text around it.
QString printableText(QStringView text);

// A tooltip that shows the text literally: QToolTip guesses rich text from the content,
// so the text is escaped and wrapped as rich text; lines longer than maxLineLength are
// broken, since a tooltip does not wrap a long word on its own.
QString plainTextToolTip(const QString& text, int maxLineLength = 100);
