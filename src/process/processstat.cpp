#include "processstat.h"

#include "procfiles.h"

#include <limits>

std::optional<ProcessStat> parseProcessStat(QByteArrayView line)
{
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open < 0 || close < open)
        return std::nullopt;
    ProcessStat stat;
    stat.name = line.sliced(open + 1, close - open - 1);
    // The fields after the name, counted as proc(5) counts them: state is field 3.
    static constexpr int parentField = 4;
    static constexpr int sessionField = 6;
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
        ++field;
        if (field == parentField || field == sessionField) {
            const auto pid = ProcFiles::parseUnsigned(line.sliced(begin, i - begin));
            if (!pid || *pid > quint64(std::numeric_limits<qint32>::max()))
                return std::nullopt;
            (field == parentField ? stat.parentPid : stat.session) = qint32(*pid);
        } else if (field == startTimeField) {
            const auto startTime = ProcFiles::parseUnsigned(line.sliced(begin, i - begin));
            if (!startTime)
                return std::nullopt;
            stat.startTime = *startTime;
            return stat;
        }
    }
    return std::nullopt;
}
