// The model's setup settings and the two texts built from them: the model
// suffix and key path, the parameter text stored as "CmdLine", and the setup
// command line, with settings missing, empty or too long.
#include <optional>
#include <string>

#include "agent_test_support.h"

namespace {

using agenttest::AgentTest;
using agenttest::kModelKey;
using agenttest::SetText;
using agenttest::Text;

const char kFullTail[] =
    " -v bustype=usb -v port=USB/Sorrelink 640/X1 -v model=Sorrelink 640 -v serial=X1 -v dialog=0 -v error=0"
    " -v abort=0";

// The model key's setup settings; a setting left out is not written.
struct Settings {
    std::optional<std::string> root = "C:\\SETUP";
    std::optional<std::string> exec = "SETUP.EXE";
    std::optional<std::string> parameters = "-v language=english";
    std::optional<std::string> port1 = "USB/Sorrelink 640/Y7";
    std::optional<std::string> port2 = "USB/Sorrelink 640/X1";
};

// Replaces every Orvane key with a model key holding these settings.
void WriteModelKey(const Settings &settings, const std::string &keyPath = kModelKey)
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Orvane");
    agenttest::CreateKey(keyPath);
    const std::pair<const char *, const std::optional<std::string> *> values[] = {
        {"SetupRootPath", &settings.root},
        {"SetupExecFile", &settings.exec},
        {"SetupParameters", &settings.parameters},
        {"PortName1", &settings.port1},
        {"PortName2", &settings.port2}};
    for (const auto &[name, value] : values) {
        if (*value)
            SetText(keyPath, name, **value);
    }
}

class SetupCommandTest : public AgentTest {
  protected:
    // Builds the setup command line for this printer on a fresh run state.
    static void Build(const std::string &model = "Sorrelink 640", const std::string &serial = "X1")
    {
        UsePrinter(model, serial);
        BuildSetupCommandLine();
    }
    static std::optional<std::string> CmdLine(const std::string &key = agenttest::kConfigKey)
    {
        return Text(key, "CmdLine");
    }
};

TEST_F(SetupCommandTest, ModelSuffixAndModelKeyPath)
{
    struct Case {
        const char *model, *suffix;
    } cases[] = {
        {"Sorrelink 640", "640"},
        {"640", "640"},
        {"Sorrelink", ""},
        {"linker 9", "9"},
        {"Sorrelink 880 A", "880 A"},
        {"sorrelink 640", "sorrelink 640"},
        {"", ""},
        {"Sor 7 Sorrelink", "7 Sorrelink"},
    };
    char path[AGENT_TEXT_SIZE];
    for (const auto &c : cases) {
        EXPECT_STREQ(c.suffix, ModelSuffix(c.model)) << c.model;
        EXPECT_TRUE(BuildModelKeyPath(path, c.model));
        EXPECT_EQ(std::string("Software\\Orvane\\OVLIO\\") + c.suffix, path) << c.model;
    }
    // A model key path that does not fit is left empty, and reads through it
    // find no model key.
    std::string longModel(AGENT_TEXT_MAX - std::strlen("Software\\Orvane\\OVLIO\\"), 'm');
    EXPECT_TRUE(BuildModelKeyPath(path, longModel.c_str()));
    EXPECT_FALSE(BuildModelKeyPath(path, (longModel + "m").c_str()));
    EXPECT_STREQ("", path);
    char value[AGENT_TEXT_SIZE] = "stale";
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ReadModelValue(path, "SetupRootPath", value));
}

TEST_F(SetupCommandTest, SetupRootPathAndExecFile)
{
    char dest[AGENT_TEXT_SIZE];
    char buffer[AGENT_TEXT_SIZE];
    UsePrinter("Sorrelink 640", "X1");
    auto root = [&](const std::optional<std::string> &value) {
        Settings settings;
        settings.root = value;
        WriteModelKey(settings);
        std::strcpy(dest, "unchanged");
        return ReadSetupRootPath(dest, buffer);
    };
    EXPECT_EQ(0u, root("C:\\SETUP"));
    EXPECT_STREQ("C:\\SETUP\\", dest);
    EXPECT_EQ(0u, root("C:\\SETUP\\"));
    EXPECT_STREQ("C:\\SETUP\\", dest);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), root(std::nullopt));
    EXPECT_STREQ("unchanged", dest);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_TOKEN), root(""));
    EXPECT_STREQ("unchanged", dest);
    // 258 characters take their backslash; 259 leave it no room.
    std::string folder = "C:\\" + std::string(AGENT_TEXT_MAX - 4, 'f');
    EXPECT_EQ(0u, root(folder));
    EXPECT_EQ(folder + "\\", dest);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_TOKEN), root(folder + "f"));
    EXPECT_STREQ("unchanged", dest);
    EXPECT_EQ(0u, root(folder + "\\"));
    EXPECT_EQ(folder + "\\", dest);

    auto exec = [&](const std::optional<std::string> &value, const std::string &start) {
        Settings settings;
        settings.exec = value;
        WriteModelKey(settings);
        std::strcpy(dest, start.c_str());
        return AppendSetupExecFile(dest, buffer);
    };
    EXPECT_EQ(0u, exec("SETUP.EXE", "C:\\SETUP\\"));
    EXPECT_STREQ("C:\\SETUP\\SETUP.EXE", dest);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), exec(std::nullopt, "C:\\SETUP\\"));
    EXPECT_STREQ("C:\\SETUP\\", dest);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_TOKEN), exec("", "C:\\SETUP\\"));
    EXPECT_STREQ("C:\\SETUP\\", dest);
    // Root path and file name must fit together in 259 characters.
    std::string start(200, 'r');
    EXPECT_EQ(0u, exec(std::string(AGENT_TEXT_MAX - 200, 'e'), start));
    EXPECT_EQ(AGENT_TEXT_MAX, std::strlen(dest));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_TOKEN), exec(std::string(AGENT_TEXT_SIZE - 200, 'e'), start));
    EXPECT_EQ(start, dest);
}

