// Devices opened by path: the USB printers behind the driver's device
// interfaces. A path \\?\<name> or \\.\<name> names the interface key
// "##?#<name>" under DeviceClasses\{class}, whose "DeviceInstance" names the
// printer. Sharing modes hold across every process of the machine; the
// opens of a process that died no longer count.
#include "kernel32/devices.h"

#include <cstring>

#include "machine/hardware.h"
#include "machine/machine.h"
#include "machine/api.h"
#include "kernel32/handles.h"
#include "machine/process_identity.h"

namespace win9x::layer {

namespace {

constexpr const char *kDeviceClasses = "System\\CurrentControlSet\\Control\\DeviceClasses\\";
constexpr DWORD kPortStatusControl = 0x182004;
constexpr DWORD kDeviceIdControl = 0x182000;

// The device instance behind an interface name, from the registry.
std::optional<std::string> InterfaceInstance(std::string_view name)
{
    size_t guidStart = name.rfind('#');
    if (guidStart == std::string_view::npos || guidStart + 1 >= name.size() || name[guidStart + 1] != '{')
        return std::nullopt;
    std::string path = std::string(kDeviceClasses) + std::string(name.substr(guidStart + 1)) + "\\##?#" +
                       std::string(name);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    char instance[512] = {};
    DWORD size = sizeof instance - 1;
    LONG r = RegQueryValueExA(key, "DeviceInstance", nullptr, nullptr, reinterpret_cast<BYTE *>(instance), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(instance);
}

// Whether a new open conflicts with an existing one: each side's access
// must be allowed by the other side's sharing mode.
bool Conflicts(DWORD access, DWORD share, DWORD otherAccess, DWORD otherShare)
{
    auto allowed = [](DWORD wantAccess, DWORD grantedShare) {
        if ((wantAccess & GENERIC_READ) && !(grantedShare & FILE_SHARE_READ))
            return false;
        if ((wantAccess & GENERIC_WRITE) && !(grantedShare & FILE_SHARE_WRITE))
            return false;
        return true;
    };
    return !allowed(access, otherShare) || !allowed(otherAccess, share);
}

// Checks the sharing modes against the live opens and records this one.
// Returns the open's row id, or 0 with the last error set.
int64_t RecordOpen(Machine &m, const std::string &instance, DWORD access, DWORD share)
{
    store::Transaction tx(*m.state, store::Transaction::Mode::Write);
    auto printer = LoadPrinter(*m.state, instance);
    if (!tx.ok() || !printer || !printer->attached) {
        SetLastError(ERROR_FILE_NOT_FOUND);  // the printer is not plugged in
        return 0;
    }
    if (printer->failOpen) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
    // What a writer that died left past the committed bytes goes now.
    if (!CutUnacknowledgedBytes(*m.state, instance)) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
    std::vector<int64_t> dead;
    auto opens = m.state->Prepare("SELECT id, pid, start, access, share FROM device_opens WHERE instance = ?1");
    opens.Bind(1, instance);
    while (opens.Step()) {
        if (!IsAlive(ProcessIdentity{opens.Int(1), opens.Int(2)})) {
            dead.push_back(opens.Int(0));
            continue;
        }
        if (Conflicts(access, share, static_cast<DWORD>(opens.Int(3)), static_cast<DWORD>(opens.Int(4)))) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return 0;
        }
    }
    for (int64_t id : dead) {
        auto del = m.state->Prepare("DELETE FROM device_opens WHERE id = ?1");
        del.Bind(1, id);
        del.Run();
    }
    ProcessIdentity self = CurrentProcess();
    auto insert = m.state->Prepare(
        "INSERT INTO device_opens(instance, pid, start, access, share) VALUES (?1, ?2, ?3, ?4, ?5)");
    insert.Bind(1, instance).Bind(2, self.pid).Bind(3, self.start).Bind(4, access).Bind(5, share);
    if (!insert.Run()) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
    int64_t id = m.state->LastInsertId();
    if (!tx.Commit()) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
    return id;
}

// One open of a printer.
class PrinterDevice : public IoObject {
public:
    PrinterDevice(std::shared_ptr<Machine> machine, std::string instance, int64_t openId, DWORD access)
        : machine_(std::move(machine)), instance_(std::move(instance)), openId_(openId), access_(access)
    {
    }

    ~PrinterDevice() override
    {
        store::Transaction tx(*machine_->state, store::Transaction::Mode::Write);
        auto del = machine_->state->Prepare("DELETE FROM device_opens WHERE id = ?1");
        del.Bind(1, openId_);
        if (tx.ok() && del.Run())
            tx.Commit();
    }

