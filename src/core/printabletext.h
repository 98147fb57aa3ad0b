#pragma once

#include <QString>
#include <QStringView>

// Text from outside the program (process names, users, addresses, an update feed) is shown
// only after its unsafe characters are replaced: C0 and C1 controls and DEL, which steer a
// terminal or break a line; the line and paragraph separators; and the bidirectional
// embeddings, overrides and isolates, which reorder the text around them.
bool isUnsafeCharacter(char32_t c);

// For the panel: each unsafe character becomes U+FFFD, so a one-line layout stays one line.
QString printableText(QStringView text);
// For a terminal: each unsafe character is written as \uXXXX, as JSON writes it, so the
// reader still sees which one it was.
QString escapedText(QStringView text);