TEST_F(SetupCommandTest, ParameterTextPieces)
{
    char text[PARAMETER_TEXT_SIZE];
    Settings settings;
    settings.parameters = "";
    WriteModelKey(settings);
    UsePrinter("Sorrelink 640", "X1");
    EXPECT_EQ(0u, BuildParameterText(text));
    EXPECT_STREQ(" -v bustype=usb -v port=USB/Sorrelink 640/X1 -v model=Sorrelink 640 -v serial=X1 -v dialog=0", text);

    // No SetupParameters: the text begins with the bus type; no model.
    settings.parameters.reset();
    WriteModelKey(settings);
    UsePrinter("", "X1");
    std::strcpy(g_ModelKeyPath, kModelKey);
    g_DialogCode = 2;
    EXPECT_EQ(0u, BuildParameterText(text));
    EXPECT_STREQ(" -v bustype=usb -v port=USB/Sorrelink 640/X1 -v serial=X1 -v dialog=2", text);

    // An empty serial takes PortName1 and writes no serial piece.
    UsePrinter("Sorrelink 640", "");
    EXPECT_EQ(0u, BuildParameterText(text));
    EXPECT_STREQ(" -v bustype=usb -v port=USB/Sorrelink 640/Y7 -v model=Sorrelink 640 -v dialog=0", text);

    // No port holds the serial: no port piece, and the lookup's code.
    UsePrinter("Sorrelink 640", "Q5");
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), BuildParameterText(text));
    EXPECT_STREQ(" -v bustype=usb -v model=Sorrelink 640 -v serial=Q5 -v dialog=0", text);

    // A text that does not fit its 256 bytes is refused, not cut.
    settings.parameters = std::string(200, 'p');
    WriteModelKey(settings);
    UsePrinter("Sorrelink 640", "X1");
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), BuildParameterText(text));
    EXPECT_STREQ("", text);
}

TEST_F(SetupCommandTest, SetupCommandLineWithEverythingPresent)
{
    WriteModelKey(Settings{});
    Build();
    EXPECT_EQ(0u, g_ErrorCode);
    EXPECT_STREQ("C:\\SETUP\\SETUP.EXE -ovregistry=640\\X1", g_SetupCommandLine);
    EXPECT_EQ(std::string("-v language=english") + kFullTail, CmdLine());

    // The codes of the run reach the tail.
    UsePrinter("Sorrelink 640", "X1");
    g_DialogCode = 2;
    g_ErrorCode = 5;
    g_AbortFlag = 1;
    BuildSetupCommandLine();
    EXPECT_EQ(5u, g_ErrorCode);
    std::string cmdLine = CmdLine().value_or("");
    EXPECT_EQ(" -v dialog=2 -v error=5 -v abort=1", cmdLine.substr(cmdLine.size() - 34)) << cmdLine;

    // The family name alone: an empty suffix on both keys.
    WriteModelKey(Settings{}, "Software\\Orvane\\OVLIO");
    Build("Sorrelink", "X1");
    EXPECT_STREQ("C:\\SETUP\\SETUP.EXE -ovregistry=\\X1", g_SetupCommandLine);
    EXPECT_TRUE(CmdLine("Software\\Orvane\\OVL\\X1").has_value());

    // An empty serial: no serial key level, the CmdLine lies in the model's.
    WriteModelKey(Settings{});
    Build("Sorrelink 640", "");
    EXPECT_STREQ("C:\\SETUP\\SETUP.EXE -ovregistry=640\\", g_SetupCommandLine);
    auto modelLevel = CmdLine("Software\\Orvane\\OVL\\640");
    ASSERT_TRUE(modelLevel.has_value());
    EXPECT_NE(std::string::npos, modelLevel->find("-v port=USB/Sorrelink 640/Y7"));
    EXPECT_EQ(std::string::npos, modelLevel->find("-v serial="));
}

