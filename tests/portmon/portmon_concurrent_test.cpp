// The monitor under several spooler threads at once: jobs on shared and
// separate ports while other threads enumerate (rebuilding the port list
// every time), and two starts racing on one handle. No deadlock, no lost
// or torn job; run under ThreadSanitizer as well.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "portmon_fixture.h"

namespace {

using namespace portmontest;
using namespace std::chrono_literals;

constexpr int kPrinters = 3;
constexpr int kWorkers = 6; // two per printer, so that they share handles
constexpr int kJobsPerWorker = 4;
constexpr size_t kChunk = 512;
constexpr size_t kPayload = 4 * kChunk - 100;

// Aborts the test program when the threads do not finish in time: a
// deadlock would otherwise hang the suite.
class Watchdog {
  public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "watchdog: the monitor's threads did not finish (deadlock?)\n");
                  std::abort();
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// The bytes of one job: a header, a payload particular to the job, a
// trailer. Whole jobs can be told apart in what a printer received.
std::string JobBytes(int worker, int job)
{
    std::string tag = std::to_string(worker) + ":" + std::to_string(job);
    std::string bytes = "<" + tag + ">";
    for (size_t i = 0; i < kPayload; ++i)
        bytes += static_cast<char>('a' + (worker * 7 + job * 3 + i) % 26);
    return bytes + "</" + tag + ">";
}

// Splits what a printer received into whole jobs; false when anything is
// torn, interleaved or left over.
bool SplitJobs(const std::string &received, std::set<std::string> *jobs)
{
    size_t at = 0;
    while (at < received.size()) {
        if (received[at] != '<')
            return false;
        size_t close = received.find('>', at);
        if (close == std::string::npos)
            return false;
        std::string tag = received.substr(at + 1, close - at - 1);
        size_t colon = tag.find(':');
        if (colon == std::string::npos)
            return false;
        std::string whole = JobBytes(std::atoi(tag.substr(0, colon).c_str()), std::atoi(tag.substr(colon + 1).c_str()));
        if (received.compare(at, whole.size(), whole) != 0 || !jobs->insert(tag).second)
            return false;
        at += whole.size();
    }
    return true;
}

class Concurrency : public MonitorTest {
  protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        for (int p = 0; p < kPrinters; ++p) {
            std::string serial = ovltest::Numbered("C", p);
            instances_.push_back(Plug("Sorrelink 640", serial));
            ports_.push_back("USB/Sorrelink 640/" + serial);
        }
        AddInterface("OFF", DeviceValues("P", "OFF", 0));
        Initialize();
    }

    // One worker: jobs on its port, retried while another opener's job
    // holds the shared handle. Records each job that was printed.
    void Work(int worker)
    {
        const std::string &port = ports_[worker % kPrinters];
        for (int job = 0; job < kJobsPerWorker; ++job) {
            HANDLE handle = nullptr;
            if (!OpenPort(const_cast<LPSTR>(port.c_str()), &handle)) {
                Failure("OpenPort " + port);
                return;
            }
            std::string printer = "printer " + std::to_string(worker);
            while (!StartDocPort(handle, printer.data(), static_cast<DWORD>(job), 1, nullptr)) {
                if (GetLastError() != ERROR_BUSY) {
                    Failure("StartDocPort " + port + ": " + std::to_string(GetLastError()));
                    ClosePort(handle);
                    return;
                }
                std::this_thread::sleep_for(1ms);
            }
            std::string bytes = JobBytes(worker, job);
            for (size_t at = 0; at < bytes.size(); at += kChunk) {
                std::string chunk = bytes.substr(at, kChunk);
                DWORD written = 0;
                if (!Write(handle, chunk, &written) || written != chunk.size())
                    Failure("WritePort " + port);
            }
            EndDocPort(handle);
            ClosePort(handle);
            std::lock_guard<std::mutex> lock(mutex_);
            printed_[worker % kPrinters].insert(std::to_string(worker) + ":" + std::to_string(job));
        }
    }

    // Enumerates as a spooler does (ask, allocate, ask again), moving the
    // clock so that every call rebuilds the list, until the workers end.
    void Enumerate(std::atomic<bool> *stop, std::atomic<DWORD> *ticks)
    {
        while (!*stop) {
            win9x::machine::OverrideTickCount(ticks->fetch_add(10001) + 10001);
            DWORD needed = 0, returned = 0;
            EnumPorts(nullptr, 2, nullptr, 0, &needed, &returned);
            std::vector<unsigned char> buffer(needed + 64);
            if (!EnumPorts(nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned)) {
                // The list may have grown in between (a rebuild or a merge).
                if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
                    Failure("EnumPorts " + std::to_string(GetLastError()));
                continue;
            }
            auto *records = reinterpret_cast<PORT_INFO_2 *>(buffer.data());
            std::set<std::string> names;
            for (DWORD i = 0; i < returned; ++i)
                names.insert(records[i].pPortName);
            for (const auto &port : ports_)
                if (!names.count(port))
                    Failure("EnumPorts lost " + port);
            ++enumerations_;
            std::this_thread::sleep_for(1ms);
        }
    }

