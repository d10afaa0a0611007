// Works the troubleshooting wizard as a user would, from another process,
// with window messages only: it starts usbcheck98.exe, finds its dialog,
// follows a script of actions (the one `ovlsim usbcheck --script` reads:
// choose N, next, back, open-list, pick N, ok, close) and writes what each
// step leaves on screen as a plain transcript, one text a line:
//   dialog: <caption>                    the dialog first shows
//   action: <words>                      the script's action
//   page: <text>                         a visible static text
//   option: <text> checked|unchecked     a visible radio button
//   button: <text> enabled|disabled      a visible push button
//   list: <entry>, selected: <entry>|none a visible drop-down list
//   box: <caption>: <text>               a message box waits for its answer
//   closed                               the dialog went away
//   end                                  the script ended, the dialog still there
// Line breaks and other control characters in a text show as \n, \r, \t or
// \xNN, a backslash as \\. `ovlsim usbcheck --transcript` writes the same
// lines for the stand-in.
//
// With --pictures DIR it also writes a picture of each step, NN-<action>.bmp
// in DIR (NN-<action>-box.bmp when the step ends in a message box: the
// dialog with the box over it); with --fit FILE it measures every text the
// step shows against its control (wizard_fit.h) and writes the results to
// FILE. The transcript stays the same either way.
//
// Usage: wizard_driver [--pictures DIR] [--fit FILE] <usbcheck98.exe> <script>
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "resource.h"
#include "transcript_text.h"
#include "wizard_fit.h"
#include "wizard_pictures.h"

namespace {

// How long one step may take: an agent started with WinExec runs inside it.
constexpr DWORD kStepTimeoutMs = 60000;
constexpr DWORD kPollMs = 10;
constexpr int kBoxTextId = 0xFFFF;

DWORD g_processId = 0;
HANDLE g_process = nullptr;

[[noreturn]] void Fail(const std::string &why)
{
    fflush(stdout);
    fprintf(stderr, "wizard_driver: %s\n", why.c_str());
    if (g_process)
        TerminateProcess(g_process, 1);
    ExitProcess(2);
}

void Line(const char *kind, const std::string &text)
{
    printf("%s: %s\n", kind, Escaped(text).c_str());
}

std::string WindowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// A message to a window of the wizard, waiting for its answer; a wizard that
// does not answer in time fails the run.
LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kStepTimeoutMs, &result))
        Fail("the wizard does not answer");
    return static_cast<LRESULT>(result);
}

// The wizard's visible top-level dialogs: the wizard itself (it has a Next
// button) and a message box over it, if any.
struct Windows {
    HWND wizard = nullptr;
    HWND box = nullptr;
};

BOOL CALLBACK Collect(HWND window, LPARAM param)
{
    auto *found = reinterpret_cast<Windows *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != g_processId || !IsWindowVisible(window) || ClassOf(window) != "#32770")
        return TRUE;
    if (GetDlgItem(window, IDC_NEXT))
        found->wizard = window;
    else
        found->box = window;
    return TRUE;
}

Windows Find()
{
    Windows found;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool Ended()
{
    return WaitForSingleObject(g_process, 0) == WAIT_OBJECT_0;
}

// A list entry's text. Asked for in UTF-16 and turned into the ANSI code
// page here: Wine 8 answers a cross-process CB_GETLBTEXT sent as ANSI with
// UTF-16 text (and more bytes than the ANSI length asks room for).
std::string Entry(HWND combo, LRESULT index)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, index, 0, SMTO_NORMAL, kStepTimeoutMs, &length) ||
        static_cast<LRESULT>(length) == CB_ERR)
        Fail("cannot read a list entry");
    std::vector<WCHAR> wide(length + 256, 0);
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(wide.data()), SMTO_NORMAL,
                             kStepTimeoutMs, &ignored))
        Fail("cannot read a list entry");
    char text[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, text, sizeof text, nullptr, nullptr);
    return text;
}

std::vector<std::string> Entries(HWND combo)
{
    std::vector<std::string> entries;
    LRESULT count = Ask(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        entries.push_back(Entry(combo, i));
    return entries;
}

void WriteCombo(HWND combo)
{
    for (const std::string &entry : Entries(combo))
        Line("list", entry);
    LRESULT selected = Ask(combo, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        printf("selected: none\n");
    else
        Line("selected", Entry(combo, selected));
}

// The dialog's visible controls, in z-order (a dialog's controls are in the
// order of its template).
void WriteDialog(HWND dialog)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        std::string kind = ClassOf(child);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(kind.c_str(), "Static") == 0 && (style & SS_TYPEMASK) != SS_BITMAP) {
            Line("page", WindowText(child));
        } else if (lstrcmpiA(kind.c_str(), "ComboBox") == 0) {
            WriteCombo(child);
        } else if (lstrcmpiA(kind.c_str(), "Button") == 0) {
            LONG type = style & BS_TYPEMASK;
            if (type == BS_GROUPBOX)
                continue;
            if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
                bool checked = Ask(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
                Line("option", WindowText(child) + (checked ? " checked" : " unchecked"));
            } else {
                Line("button", WindowText(child) + (IsWindowEnabled(child) ? " enabled" : " disabled"));
            }
        }
    }
}

