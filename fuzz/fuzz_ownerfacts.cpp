// The parsers of what other processes' files say. The input is taken as a cgroup file and
// as a NUL-separated command line; every answer must be one the input holds, in the form
// promised.
#include "fuzzcheck.h"
#include "ownerfacts.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace OwnerFacts;

namespace {

bool isLowerHex(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
}

void checkCgroup(const QByteArray& file)
{
    const CgroupPlace place = parseCgroup(file);
    if (!place.container.isEmpty()) {
        FUZZ_CHECK(place.container.size() == 12);
        FUZZ_CHECK(std::all_of(place.container.begin(), place.container.end(), isLowerHex));
        FUZZ_CHECK(file.contains(place.container.toLatin1()));
    }
    if (!place.unit.isEmpty()) {
        const QByteArray unit = place.unit.toLatin1();
        FUZZ_CHECK(QString::fromLatin1(unit) == place.unit && unit.endsWith(".service"));
        FUZZ_CHECK(!unit.contains('/') && !unit.contains('<') && !unit.contains(' '));
        FUZZ_CHECK(file.contains(QByteArray('/' + unit)));
    }
}

void checkProxy(const QByteArray& commandLine)
{
    const auto target = parseProxyCommandLine(commandLine);
    if (!target)
        return;
    FUZZ_CHECK(target->port != 0);
    FUZZ_CHECK(commandLine.contains(target->address.toLatin1()));
    FUZZ_CHECK(commandLine.contains(QByteArray::number(target->port)));
    for (const QChar c : target->address)
        FUZZ_CHECK(isLowerHex(c.toLower()) || c == QLatin1Char('.') || c == QLatin1Char(':'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    checkCgroup(input);
    checkProxy(input);
    return 0;
}
