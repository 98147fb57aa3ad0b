#include "utf8printable.h"

#include <cwctype>
#include <locale.h>

std::optional<bool> isPrintableInUtf8Locale(char32_t codePoint)
{
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    if (!utf8)
        return std::nullopt;
    return iswprint_l(wint_t(codePoint), utf8) != 0;
}
