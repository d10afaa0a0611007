#include "world/driver_install.h"

#include "world/host_files.h"

namespace ovlsim {

namespace {

struct DriverFile {
    const char *path;
    bool readOnly;  // installers leave some of them read-only
};

// Files of the USB driver package; on the machine they only need to exist.
const DriverFile kDriverFiles[] = {
    {"C:\\WINDOWS\\SYSTEM32\\DRIVERS\\ovlusb00.sys", false},
    {"C:\\WINDOWS\\SYSTEM32\\DRIVERS\\ovlion00.sys", true},
    {"C:\\WINDOWS\\SYSTEM\\ovluci00.dll", false},
    {"C:\\WINDOWS\\SYSTEM\\VMM32\\ovliou00.dll", true},
};

const char *const kDeliverables[] = {"ovlpom00.dll", "ovlcin00.exe"};

}  // namespace

bool InstallDriverFiles(std::string *error)
{
    for (const char *name : kDeliverables) {
        std::string build = HostBuild(name);
        if (build.empty()) {
            *error = std::string("the host build of ") + name + " is missing; build the project first";
            return false;
        }
        if (!InstallHostFile(build, std::string("C:\\WINDOWS\\SYSTEM\\") + name, false, error))
            return false;
    }
    for (const auto &file : kDriverFiles) {
        std::string content = std::string("placeholder driver file of the emulated machine: ") + file.path + "\n";
        if (!InstallTextFile(file.path, content, file.readOnly, error))
            return false;
    }
    return true;
}

}  // namespace ovlsim
