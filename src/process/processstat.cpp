#include "processstat.h"

#include "procfiles.h"

std::optional<ProcessStat> parseProcessStat(QByteArrayView line)
{
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open < 0 || close < open)
        return std::nullopt;
    ProcessStat stat;
    stat.name = line.sliced(open + 1, close - open - 1);
    // The fields after the name, counted as proc(5) counts them: state is field 3.
    static constexpr int startTimeField = 22;
    int field = 2;
    qsizetype i = close + 1;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\n'))
            ++i;
        const qsizetype begin = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\n')
            ++i;
        if (i == begin)
            break;
        if (++field == startTimeField) {
            const auto startTime = ProcFiles::parseUnsigned(line.sliced(begin, i - begin));
            if (!startTime)
                return std::nullopt;
            stat.startTime = *startTime;
            return stat;
        }
    }
    return std::nullopt;
}
