// The remote answer's parsers on any bytes: no crash, and either a reason and no record, or
// records that are sound: ports in range, an address each, and for ss one record at least
// for every line that is not blank.
#include "fuzzcheck.h"
#include "remoteanswer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    for (int way = 0; way < 4; ++way) {
        QString reason;
        const QList<ListeningPort> ports =
            way == 0   ? RemoteAnswer::parseSsLines(input, &reason)
            : way == 1 ? RemoteAnswer::parseProcNetTables(input, size % 2 == 0, &reason)
            : way == 2 ? RemoteAnswer::parseTidewatchJson(input, &reason)
                       : RemoteAnswer::parse(input).ports;
        FUZZ_CHECK(reason.isEmpty() || ports.isEmpty());
        for (const ListeningPort& port : ports) {
            FUZZ_CHECK(port.port() >= 0 && port.port() <= 65535 && port.pid() >= 0);
            FUZZ_CHECK(!port.addresses().isEmpty());
        }
        if (way == 0 && reason.isEmpty())
            FUZZ_CHECK(ports.isEmpty() == input.trimmed().isEmpty());
    }
    return 0;
}
