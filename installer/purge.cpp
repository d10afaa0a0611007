/*
 * The uninstall purge of the remove action. It works outward: the device's
 * own keys always; the model's entry, INF file and keys only when no other
 * device of the same hardware ID remains; the family's keys and files only
 * when in addition no model remains in the driver's static configuration.
 */
#include <string.h>
#include <windows.h>

#include "agent.h"

#define HARDWARE_ID_PREFIX "VID_" OVL_USB_VENDOR_ID "&PID_"
#define ENUM_USB_PATH "Enum\\USB\\"
#define DEVICE_INSTANCE_PREFIX "USB\\"
#define DRIVER_CLASS_NAME "USB Sorrelink\\"
#define DRIVER_CLASS_PATH SERVICES_KEY_PATH "Class\\" DRIVER_CLASS_NAME
#define INTERFACE_CLASS_PATH DEVICE_CLASSES_KEY_PATH OVL_INTERFACE_CLASS_TEXT
#define STATIC_CONFIG_PATH SERVICES_KEY_PATH DRIVER_SERVICE_NAME "\\Parameters\\StaticDeviceConfig\\"
#define SERVICES_CLASS_PATH SERVICES_KEY_PATH "Class\\"
#define VXD_DRIVER_PATH SERVICES_KEY_PATH "VxD\\" DRIVER_SERVICE_NAME

#define INF_DIRECTORY "C:\\Windows\\Inf\\Other\\"
#define DRIVERS_DIRECTORY "C:\\Windows\\System32\\DRIVERS\\"

/* Capacity offered for subkey names and the values read during a purge. */
#define PURGE_READ_CAPACITY 254

/* Files deleted at once when the family goes, in this order. */
static const char *const s_SharedFiles[] = {
    DRIVERS_DIRECTORY OVL_FILE_NAME("usb", ".sys"),
    DRIVERS_DIRECTORY OVL_FILE_NAME("ion", ".sys"),
    SYSTEM_DIRECTORY OVL_FILE_NAME("uci", ".dll"),
    SYSTEM_DIRECTORY OVL_FILE_NAME("pom", ".dll"),
};

/* A name that RegDeleteKeyA may be given: not empty (that would delete the
 * key itself) and a single level (no backslash). */
BOOL IsSubkeyName(LPCSTR name)
{
    return name[0] != '\0' && strchr(name, '\\') == NULL;
}

