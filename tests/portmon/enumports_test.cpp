// EnumPorts: levels and argument checks, sizing at needed-1, needed and
// needed+1, and the layout of records (from the buffer's start) and texts
// (packed against its end) with the spare room between left as it was.
#include "portmon_fixture.h"

namespace {

using namespace portmontest;

constexpr unsigned char kFill = 0xA5;
constexpr DWORD kRecord1 = sizeof(PORT_INFO_1);
constexpr DWORD kRecord2 = sizeof(PORT_INFO_2);

// One EnumPorts call on a buffer filled with kFill, outputs and last error
// seeded.
struct Answer {
    BOOL ok = FALSE;
    DWORD error = 0;
    DWORD needed = kSeed;
    DWORD returned = kSeed;
    std::vector<unsigned char> buffer;
};

Answer Enum(DWORD level, DWORD cbBuf, LPSTR server = nullptr)
{
    Answer a;
    a.buffer.assign(cbBuf, kFill);
    SetLastError(kSeed);
    a.ok = EnumPorts(server, level, cbBuf ? a.buffer.data() : nullptr, cbBuf, &a.needed, &a.returned);
    a.error = GetLastError();
    return a;
}

// Byte offset of a text pointer within the caller's buffer.
size_t Offset(const Answer &a, LPSTR text)
{
    return static_cast<size_t>(reinterpret_cast<unsigned char *>(text) - a.buffer.data());
}

const PORT_INFO_2 *Records2(const Answer &a)
{
    return reinterpret_cast<const PORT_INFO_2 *>(a.buffer.data());
}

bool Untouched(const Answer &a, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        if (a.buffer[i] != kFill)
            return false;
    return true;
}

class Enumeration : public MonitorTest {};

// Levels 0 and above 2 are refused with 124 before anything is touched;
// missing out-pointers with 87.
TEST_F(Enumeration, LevelsAndOutPointers)
{
    AddInterface("S", DeviceValues("P", "S"));
    Initialize();
    for (DWORD level : {0u, 3u, 0xFFFFFFFFu}) {
        Answer a = Enum(level, 100);
        EXPECT_FALSE(a.ok) << level;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), a.error) << level;
        EXPECT_EQ(kSeed, a.needed);
        EXPECT_EQ(kSeed, a.returned);
        EXPECT_TRUE(Untouched(a, 0, 100));
    }
    unsigned char buffer[100];
    DWORD value = kSeed;
    SetLastError(kSeed);
    EXPECT_FALSE(EnumPorts(nullptr, 1, buffer, sizeof buffer, nullptr, &value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(kSeed, value);
    SetLastError(kSeed);
    EXPECT_FALSE(EnumPorts(nullptr, 2, buffer, sizeof buffer, &value, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(kSeed, value);
}

// No ports: success with 0 and 0, even without a buffer; the last error
// is not touched on success.
TEST_F(Enumeration, EmptyList)
{
    Initialize();
    for (DWORD level : {1u, 2u}) {
        Answer a = Enum(level, 0);
        EXPECT_TRUE(a.ok);
        EXPECT_EQ(kSeed, a.error);
        EXPECT_EQ(0u, a.needed);
        EXPECT_EQ(0u, a.returned);
    }
}

// One port USB/P/S at level 2: the record, then the description, the
// monitor name and the name packed against the end; a byte short fails
// with 122 and writes nothing but the size.
TEST_F(Enumeration, Level2Sizing)
{
    AddInterface("S", DeviceValues("P", "S"));
    Initialize();
    const DWORD needed = kRecord2 + 8 + 1 + 1;

    Answer probe = Enum(2, 0);
    EXPECT_FALSE(probe.ok);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), probe.error);
    EXPECT_EQ(needed, probe.needed);
    EXPECT_EQ(kSeed, probe.returned);

    Answer shortBy1 = Enum(2, needed - 1);
    EXPECT_FALSE(shortBy1.ok);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), shortBy1.error);
    EXPECT_EQ(needed, shortBy1.needed);
    EXPECT_EQ(kSeed, shortBy1.returned);
    EXPECT_TRUE(Untouched(shortBy1, 0, needed - 1));

    for (DWORD spare : {0u, 1u}) {
        Answer a = Enum(2, needed + spare);
        ASSERT_TRUE(a.ok) << spare;
        EXPECT_EQ(kSeed, a.error);
        EXPECT_EQ(needed, a.needed);
        EXPECT_EQ(1u, a.returned);
        const PORT_INFO_2 &r = Records2(a)[0];
        EXPECT_EQ(kRecord2 + spare + 2, Offset(a, r.pPortName));
        EXPECT_EQ(kRecord2 + spare + 1, Offset(a, r.pMonitorName));
        EXPECT_EQ(kRecord2 + spare, Offset(a, r.pDescription));
        EXPECT_STREQ("USB/P/S", r.pPortName);
        EXPECT_STREQ("", r.pMonitorName);
        EXPECT_STREQ("", r.pDescription);
        EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE | PORT_TYPE_READ), r.fPortType);
        EXPECT_EQ(0u, r.Reserved);
        EXPECT_TRUE(Untouched(a, kRecord2, kRecord2 + spare));
    }
}