TEST_F(SetupCommandTest, MissingOrEmptySetupSettingsStoreNoCmdLine)
{
    struct Case {
        const char *what;
        Settings settings;
        DWORD error;
        const char *commandLine;
    } cases[] = {
        {"root missing", {.root = std::nullopt}, ERROR_FILE_NOT_FOUND, " -ovregistry=640\\X1"},
        {"root empty", {.root = ""}, ERROR_NO_TOKEN, " -ovregistry=640\\X1"},
        {"file missing", {.exec = std::nullopt}, ERROR_FILE_NOT_FOUND, "C:\\SETUP\\ -ovregistry=640\\X1"},
        {"file empty", {.exec = ""}, ERROR_NO_TOKEN, "C:\\SETUP\\ -ovregistry=640\\X1"},
        {"root without room for its backslash",
         {.root = std::string(AGENT_TEXT_MAX, 'f')},
         ERROR_NO_TOKEN,
         " -ovregistry=640\\X1"},
        {"root too long for its buffer", {.root = std::string(300, 'f')}, ERROR_NO_TOKEN, " -ovregistry=640\\X1"},
        {"file too long for its buffer",
         {.exec = std::string(300, 'e')},
         ERROR_NO_TOKEN,
         "C:\\SETUP\\ -ovregistry=640\\X1"},
    };
    for (const auto &c : cases) {
        WriteModelKey(c.settings);
        Build();
        EXPECT_EQ(c.error, g_ErrorCode) << c.what;
        EXPECT_STREQ(c.commandLine, g_SetupCommandLine) << c.what;
        EXPECT_FALSE(CmdLine().has_value()) << c.what;
    }
    // No model key at all.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Orvane");
    Build();
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_ErrorCode);
    EXPECT_FALSE(CmdLine().has_value());
}

TEST_F(SetupCommandTest, OtherReadErrorsStillStoreTheCmdLine)
{
    // A root path that cannot be read: the path pieces are left out, the
    // code is not recorded and the CmdLine is stored.
    WriteModelKey({});
    win9x::machine::FailNthCall("RegQueryValueExA", 1, ERROR_REGISTRY_IO_FAILED);
    Build();
    EXPECT_EQ(0u, g_ErrorCode);
    EXPECT_STREQ(" -ovregistry=640\\X1", g_SetupCommandLine);
    EXPECT_EQ(std::string("-v language=english") + kFullTail, CmdLine());

    // Without SetupParameters the text begins with the bus type.
    WriteModelKey({.parameters = std::nullopt});
    Build();
    EXPECT_EQ(kFullTail, CmdLine());

    // No port holds the serial: its code is recorded and reaches the text.
    WriteModelKey({.port1 = std::nullopt, .port2 = std::nullopt});
    Build();
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), g_ErrorCode);
    EXPECT_EQ(
        "-v language=english -v bustype=usb -v model=Sorrelink 640 -v serial=X1 -v dialog=0 -v error=2 -v abort=0",
        CmdLine());
}

TEST_F(SetupCommandTest, TextsThatDoNotFitAreNeitherCutNorUsed)
{
    // The parameter text holds 255 characters: one more is not stored and
    // the run records ERROR_INSUFFICIENT_BUFFER.
    std::string tail = kFullTail;
    std::string fits(PARAMETER_TEXT_SIZE - 1 - tail.size(), 'p');
    WriteModelKey({.parameters = fits});
    Build();
    EXPECT_EQ(0u, g_ErrorCode);
    EXPECT_EQ(fits + tail, CmdLine());
    EXPECT_EQ(PARAMETER_TEXT_SIZE - 1, CmdLine()->size());

    // Nor is one whose SetupParameters alone are too long for their buffer.
    for (const std::string &parameters : {fits + "p", std::string(300, 'p')}) {
        WriteModelKey({.parameters = parameters});
        Build();
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), g_ErrorCode) << parameters.size();
        EXPECT_FALSE(CmdLine().has_value()) << parameters.size();
        EXPECT_STREQ("C:\\SETUP\\SETUP.EXE -ovregistry=640\\X1", g_SetupCommandLine);
    }

    // The setup command line holds 259 characters; one that does not fit is
    // left empty, and an empty one is never scheduled.
    std::string option = " -ovregistry=640\\X1";
    std::string root = "C:\\" + std::string(AGENT_TEXT_MAX - option.size() - std::strlen("\\SETUP.EXE") - 3, 'r');
    WriteModelKey({.root = root});
    Build();
    EXPECT_EQ(root + "\\SETUP.EXE" + option, g_SetupCommandLine);
    EXPECT_EQ(static_cast<size_t>(AGENT_TEXT_MAX), std::strlen(g_SetupCommandLine));

    WriteModelKey({.root = root + "r"});
    Build();
    EXPECT_STREQ("", g_SetupCommandLine);
    EXPECT_EQ(0u, g_ErrorCode);
    ScheduleSetupRunOnce();
    EXPECT_FALSE(Text(agenttest::kRunOnceKey, "RunOnce").has_value());
}

} // namespace