void WriteBox(HWND box)
{
    HWND text = GetDlgItem(box, kBoxTextId);
    printf("box: %s: %s\n", Escaped(WindowText(box)).c_str(), Escaped(text ? WindowText(text) : "").c_str());
}

// Waits until the step has played out and writes what it left: a message
// box waiting (not `answered`, the one the step closed), the wizard waiting
// for its user again (Back or Next usable: while a page works both are
// greyed), or no wizard. The WM_NULL round trip makes sure the wizard has
// taken every message sent before it.
Windows Settle(HWND wizard, HWND answered)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kStepTimeoutMs) {
        if (!IsWindow(wizard) || Ended()) {
            printf("closed\n");
            return Windows();
        }
        DWORD_PTR ignored = 0;
        if (SendMessageTimeoutA(wizard, WM_NULL, 0, 0, SMTO_NORMAL, 200, &ignored)) {
            Windows now = Find();
            if (now.box && now.box != answered && !IsWindow(answered)) {
                WriteBox(now.box);
                return now;
            }
            if (!now.box && now.wizard == wizard &&
                (IsWindowEnabled(GetDlgItem(wizard, IDC_NEXT)) || IsWindowEnabled(GetDlgItem(wizard, IDC_BACK)))) {
                WriteDialog(wizard);
                return now;
            }
        }
        Sleep(kPollMs);
    }
    Fail("the wizard did not settle after a step");
}

// The nth radio button (from 1) in the dialog's order.
HWND NthOption(HWND dialog, int n)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        LONG type = GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
        if (lstrcmpiA(ClassOf(child).c_str(), "Button") == 0 &&
            (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) && --n == 0)
            return child;
    }
    return nullptr;
}

HWND VisibleList(HWND dialog)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child) && lstrcmpiA(ClassOf(child).c_str(), "ComboBox") == 0)
            return child;
    }
    return nullptr;
}

// A control the user can use now: there, visible and enabled.
HWND Usable(HWND control, const std::string &what)
{
    if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control))
        Fail(what + " cannot be used now");
    return control;
}

// Sent without waiting for the answer: the wizard may answer only once the
// message box the message brings up is closed.
void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!SendNotifyMessageA(window, message, wParam, lParam))
        Fail("cannot send a message to the wizard");
}

void Command(HWND wizard, HWND control, WORD notification)
{
    Post(wizard, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), notification), reinterpret_cast<LPARAM>(control));
}

// Does one action of the script; what the wizard shows now is `shown`.
Windows Perform(const std::vector<std::string> &words, const Windows &shown)
{
    const std::string &verb = words[0];
    int number = words.size() > 1 ? atoi(words[1].c_str()) : 0;
    if (verb == "ok") {
        if (!shown.box)
            Fail("no message box to answer with ok");
        HWND button = GetDlgItem(shown.box, IDOK);
        Post(Usable(button, "the box's OK button"), BM_CLICK, 0, 0);
        return Settle(shown.wizard, shown.box);
    }
    if (shown.box)
        Fail("a message box waits: answer it with ok");
    HWND wizard = shown.wizard;
    if (verb == "choose")
        Post(Usable(NthOption(wizard, number), "option " + words[1]), BM_CLICK, 0, 0);
    else if (verb == "next")
        Post(Usable(GetDlgItem(wizard, IDC_NEXT), "Next"), BM_CLICK, 0, 0);
    else if (verb == "back")
        Post(Usable(GetDlgItem(wizard, IDC_BACK), "Back"), BM_CLICK, 0, 0);
    else if (verb == "open-list")
        Command(wizard, Usable(VisibleList(wizard), "the list"), CBN_DROPDOWN);
    else if (verb == "pick") {
        HWND list = Usable(VisibleList(wizard), "the list");
        if (Ask(list, CB_SETCURSEL, number, 0) == CB_ERR)
            Fail("the list has no entry " + words[1]);
        Command(wizard, list, CBN_SELCHANGE);
    } else if (verb == "close")
        Post(wizard, WM_COMMAND, IDCANCEL, 0);
    else
        Fail("unknown action '" + verb + "'");
    return Settle(wizard, nullptr);
}