/* A bare file name, so that the INF deletion stays in its directory. */
BOOL IsPlainFileName(LPCSTR name)
{
    if (name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return FALSE;
    return strpbrk(name, "\\/:") == NULL;
}

/* The driver instance: the driver value without its leading run of
 * characters from "USB Sorrelink\" (class name and backslash). */
LPCSTR DriverInstance(LPCSTR driverValue)
{
    return driverValue + strspn(driverValue, DRIVER_CLASS_NAME);
}

/* Clears a file's read-only attribute; a missing file is passed over. */
void ClearReadOnly(LPCSTR path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
}

/* Deletes one subkey with everything below it, refusing names that would
 * reach beyond that one subkey. */
static void DeleteSubkey(HKEY parent, LPCSTR name)
{
    if (IsSubkeyName(name))
        RegDeleteKeyA(parent, name);
}

/* Reads a text value of a subkey, opening and closing the subkey. */
static DWORD ReadSubkeyValue(HKEY parent, LPCSTR subkey, LPCSTR valueName, LPSTR dest)
{
    HKEY key;
    DWORD status;
    LONG opened = RegOpenKeyExA(parent, subkey, 0, KEY_ALL_ACCESS, &key);
    if (opened != ERROR_SUCCESS)
        return (DWORD)opened;
    status = QueryTextValue(key, valueName, dest, PURGE_READ_CAPACITY);
    RegCloseKey(key);
    return status;
}

/* Deletes the first subkey whose "DeviceInstance" equals USB\<name>\<serial>,
 * none when no value is equal. A name too long for its buffer and an index
 * whose enumeration fails are passed over; the walk ends at the end of the
 * list (or when failures last, see NextSubkey). */
static void DeleteByDeviceInstance(HKEY pathKey, LPCSTR name)
{
    char wanted[AGENT_TEXT_SIZE];
    char subkey[AGENT_TEXT_SIZE];
    char instance[AGENT_TEXT_SIZE];
    DWORD index;
    DWORD failures = 0;
    LONG status;

    wanted[0] = '\0';
    if (!AppendText(wanted, sizeof wanted, DEVICE_INSTANCE_PREFIX) ||
        !AppendText(wanted, sizeof wanted, name) || !AppendText(wanted, sizeof wanted, "\\") ||
        !AppendText(wanted, sizeof wanted, g_Serial))
        return;
    for (index = 0;; index++) {
        status = NextSubkey(pathKey, index, subkey, PURGE_READ_CAPACITY, &failures);
        if (status == ERROR_NO_MORE_ITEMS)
            return;
        if (status != ERROR_SUCCESS)
            continue;
        if (ReadSubkeyValue(pathKey, subkey, VALUE_DEVICE_INSTANCE, instance) == ERROR_SUCCESS &&
            strcmp(instance, wanted) == 0) {
            DeleteSubkey(pathKey, subkey);
            return;
        }
    }
}

/* Remembers the driver key's "InfPath" (a missing value leaves the
 * remembered name as it was), then deletes the driver key. */
static void DeleteDriverKey(HKEY pathKey, LPCSTR name)
{
    char infPath[AGENT_TEXT_SIZE];
    HKEY driverKey;
    if (RegOpenKeyExA(pathKey, name, 0, KEY_ALL_ACCESS, &driverKey) != ERROR_SUCCESS)
        return;
    if (QueryTextValue(driverKey, VALUE_INF_PATH, infPath, PURGE_READ_CAPACITY) == ERROR_SUCCESS)
        CopyText(g_RememberedInfName, sizeof g_RememberedInfName, infPath);
    RegCloseKey(driverKey);
    DeleteSubkey(pathKey, name);
}

/* Deletes one subkey of a key path below HKEY_LOCAL_MACHINE, chosen by mode,
 * then the path key itself when no subkey is left under it. Gives the
 * number of subkeys left (0: the path key went too), -1 when the key path
 * cannot be opened or the subkey name is empty or more than one level
 * (nothing deleted), and 1 when the count cannot be read (nothing more
 * deleted). */
LONG PurgeKey(LPCSTR keyPath, LPCSTR name, int mode)
{
    char leaf[AGENT_TEXT_SIZE];
    HKEY current = HKEY_LOCAL_MACHINE;
    DWORD subkeys = 0;

    if (mode != PurgeByDeviceInstance && !IsSubkeyName(name))
        return -1;
    if (OpenKeyPath(keyPath, &current, leaf) != 0 || current == HKEY_LOCAL_MACHINE)
        return -1;

    if (mode == PurgeByName)
        DeleteSubkey(current, name);
    else if (mode == PurgeByDeviceInstance)
        DeleteByDeviceInstance(current, name);
    else if (mode == PurgeDriverKey)
        DeleteDriverKey(current, name);

    if (RegQueryInfoKeyA(current, NULL, NULL, NULL, &subkeys, NULL, NULL, NULL, NULL, NULL, NULL, NULL) !=
        ERROR_SUCCESS) {
        CloseKeyPath(&current);
        return 1;
    }
    if (subkeys == 0) {
        /* The empty path key goes from its parent. */
        RegCloseKey(current);
        current = PopKey();
        DeleteSubkey(current, leaf);
    }
    CloseKeyPath(&current);
    return subkeys > 0x7FFFFFFF ? 0x7FFFFFFF : (LONG)subkeys;
}

/* The purge's inputs must name single registry levels: a model, serial or
 * product ID with a backslash, an empty model or an empty serial stops it. */
static BOOL PurgeInputsValid(LPCSTR productId)
{
    return g_Model[0] != '\0' && g_Serial[0] != '\0' && strchr(g_Model, '\\') == NULL &&
           strchr(g_Serial, '\\') == NULL && strchr(productId, '\\') == NULL;
}

/* Joins up to four pieces into a 260-byte buffer; FALSE when they do not
 * fit. */
static BOOL JoinPath(LPSTR dest, LPCSTR first, LPCSTR second, LPCSTR third, LPCSTR fourth)
{
    dest[0] = '\0';
    return AppendText(dest, AGENT_TEXT_SIZE, first) && AppendText(dest, AGENT_TEXT_SIZE, second) &&
           AppendText(dest, AGENT_TEXT_SIZE, third) && AppendText(dest, AGENT_TEXT_SIZE, fourth);
}

/* Deletes the remembered INF file from the INF directory, attributes
 * untouched, when the remembered name is a bare file name. */
static void DeleteInfFile(void)
{
    char path[AGENT_TEXT_SIZE];
    if (!IsPlainFileName(g_RememberedInfName))
        return;
    if (JoinPath(path, INF_DIRECTORY, g_RememberedInfName, "", ""))
        DeleteFileA(path);
}

/* Removes the family's shared program files: four at once, the agent's own
 * file and the driver library (unless its VxD key exists) at the next
 * start. */
static void RemoveSharedFiles(void)
{
    HKEY vxdKey;
    size_t index;
    for (index = 0; index < sizeof s_SharedFiles / sizeof s_SharedFiles[0]; index++) {
        ClearReadOnly(s_SharedFiles[index]);
        DeleteFileA(s_SharedFiles[index]);
    }
    ClearReadOnly(AGENT_FILE_PATH);
    ScheduleDeleteOnRestart(AGENT_FILE_PATH);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VXD_DRIVER_PATH, 0, KEY_ALL_ACCESS, &vxdKey) == ERROR_SUCCESS) {
        RegCloseKey(vxdKey);
        return;
    }
    ClearReadOnly(IOU_FILE_PATH);
    ScheduleDeleteOnRestart(IOU_FILE_PATH);
}