// Level 1 in a buffer of 100 bytes: the name ends at the last byte, and
// everything between the record and the name is left as it was.
TEST_F(Enumeration, Level1LayoutWithSpareRoom)
{
    AddInterface("S", DeviceValues("P", "S"));
    Initialize();
    Answer shortBy1 = Enum(1, kRecord1 + 7);
    EXPECT_FALSE(shortBy1.ok);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), shortBy1.error);
    EXPECT_EQ(kRecord1 + 8, shortBy1.needed);

    Answer exact = Enum(1, kRecord1 + 8);
    ASSERT_TRUE(exact.ok);
    EXPECT_EQ(kRecord1, Offset(exact, reinterpret_cast<PORT_INFO_1 *>(exact.buffer.data())->pName));

    Answer a = Enum(1, 100);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(kRecord1 + 8, a.needed);
    EXPECT_EQ(1u, a.returned);
    LPSTR name = reinterpret_cast<PORT_INFO_1 *>(a.buffer.data())->pName;
    EXPECT_EQ(92u, Offset(a, name));
    EXPECT_STREQ("USB/P/S", name);
    EXPECT_TRUE(Untouched(a, kRecord1, 92));
}

// Several ports, disabled and doubled ones included, come in list order;
// the first port's texts lie highest. The server name changes nothing.
TEST_F(Enumeration, SeveralPortsInListOrder)
{
    AddInterface("A", {Text(OVL_VALUE_PORT_NAME, "USB/P/S"), Number(OVL_VALUE_ENABLED, 0)});
    AddInterface("B", {Text(OVL_VALUE_PORT_NAME, "USB/P/S"), Number(OVL_VALUE_ENABLED, 1)});
    AddInterface("C", DeviceValues("Longer Product", "C"));
    Initialize();
    const std::vector<std::string> names = {"USB/P/S", "USB/P/S", "USB/Longer Product/C"};
    DWORD needed = 0;
    for (const auto &n : names)
        needed += kRecord2 + static_cast<DWORD>(n.size()) + 3;

    Answer a = Enum(2, needed);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(needed, a.needed);
    ASSERT_EQ(3u, a.returned);
    unsigned char *below = a.buffer.data() + a.buffer.size();
    for (size_t i = 0; i < names.size(); ++i) {
        const PORT_INFO_2 &r = Records2(a)[i];
        EXPECT_STREQ(names[i].c_str(), r.pPortName) << i;
        // Each port's texts lie right below the previous port's.
        EXPECT_EQ(below - names[i].size() - 1, reinterpret_cast<unsigned char *>(r.pPortName)) << i;
        EXPECT_EQ(reinterpret_cast<unsigned char *>(r.pPortName) - 1,
                  reinterpret_cast<unsigned char *>(r.pMonitorName));
        EXPECT_EQ(reinterpret_cast<unsigned char *>(r.pMonitorName) - 1,
                  reinterpret_cast<unsigned char *>(r.pDescription));
        below = reinterpret_cast<unsigned char *>(r.pDescription);
    }
    EXPECT_EQ(a.buffer.data() + 3 * kRecord2, below);

    Answer level1 = Enum(1, 200);
    ASSERT_TRUE(level1.ok);
    EXPECT_EQ(3u, level1.returned);
    auto *records1 = reinterpret_cast<PORT_INFO_1 *>(level1.buffer.data());
    EXPECT_EQ(200u - 8, Offset(level1, records1[0].pName));
    EXPECT_EQ(200u - 16, Offset(level1, records1[1].pName));
    EXPECT_STREQ("USB/Longer Product/C", records1[2].pName);

    char server[] = "\\\\ELSEWHERE";
    Answer other = Enum(1, 200, server);
    ASSERT_TRUE(other.ok);
    EXPECT_EQ(3u, other.returned);
    EXPECT_EQ(level1.needed, other.needed);
    EXPECT_EQ(0,
              std::memcmp(level1.buffer.data() + 3 * kRecord1, other.buffer.data() + 3 * kRecord1, 200 - 3 * kRecord1));
}

// A null buffer counts as 0 bytes, whatever size comes with it.
TEST_F(Enumeration, NullBufferCountsAsEmpty)
{
    AddInterface("S", DeviceValues("P", "S"));
    Initialize();
    DWORD needed = kSeed, returned = kSeed;
    SetLastError(kSeed);
    EXPECT_FALSE(EnumPorts(nullptr, 2, nullptr, 4096, &needed, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(kRecord2 + 10, needed);
    EXPECT_EQ(kSeed, returned);
}

// A node whose description could not be copied counts an empty text but
// reports a null description; the records are still within the size.
TEST_F(Enumeration, NodeWithoutDescription)
{
    Initialize();
    ASSERT_NE(nullptr, AddPortNode("USB/P/S", nullptr, "\\\\?\\s", 1));
    Answer a = Enum(2, kRecord2 + 10);
    ASSERT_TRUE(a.ok);
    const PORT_INFO_2 &r = Records2(a)[0];
    EXPECT_EQ(nullptr, r.pDescription);
    EXPECT_EQ(kRecord2 + 2, Offset(a, r.pPortName));
    EXPECT_EQ(kRecord2 + 1, Offset(a, r.pMonitorName));
    EXPECT_TRUE(Untouched(a, kRecord2, kRecord2 + 1));
}

// The spooler's buffer need not be aligned: records at an odd address are
// written bytewise and read back whole.
TEST_F(Enumeration, UnalignedBuffer)
{
    AddInterface("S", DeviceValues("P", "S"));
    Initialize();
    std::vector<unsigned char> storage(1 + kRecord2 + 10, kFill);
    unsigned char *buffer = storage.data() + 1;
    DWORD needed = 0, returned = 0;
    ASSERT_TRUE(EnumPorts(nullptr, 2, buffer, kRecord2 + 10, &needed, &returned));
    PORT_INFO_2 record;
    std::memcpy(&record, buffer, sizeof record);
    EXPECT_STREQ("USB/P/S", record.pPortName);
    EXPECT_EQ(reinterpret_cast<LPSTR>(buffer + kRecord2), record.pDescription);
    EXPECT_EQ(3u, record.fPortType);
    EXPECT_EQ(kFill, storage[0]);
}

} // namespace