    BOOL Write(const void *buffer, DWORD size, DWORD *done) override
    {
        *done = 0;
        if (!(access_ & GENERIC_WRITE))
            return Failure(ERROR_ACCESS_DENIED);
        store::Transaction tx(*machine_->state, store::Transaction::Mode::Write);
        auto printer = LoadPrinter(*machine_->state, instance_);
        if (!tx.ok() || !printer || !printer->attached)
            return Failure(ERROR_GEN_FAILURE);  // unplugged during the job
        if (size == 0)
            return TRUE;
        // A printer that is off line, in error, out of paper or refusing
        // takes nothing; the write fails as a stalled USB transfer does.
        if (printer->refuseWrites || !printer->online || printer->error || printer->paper == 0)
            return Failure(ERROR_GEN_FAILURE);
        DWORD taken = size;
        int64_t paperLeft = printer->paper;
        if (paperLeft > 0 && static_cast<int64_t>(size) > paperLeft)
            taken = static_cast<DWORD>(paperLeft);
        if (paperLeft > 0)
            paperLeft -= taken;
        if (!RecordReceived(*machine_->state, instance_, buffer, taken, paperLeft) || !tx.Commit())
            return Failure(ERROR_GEN_FAILURE);
        *done = taken;
        // The paper ran out part way: what fitted went out, the rest did not.
        return taken == size ? TRUE : Failure(ERROR_GEN_FAILURE);
    }

    BOOL Read(void *buffer, DWORD size, DWORD *done) override
    {
        (void)buffer, (void)size;
        *done = 0;
        if (!(access_ & GENERIC_READ))
            return Failure(ERROR_ACCESS_DENIED);
        store::Transaction tx(*machine_->state, store::Transaction::Mode::Read);
        auto printer = LoadPrinter(*machine_->state, instance_);
        if (!printer || !printer->attached)
            return Failure(ERROR_GEN_FAILURE);
        return TRUE;  // the printer has nothing to send back
    }

    BOOL Control(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize, DWORD *returned) override
    {
        (void)in, (void)inSize;
        *returned = 0;
        store::Transaction tx(*machine_->state, store::Transaction::Mode::Write);
        auto printer = LoadPrinter(*machine_->state, instance_);
        if (!tx.ok() || !printer || !printer->attached)
            return Failure(ERROR_GEN_FAILURE);
        if (code != kPortStatusControl && code != kDeviceIdControl)
            return Failure(ERROR_INVALID_FUNCTION);
        bool fault = CountControlRequest(*machine_->state, *printer);
        tx.Commit();
        if (fault)
            return Failure(ERROR_GEN_FAILURE);
        if (!out)
            return Failure(ERROR_INVALID_PARAMETER);
        if (code == kPortStatusControl) {
            if (outSize < 1)
                return Failure(ERROR_INSUFFICIENT_BUFFER);
            *static_cast<uint8_t *>(out) = machine::PrinterStatus(*printer);
            *returned = 1;
            return TRUE;
        }
        return DeviceId(*printer, static_cast<uint8_t *>(out), outSize, returned);
    }

private:
    static BOOL Failure(DWORD error)
    {
        SetLastError(error);
        return FALSE;
    }

    // The IEEE 1284 device ID, led by its big-endian length (which counts
    // the two length bytes). Like the USB request behind it, a reply longer
    // than the buffer is cut to the buffer.
    static BOOL DeviceId(const machine::Printer &printer, uint8_t *out, DWORD outSize, DWORD *returned)
    {
        if (outSize < 2)
            return Failure(ERROR_INSUFFICIENT_BUFFER);
        size_t length = std::min<size_t>(printer.deviceId.size() + 2, 0xFFFF);
        out[0] = static_cast<uint8_t>(length >> 8);
        out[1] = static_cast<uint8_t>(length & 0xFF);
        size_t copied = std::min<size_t>(length - 2, outSize - 2);
        std::memcpy(out + 2, printer.deviceId.data(), copied);
        *returned = static_cast<DWORD>(copied + 2);
        return TRUE;
    }

    std::shared_ptr<Machine> machine_;
    std::string instance_;
    int64_t openId_;
    DWORD access_;
};

}  // namespace

bool IsDevicePath(std::string_view path)
{
    return path.size() > 4 && path[0] == '\\' && path[1] == '\\' && (path[2] == '.' || path[2] == '?') &&
           path[3] == '\\';
}

HANDLE OpenDevice(std::string_view path, DWORD access, DWORD share, DWORD disposition)
{
    if (disposition == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    auto m = CurrentMachine();
    auto instance = m ? InterfaceInstance(path.substr(4)) : std::nullopt;
    if (!instance) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int64_t openId = RecordOpen(*m, *instance, access, share);
    if (!openId)
        return INVALID_HANDLE_VALUE;
    return InsertHandle(std::make_shared<PrinterDevice>(m, *instance, openId, access));
}

}  // namespace win9x::layer

extern "C" BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                                       LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                                       LPOVERLAPPED lpOverlapped)
{
    (void)lpOverlapped;
    if (DWORD injected = win9x::layer::InjectedFailure("DeviceIoControl")) {
        SetLastError(injected);
        return FALSE;
    }
    auto object = win9x::layer::LookupHandleAs<win9x::layer::IoObject>(hDevice);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD returned = 0;
    BOOL ok = object->Control(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize, &returned);
    if (lpBytesReturned)
        *lpBytesReturned = returned;
    return ok;
}
