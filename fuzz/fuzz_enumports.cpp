// EnumPorts packing over any port list and any buffer: the size it asks for
// is exact, it writes nothing past cbBuf (the buffer has exactly cbBuf
// bytes), and every record and text it writes is right and lies inside the
// buffer.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "monitor.h"
#include "win9x/machine.h"

namespace {

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_enumports: %s\n", what);
        std::abort();
    }
}

struct Port {
    std::string name;
    bool description;
};

DWORD Needed(const std::vector<Port> &ports, DWORD level)
{
    DWORD needed = 0;
    for (const Port &port : ports) {
        needed += level == 1 ? sizeof(PORT_INFO_1) + port.name.size() + 1
                             : sizeof(PORT_INFO_2) + port.name.size() + 1 + 1 + 1;
    }
    return needed;
}

bool Inside(const void *text, const BYTE *buffer, DWORD size)
{
    auto p = static_cast<const BYTE *>(text);
    return p >= buffer && p < buffer + size && std::memchr(p, '\0', buffer + size - p) != nullptr;
}

void CheckRecords(const std::vector<Port> &ports, DWORD level, const BYTE *buffer, DWORD size)
{
    DWORD recordSize = level == 1 ? sizeof(PORT_INFO_1) : sizeof(PORT_INFO_2);
    const BYTE *textsStart = buffer + recordSize * ports.size();
    for (size_t i = 0; i < ports.size(); ++i) {
        const BYTE *record = buffer + recordSize * i;
        LPSTR name = nullptr;
        std::memcpy(&name, record + (level == 1 ? offsetof(PORT_INFO_1, pName) : offsetof(PORT_INFO_2, pPortName)),
                    sizeof name);
        Check(Inside(name, textsStart, static_cast<DWORD>(buffer + size - textsStart)) && ports[i].name == name,
              "a record names its port with a text inside the buffer");
        if (level == 2) {
            PORT_INFO_2 info;
            std::memcpy(&info, record, sizeof info);
            Check(Inside(info.pMonitorName, textsStart, static_cast<DWORD>(buffer + size - textsStart)) &&
                      info.pMonitorName[0] == '\0',
                  "the monitor name is an empty text inside the buffer");
            Check(ports[i].description ? Inside(info.pDescription, textsStart,
                                                static_cast<DWORD>(buffer + size - textsStart)) &&
                                             info.pDescription[0] == '\0'
                                       : info.pDescription == nullptr,
                  "the description is the reported monitor name, or null");
            Check(info.fPortType == (PORT_TYPE_WRITE | PORT_TYPE_READ) && info.Reserved == 0, "the port type");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool started = false;
    if (!started) {
        CreatePortListLock();
        // Inside the first rebuild interval: EnumPorts keeps the list given.
        win9x::machine::OverrideTickCount(1000);
        started = true;
    }
    FuzzedDataProvider input(data, size);
    DWORD level = input.ConsumeIntegralInRange<DWORD>(0, 3);
    bool nullBuffer = input.ConsumeIntegralInRange(0, 15) == 0;
    std::vector<Port> ports;
    size_t count = input.ConsumeIntegralInRange<size_t>(0, 12);
    EnterCriticalSection(&PortListLock);
    RebuildTime = 0;
    for (size_t i = 0; i < count; ++i) {
        Port port{input.ConsumeRandomLengthString(300), input.ConsumeBool()};
        port.name = port.name.c_str();
        PPORT_NODE node = AddPortNode(port.name.c_str(), port.description ? ReportedMonitorName : nullptr, "\\\\?\\x",
                                      input.ConsumeBool());
        Check(node != nullptr, "a node is added");
        ports.push_back(port);
    }
    LeaveCriticalSection(&PortListLock);

    DWORD expected = level == 1 || level == 2 ? Needed(ports, level) : 0;
    DWORD cbBuf = input.ConsumeBool() ? expected - std::min<DWORD>(expected, input.ConsumeIntegralInRange<DWORD>(0, 3))
                                      : input.ConsumeIntegralInRange<DWORD>(0, 4096);
    BYTE *buffer = nullBuffer ? nullptr : static_cast<BYTE *>(std::malloc(cbBuf));
    DWORD needed = 0xdeadbeef, returned = 0xdeadbeef;
    SetLastError(0);
    BOOL ok = EnumPorts(nullptr, level, buffer, cbBuf, &needed, &returned);
    if (level != 1 && level != 2) {
        Check(!ok && GetLastError() == ERROR_INVALID_LEVEL, "an unknown level is refused");
    } else {
        DWORD usable = buffer ? cbBuf : 0;
        Check(needed == expected, "the size asked for is exact");
        Check(ok == (expected <= usable), "the records are written exactly when they fit");
        if (ok) {
            Check(returned == ports.size(), "every port is returned");
            if (!ports.empty())
                CheckRecords(ports, level, buffer, cbBuf);
        } else {
            Check(GetLastError() == ERROR_INSUFFICIENT_BUFFER, "a short buffer is reported");
        }
    }
    std::free(buffer);
    EnterCriticalSection(&PortListLock);
    FreePortList();
    LeaveCriticalSection(&PortListLock);
    return 0;
}
