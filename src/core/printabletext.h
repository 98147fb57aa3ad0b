#pragma once

#include <QString>
#include <QStringView>

// Replaces control, line-breaking and bidirectional-override characters with U+FFFD, so
// text from outside the program (process names, an update feed) can neither break a
// one-line layout nor reorder the text around it.
QString printableText(QStringView text);
