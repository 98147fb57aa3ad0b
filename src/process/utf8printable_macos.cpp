#include "utf8printable.h"

#include <cwctype>
#include <xlocale.h>

std::optional<bool> isPrintableInUtf8Locale(char32_t codePoint)
{
    // macOS names its UTF-8 character classes "UTF-8" (there is no "C.UTF-8" before 14).
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "UTF-8", locale_t(nullptr));
    if (!utf8)
        return std::nullopt;
    return iswprint_l(wint_t(codePoint), utf8) != 0;
}