// The script's actions, one a line, '#' starting a comment.
std::vector<std::vector<std::string>> ReadScript(const char *path)
{
    FILE *file = fopen(path, "r");
    if (!file)
        Fail(std::string("cannot read the script ") + path);
    std::vector<std::vector<std::string>> actions;
    char line[512];
    while (fgets(line, sizeof line, file)) {
        if (char *hash = strchr(line, '#'))
            *hash = '\0';
        std::vector<std::string> words;
        for (char *word = strtok(line, " \t\r\n"); word; word = strtok(nullptr, " \t\r\n"))
            words.push_back(word);
        if (!words.empty()) {
            CharLowerA(&words[0][0]);
            actions.push_back(words);
        }
    }
    fclose(file);
    return actions;
}

void Start(const char *program)
{
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    std::string commandLine = program;
    if (!CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        Fail(std::string("cannot start ") + program);
    CloseHandle(info.hThread);
    g_process = info.hProcess;
    g_processId = info.dwProcessId;
}

// The wizard's dialog once it shows and waits for its user.
Windows FirstShow()
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kStepTimeoutMs) {
        if (Ended())
            Fail("the wizard ended before its dialog showed");
        Windows now = Find();
        if (now.wizard) {
            printf("dialog: %s\n", Escaped(WindowText(now.wizard)).c_str());
            return Settle(now.wizard, nullptr);
        }
        Sleep(kPollMs);
    }
    Fail("the wizard's dialog did not show");
}

// What the driver was asked to do besides the transcript.
struct Options {
    std::string pictures;  // folder of the pictures, or empty
    std::string fit;       // file of the fit results, or empty
    const char *program = nullptr;
    const char *script = nullptr;
};

Options ReadOptions(int argc, char **argv)
{
    Options options;
    int i = 1;
    for (; i + 1 < argc && strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (strcmp(argv[i], "--pictures") == 0)
            options.pictures = argv[i + 1];
        else if (strcmp(argv[i], "--fit") == 0)
            options.fit = argv[i + 1];
        else
            break;
    }
    if (argc - i != 2)
        Fail("usage: wizard_driver [--pictures DIR] [--fit FILE] <usbcheck98.exe> <script>");
    options.program = argv[i];
    options.script = argv[i + 1];
    return options;
}

// The picture and the text measures of what step `step` (its action
// `action`) left on screen, as far as they were asked for.
void Observe(const Options &options, FitCheck *fit, const Windows &shown, int step, const std::string &action)
{
    if (!shown.wizard)
        return;
    char number[16];
    snprintf(number, sizeof number, "%02d", step);
    if (!options.pictures.empty()) {
        std::string name = std::string(number) + "-" + action + (shown.box ? "-box" : "");
        for (char &c : name) {
            if (c == ' ')
                c = '-';
        }
        std::string why;
        if (!WritePicture(shown.wizard, shown.box, options.pictures + "\\" + name + ".bmp", &why))
            Fail("picture of step " + std::string(number) + ": " + why);
    }
    if (!options.fit.empty()) {
        std::string where = "step " + std::string(number) + " (" + action + ")";
        // Under a message box the wizard shows the text of the work that
        // brought the box up.
        fit->Dialog(shown.wizard, where, Entries);
        if (shown.box)
            fit->Box(shown.box, where + ", box \"" + Escaped(WindowText(shown.box)) + "\"");
    }
}

}  // namespace

int main(int argc, char **argv)
{
    Options options = ReadOptions(argc, argv);
    std::vector<std::vector<std::string>> script = ReadScript(options.script);
    FitCheck fit;
    std::string why;
    if (!options.fit.empty() && !fit.Open(options.program, options.fit.c_str(), &why))
        Fail(why);
    Start(options.program);
    Windows shown = FirstShow();
    Observe(options, &fit, shown, 0, "start");
    int step = 0;
    for (const auto &action : script) {
        if (!shown.wizard)
            Fail("the dialog is gone: no more actions can be done");
        std::string text;
        for (const auto &word : action)
            text += (text.empty() ? "" : " ") + word;
        Line("action", text);
        shown = Perform(action, shown);
        fflush(stdout);
        Observe(options, &fit, shown, ++step, text);
    }
    if (shown.wizard)
        printf("end\n");
    fflush(stdout);
    if (shown.box)
        Post(GetDlgItem(shown.box, IDOK), BM_CLICK, 0, 0);
    if (shown.wizard)
        Post(shown.wizard, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(g_process, kStepTimeoutMs) != WAIT_OBJECT_0)
        Fail("the wizard did not end after its dialog was closed");
    CloseHandle(g_process);
    return 0;
}