/* Answers whether a key path below HKEY_LOCAL_MACHINE does not exist (as
 * opposed to one that cannot be opened for another reason). */
static BOOL IsKeyPathMissing(LPCSTR keyPath)
{
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status == ERROR_FILE_NOT_FOUND;
}

/* Purges what the installation of this printer left, and what the model and
 * the family share when this was the last of them. Without a readable
 * "ProductID", with inputs that do not name single registry levels, or with
 * a key path that does not fit, the error code becomes 13 and nothing is
 * purged. */
static void PurgeInstallation(void)
{
    char productId[AGENT_TEXT_SIZE];
    char hardwareId[AGENT_TEXT_SIZE];
    char enumPath[AGENT_TEXT_SIZE];
    char deviceKeyPath[AGENT_TEXT_SIZE];
    char configPath[AGENT_TEXT_SIZE];
    char deviceInstance[AGENT_TEXT_SIZE];
    char driverValue[AGENT_TEXT_SIZE];
    LPCSTR modelSuffix = ModelSuffix(g_Model);
    LPCSTR driverInstance;
    LONG devices;
    LONG models;

    if (ReadModelValue(g_ModelKeyPath, VALUE_PRODUCT_ID, productId) != ERROR_SUCCESS ||
        !PurgeInputsValid(productId) || !JoinPath(hardwareId, HARDWARE_ID_PREFIX, productId, "", "") ||
        !JoinPath(enumPath, ENUM_USB_PATH, hardwareId, "", "") ||
        !JoinPath(deviceKeyPath, enumPath, "\\", g_Serial, "") ||
        /* built again by the interface key's purge; checked here to fit */
        !JoinPath(deviceInstance, DEVICE_INSTANCE_PREFIX, hardwareId, "\\", g_Serial) ||
        !JoinPath(configPath, CONFIG_KEYS_PATH "\\", modelSuffix, "\\", "")) {
        g_ErrorCode = ERROR_INVALID_DATA;
        return;
    }
    g_RememberedInfName[0] = '\0';
    driverValue[0] = '\0';

    /* Read before the device's enumeration key goes. */
    if (ReadModelValue(deviceKeyPath, VALUE_DRIVER, driverValue) != ERROR_SUCCESS)
        driverValue[0] = '\0';

    /* The device's own keys. A device key path that is not there leaves no
     * device; one that cannot be opened for another reason may still hold
     * other devices, so nothing they share is purged. */
    devices = PurgeKey(enumPath, g_Serial, PurgeByName);
    if (devices == -1)
        devices = IsKeyPathMissing(enumPath) ? 0 : 1;
    PurgeKey(INTERFACE_CLASS_PATH, hardwareId, PurgeByDeviceInstance);
    if (driverValue[0] != '\0') {
        driverInstance = DriverInstance(driverValue);
        if (driverInstance[0] != '\0')
            PurgeKey(DRIVER_CLASS_PATH, driverInstance, PurgeDriverKey);
    }
    if (devices != 0)
        return;

    /* The model's keys and INF file. */
    models = PurgeKey(STATIC_CONFIG_PATH, g_Model, PurgeByName);
    if (g_RememberedInfName[0] != '\0') {
        DeleteInfFile();
        if (modelSuffix[0] != '\0') {
            PurgeKey(MODEL_KEYS_PATH, modelSuffix, PurgeByName);
            PurgeKey(configPath, g_Serial, PurgeByName);
        }
    }
    if (models != 0)
        return;

    /* The family's keys and files. */
    PurgeKey(SERVICES_CLASS_PATH, OVL_INTERFACE_CLASS_TEXT, PurgeByName);
    PurgeKey(SERVICES_KEY_PATH, DRIVER_SERVICE_NAME, PurgeByName);
    if (g_RememberedInfName[0] == '\0')
        return;
    PurgeKey(ORVANE_KEY_PATH, MODEL_KEY_ROOT, PurgeByName);
    RemoveSharedFiles();
}

/* The purge of the remove action. Agents removing printers at once take
 * turns: a walk over a key's subkeys by index would skip this device's key
 * when another agent deletes one in front of it, and the counts would let
 * the family's keys go while another device's are still being purged. A
 * lock that cannot be had in time does not stop the purge, which is best
 * effort like its steps. */
void UninstallPurge(void)
{
    HANDLE lock = TakeNamedLock(PURGE_MUTEX_NAME, PURGE_MUTEX_WAIT);
    PurgeInstallation();
    ReleaseNamedLock(lock);
}