    void Failure(const std::string &what)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failures_.push_back(what);
    }

    void RunAll()
    {
        Watchdog watchdog(120s);
        std::atomic<bool> stop{false};
        std::atomic<DWORD> ticks{kQuietTicks};
        std::vector<std::thread> enumerators;
        for (int i = 0; i < 2; ++i)
            enumerators.emplace_back([&] { Enumerate(&stop, &ticks); });
        std::vector<std::thread> workers;
        for (int w = 0; w < kWorkers; ++w)
            workers.emplace_back([this, w] { Work(w); });
        for (auto &t : workers)
            t.join();
        stop = true;
        for (auto &t : enumerators)
            t.join();
    }

    void CheckEveryJobArrivedWhole()
    {
        EXPECT_EQ(std::vector<std::string>{}, failures_);
        EXPECT_GT(enumerations_.load(), 0);
        EXPECT_EQ(nullptr, PortHandleList);
        for (int p = 0; p < kPrinters; ++p) {
            std::set<std::string> arrived;
            std::string received = win9x::machine::ReceivedBytes(instances_[p]);
            EXPECT_TRUE(SplitJobs(received, &arrived)) << ports_[p];
            EXPECT_EQ(printed_[p], arrived) << ports_[p];
            EXPECT_EQ(static_cast<size_t>(kWorkers / kPrinters * kJobsPerWorker), arrived.size()) << ports_[p];
            EXPECT_EQ(0u, Opens(instances_[p])) << ports_[p];
        }
    }

    std::vector<std::string> instances_, ports_;
    std::mutex mutex_;
    std::map<int, std::set<std::string>> printed_;
    std::vector<std::string> failures_;
    std::atomic<int> enumerations_{0};
};

TEST_F(Concurrency, JobsWhileEnumerating)
{
    RunAll();
    CheckEveryJobArrivedWhole();
}

// On Windows Me every start also merges the interfaces into the list (which
// grows by the disabled port each time) while the others rebuild it.
TEST_F(Concurrency, JobsWhileEnumeratingOnWindowsMe)
{
    win9x::machine::OverrideVersion(win9x::machine::WindowsVersion::WinMe);
    RunAll();
    CheckEveryJobArrivedWhole();
}

// Two threads start a job on one shared handle at the same moment: exactly
// one wins, the other gets ERROR_BUSY, and the winner's printer name and
// device stay its own.
TEST_F(Concurrency, RacingStartsOnOneHandle)
{
    Watchdog watchdog(120s);
    HANDLE handle = nullptr;
    ASSERT_TRUE(OpenPort(const_cast<LPSTR>(ports_[0].c_str()), &handle));
    ASSERT_TRUE(OpenPort(const_cast<LPSTR>(ports_[0].c_str()), &handle));
    auto *h = static_cast<PPORT_HANDLE>(handle);
    std::string expected;
    for (int round = 0; round < 40; ++round) {
        std::atomic<int> ready{0};
        BOOL won[2] = {FALSE, FALSE};
        DWORD error[2] = {0, 0};
        auto start = [&](int who) {
            char name[16];
            std::snprintf(name, sizeof name, "racer %d", who);
            ready.fetch_add(1);
            while (ready.load() < 2) {
            }
            won[who] = StartDocPort(handle, name, 1, 1, nullptr);
            error[who] = GetLastError();
        };
        std::thread a(start, 0), b(start, 1);
        a.join();
        b.join();
        ASSERT_EQ(1, won[0] + won[1]) << "round " << round;
        int winner = won[0] ? 0 : 1;
        EXPECT_EQ(static_cast<DWORD>(ERROR_BUSY), error[1 - winner]) << "round " << round;
        ASSERT_NE(nullptr, h->PrinterName);
        EXPECT_EQ("racer " + std::to_string(winner), std::string(h->PrinterName));
        EXPECT_EQ(static_cast<DWORD>(PORT_HANDLE_BUSY), h->Flags);
        std::string text = std::to_string(round) + "=" + std::to_string(winner) + ";";
        DWORD written = 0;
        EXPECT_TRUE(Write(handle, text, &written));
        expected += text;
        EXPECT_TRUE(EndDocPort(handle));
    }
    ClosePort(handle);
    ClosePort(handle);
    EXPECT_EQ(nullptr, PortHandleList);
    EXPECT_EQ(expected, win9x::machine::ReceivedBytes(instances_[0]));
    EXPECT_EQ(0u, Opens(instances_[0]));
}

// Device controls from other threads while jobs start and end on the
// handle: a control reaches the open job's device or is refused with 87
// for want of a job. It never reaches a device that the end of a job has
// closed (ERROR_INVALID_HANDLE here; on Windows another printer, since the
// closed handle value may go to the next open), nor keeps it in use so that
// the next job's exclusive open fails.
TEST_F(Concurrency, ControlsWhileJobsEnd)
{
    Watchdog watchdog(120s);
    HANDLE handle = nullptr;
    ASSERT_TRUE(OpenPort(const_cast<LPSTR>(ports_[0].c_str()), &handle));
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    auto control = [&] {
        while (!stop) {
            char status = 0;
            char valueName[] = "Status";
            DWORD returned = 0;
            if (GetPrinterDataFromPort(handle, OVL_IOCTL_GET_PORT_STATUS, valueName, &status, 1, &status, 1,
                                       &returned))
                ++answered;
            else if (GetLastError() != ERROR_INVALID_PARAMETER)
                Failure("GetPrinterDataFromPort " + std::to_string(GetLastError()));
        }
    };
    std::vector<std::thread> controllers;
    for (int i = 0; i < 2; ++i)
        controllers.emplace_back(control);
    char printer[] = "Sorrelink";
    for (int job = 0; job < 100; ++job) {
        if (!StartDocPort(handle, printer, static_cast<DWORD>(job), 1, nullptr)) {
            Failure("StartDocPort " + std::to_string(GetLastError()));
            break;
        }
        // The job ends while controls keep coming: wait until one got in.
        int before = answered.load();
        auto deadline = std::chrono::steady_clock::now() + 5s;
        while (answered.load() == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        EndDocPort(handle);
    }
    stop = true;
    for (auto &t : controllers)
        t.join();
    ClosePort(handle);
    EXPECT_EQ(std::vector<std::string>{}, failures_);
    EXPECT_GT(answered.load(), 0);
    EXPECT_EQ(0u, Opens(instances_[0]));
}

} // namespace
