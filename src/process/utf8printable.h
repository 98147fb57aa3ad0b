#pragma once

#include <optional>

// Whether the C library counts a character as printable under a UTF-8 locale, the question
// lsof asks; nothing where no UTF-8 locale can be had. The locale calls live in different
// headers per platform, so this is a seam of its own.
std::optional<bool> isPrintableInUtf8Locale(char32_t codePoint);
