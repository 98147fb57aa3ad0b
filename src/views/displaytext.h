#pragma once

#include "printabletext.h"

#include <QString>

// Text that comes from outside the program (process names, command lines) is shown as
// plain text only, and never with raw control characters (printableText).

// A tooltip that shows the text literally: QToolTip guesses rich text from the content,
// so the text is escaped and wrapped as rich text; lines longer than maxLineLength are
// broken, since a tooltip does not wrap a long word on its own.
QString plainTextToolTip(const QString& text, int maxLineLength = 100);
