// Unattended deployment as a management tool runs it: /q shows nothing and answers with
// exit codes, /q /die removes the product, /l: records what a run did.
#include "gui.h"
#include "product.h"
#include "qmtest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace qmtest;

const std::string kTarget = "C:\\Program Files\\QM Quiet";
const std::string kLog = "C:\\qmtest\\deploy logs\\run.log";
const std::string kProductKey = "Software\\Quellmark";
const std::string kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellmark";
constexpr DWORD kRestartNeeded = 3010;

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

BOOL CALLBACK countWindowOf(HWND window, LPARAM context) {
    auto* watch = reinterpret_cast<std::pair<DWORD, int>*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == watch->first && IsWindowVisible(window))
        ++watch->second;
    return TRUE;
}

// Runs the installer to its end, looking for any visible top-level window of its
// process all the while. Returns the exit code; `windowsSeen` counts the sightings.
std::optional<DWORD> runWatched(const std::string& arguments, int& windowsSeen) {
    Process installer = startInstaller(arguments);
    windowsSeen = 0;
    DWORD start = GetTickCount();
    while (installer.running() && GetTickCount() - start < kDefaultTimeoutMs) {
        std::pair<DWORD, int> watch{installer.id(), 0};
        EnumWindows(countWindowOf, reinterpret_cast<LPARAM>(&watch));
        windowsSeen += watch.second;
        Sleep(20);
    }
    return installer.wait(5000);
}

std::string logText() {
    return readFile(kLog).value_or("");
}

bool logHas(const std::string& text) {
    return logText().find(text) != std::string::npos;
}

struct LogLine {
    std::string time; // yyyy-mm-dd hh:mm:ss.mmm
    DWORD pid;
    std::string event; // what follows the prefix
};

// The log's lines, each checked for its "yyyy-mm-dd hh:mm:ss.mmm [pid] " prefix.
std::vector<LogLine> logLines() {
    static const std::regex prefix(R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) \[(\d+)\] )");
    std::vector<LogLine> lines;
    for (const std::string& line : splitLines(logText())) {
        if (line.empty())
            continue;
        std::smatch match;
        if (!std::regex_search(line, match, prefix)) {
            ADD_FAILURE() << "no time and process id: " << line;
            continue;
        }
        lines.push_back({match[1], static_cast<DWORD>(std::stoul(match[2])), match.suffix()});
    }
    return lines;
}

// The events that begin with `start`.
std::vector<std::string> eventsStartingWith(const std::string& start) {
    std::vector<std::string> found;
    for (const LogLine& line : logLines())
        if (line.event.compare(0, start.size(), start) == 0)
            found.push_back(line.event);
    return found;
}

class Quiet : public ::testing::Test {
  protected:
    void SetUp() override {
        createKey(HKEY_CURRENT_USER, kProductKey);
        makeDirectories("C:\\qmtest\\deploy logs");
    }
    void TearDown() override {
        killProcesses("Quellmark.exe");
    }
};

TEST_F(Quiet, AFailedInstallShowsNothingExitsOneAndLogsTheError) {
    int windowsSeen = 0;
    auto exitCode = runWatched("/q /p:\"C:\\No Such Parent\\QM\" /l:" + quoted(kLog), windowsSeen);
    EXPECT_EQ(exitCode, std::optional<DWORD>(1));
    EXPECT_EQ(windowsSeen, 0);
    // The line before the message says which call failed, where, and why.
    std::vector<LogLine> lines = logLines();
    auto message = std::find_if(lines.begin(), lines.end(), [](const LogLine& line) {
        return line.event.find("message left out: Error when attempting to establish program "
                               "directory") == 0;
    });
    ASSERT_NE(message, lines.end()) << logText();
    ASSERT_NE(message, lines.begin());
    EXPECT_EQ((message - 1)->event, "created the program directory C:\\No Such Parent\\QM from the "
                                    "/p: switch: failed, error 3 (ERROR_PATH_NOT_FOUND)");
    EXPECT_TRUE(logHas("end: exit code 1")) << logText();
}

TEST_F(Quiet, AnUpgradeOverTheRunningProductEndsWith3010AndCompletesAtRestart) {
    makeDirectories(kTarget);
    writeFile(joinPath(kTarget, "Quellmark.dll"), libraryImage() + "old version");
    writeFile(joinPath(kTarget, "Quellmark.exe"), launcherImage() + "old version");
    Process product = startProduct(kTarget);
    ASSERT_TRUE(product.running());

    int windowsSeen = 0;
    auto exitCode =
        runWatched("/q /p:" + quoted(kTarget) + " /s /m /l:" + quoted(kLog), windowsSeen);
    EXPECT_EQ(exitCode, std::optional<DWORD>(kRestartNeeded));
    EXPECT_EQ(windowsSeen, 0);
    Sleep(2000);
    EXPECT_EQ(productStarts(kTarget).size(), 1u) << "started again over files in use";
    EXPECT_FALSE(pendingRenames().empty());
    // One line for a file in use, saying what the restart will do.
    std::vector<std::string> library =
        eventsStartingWith("replaced " + joinPath(kTarget, "Quellmark.dll") + " from ");
    ASSERT_EQ(library.size(), 1u) << logText();
    EXPECT_TRUE(std::regex_match(
        library[0], std::regex(R"(.* from C:\\Program Files\\QM Quiet\\izd[0-9a-f]+\.tmp: )"
                               R"(in use: replaced at the restart)",
                               std::regex::icase)))
        << library[0];
    EXPECT_TRUE(logHas("end: exit code 3010; waiting for the restart: product files yes, the "
                       "uninstaller's own file no"))
        << logText();

    product.kill();
    killProcesses("Quellmark.exe");
    restartWindows();
    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.dll")), libraryImage());
    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.exe")), launcherImage());
}

TEST_F(Quiet, AnUninstallClosesTheProductAndLeavesWhatIsInUseToTheRestart) {
    ASSERT_EQ(runInstaller("/p:" + quoted(kTarget)), std::optional<DWORD>(0));
    ASSERT_TRUE(waitFor([] { return productStarts(kTarget).size() == 1; }, kDefaultTimeoutMs));
    killProcesses("Quellmark.exe");
    ASSERT_TRUE(waitFor([] { return productWindow() == nullptr; }));
    ASSERT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    Process product = startProduct(kTarget);
    ASSERT_TRUE(product.running());
    // Another program holds the library, as a browser that loaded it would.
    HMODULE held = LoadLibraryExA(joinPath(kTarget, "Quellmark.dll").c_str(), nullptr,
                                  DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(held, nullptr);

    int windowsSeen = 0;
    auto exitCode = runWatched("/q /l:" + quoted(kLog) + " /die", windowsSeen);
    EXPECT_EQ(exitCode, std::optional<DWORD>(kRestartNeeded)) << logText();
    EXPECT_EQ(windowsSeen, 0);

    std::vector<ProductMessage> messages = productMessages(kTarget);
    ASSERT_FALSE(messages.empty()) << "the product was not asked to close";
    EXPECT_EQ(messages.front().name, "61239");
    EXPECT_FALSE(product.running());
    EXPECT_FALSE(fileExists(joinPath(kTarget, "Quellmark.exe")) &&
                 !logHas("deleted " + joinPath(kTarget, "Quellmark.exe") +
                         ": in use: deleted at the restart"));
    EXPECT_TRUE(logHas("deleted " + joinPath(kTarget, "Quellmark.dll") +
                       ": in use: deleted at the restart"))
        << logText();
    // The system copy is not the file that ran: it goes at once.
    EXPECT_TRUE(logHas("; waiting for the restart: product files yes, the uninstaller's own file "
                       "no"))
        << logText();
    EXPECT_FALSE(fileExists(uninstallerCopy()));
    EXPECT_FALSE(directoryExists(perUserGroup()));
    EXPECT_FALSE(directoryExists(allUsersGroup()));
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"), "<absent>");
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kRunKey, "Quellmark"), "<absent>");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

    // The product's own logs are the test's, not the product's: they go before the restart.
    FreeLibrary(held);
    DeleteFileA(joinPath(kTarget, "Quellmark.log").c_str());
    DeleteFileA(joinPath(kTarget, "Quellmark.messages.log").c_str());
    restartWindows();
    EXPECT_FALSE(directoryExists(kTarget));
}

// A quiet install starts nothing: the Run value starts the product at the next logon,
// in the user's own session rather than beside it as the deployment tool's account.
TEST_F(Quiet, AloneItInstallsWhereTheDialogWouldStartsNothingAndUninstallsKeepingTheConfiguration) {
    const std::string target = kDefaultDir;
    ASSERT_EQ(runInstaller("/q /l:" + quoted(kLog)), std::optional<DWORD>(0));
    EXPECT_EQ(readFile(joinPath(target, "Quellmark.dll")), libraryImage());
    EXPECT_NE(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"), "<absent>");
    EXPECT_TRUE(logHas("product not started: quiet mode")) << logText();
    Sleep(2000);
    EXPECT_TRUE(productStarts(target).empty());

    writeFile(joinPath(target, "Config.dat"), "my settings");
    writeFile(joinPath(target, "CustomStrings.dat"), "my filters");
    ASSERT_EQ(runInstaller("/q /die"), std::optional<DWORD>(0));
    EXPECT_FALSE(fileExists(joinPath(target, "Quellmark.dll")));
    EXPECT_FALSE(fileExists(joinPath(target, "Quellmark.exe")));
    EXPECT_EQ(readFile(joinPath(target, "Config.dat")), "my settings");
    EXPECT_EQ(readFile(joinPath(target, "CustomStrings.dat")), "my filters");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// The stand-in product logs into its directory; those files are the test's, and would
// keep the directory that an uninstall empties.
void stopProductAndRemoveItsLogs(const std::string& directory) {
    killProcesses("Quellmark.exe");
    ASSERT_TRUE(waitFor([] { return productWindow() == nullptr; }));
    DeleteFileA(joinPath(directory, "Quellmark.log").c_str());
    DeleteFileA(joinPath(directory, "Quellmark.messages.log").c_str());
}

void installQuietlyInto(const std::string& directory, const std::string& switches = "") {
    ASSERT_EQ(runInstaller("/q /m /p:" + quoted(directory) + switches), std::optional<DWORD>(0));
}

// HKCU is any of the user's programs' to write: an elevated /q must neither install where
// it points nor let it draw an upgrade away from the install the machine recorded.
TEST_F(Quiet, AloneItFollowsTheMachinesRecordsNeverTheUsersAppPath) {
    const std::string hostile = "C:\\Users\\Public\\Documents\\QM";
    writeString(HKEY_CURRENT_USER, kProductKey, "AppPath", hostile);
    ASSERT_EQ(runInstaller("/q /m /l:" + quoted(kLog)), std::optional<DWORD>(0)) << logText();
    EXPECT_TRUE(readFile(joinPath(kDefaultDir, "Quellmark.dll")) == libraryImage());
    EXPECT_TRUE(logHas("created the program directory " + std::string(kDefaultDir) +
                       " from /q's default: ok"))
        << logText();
    EXPECT_FALSE(directoryExists(hostile));

    const std::string installed = "C:\\QA";
    ASSERT_NO_FATAL_FAILURE(installQuietlyInto(installed));
    writeFile(joinPath(installed, "Quellmark.dll"), "old version");
    writeString(HKEY_CURRENT_USER, kProductKey, "AppPath", hostile);
    DeleteFileA(kLog.c_str());
    ASSERT_EQ(runInstaller("/q /m /l:" + quoted(kLog)), std::optional<DWORD>(0)) << logText();
    EXPECT_TRUE(readFile(joinPath(installed, "Quellmark.dll")) == libraryImage()) << "not upgraded";
    EXPECT_TRUE(logHas("program directory " + installed + " from /q's default: ok")) << logText();
    EXPECT_FALSE(directoryExists(hostile));
}

// The entry names the install; HKLM AppPath may still name an older copy, or a stranger's.
TEST_F(Quiet, AnUninstallTakesTheEntrysInstallLocationBeforeTheMachinesAppPath) {
    const std::string installed = "C:\\Installed";
    ASSERT_NO_FATAL_FAILURE(installQuietlyInto(installed));
    const std::string older = "C:\\Older Copy";
    makeDirectories(older);
    writeFile(joinPath(older, "Quellmark.exe"), "an older copy");
    writeString(HKEY_LOCAL_MACHINE, kProductKey, "AppPath", older);
    deleteValue(HKEY_CURRENT_USER, kProductKey, "AppPath");

    auto exitCode = runInstaller("/q /l:" + quoted(kLog) + " /die");
    EXPECT_TRUE(exitCode == std::optional<DWORD>(0) || exitCode == std::optional<DWORD>(3010))
        << logText();
    EXPECT_TRUE(logHas("program directory " + installed +
                       " from the uninstall entry's InstallLocation: ok"))
        << logText();
    EXPECT_FALSE(fileExists(joinPath(installed, "Quellmark.exe")));
    EXPECT_FALSE(fileExists(joinPath(installed, "Quellmark.dll")));
    EXPECT_EQ(readFile(joinPath(older, "Quellmark.exe")), "an older copy");
}

// The sweep for leftover temporary files takes only the names this installer gives
// them; the user's own, matched by the pattern or through their short names, stay.
TEST_F(Quiet, TheUsersIzFilesSurviveAnInstallAndAnUninstall) {
    const std::string target = "C:\\QM";
    const std::vector<std::string> theirs = {"izzy.tmp", "iz budget 2026.tmpl", "Izmir trip.TMP",
                                             "iz_report.tmp"};
    makeDirectories(joinPath(target, "izd77.tmp"));
    for (const std::string& name : theirs)
        writeFile(joinPath(target, name), "mine: " + name);
    writeFile(joinPath(target, "izd1f.tmp"), "left by an interrupted install");

    ASSERT_EQ(runInstaller("/q /m /p:" + quoted(target) + " /l:" + quoted(kLog)),
              std::optional<DWORD>(0))
        << logText();
    EXPECT_FALSE(fileExists(joinPath(target, "izd1f.tmp")));
    auto exitCode = runInstaller("/q /p:" + quoted(target) + " /l:" + quoted(kLog) + " /die");
    EXPECT_TRUE(exitCode == std::optional<DWORD>(0) || exitCode == std::optional<DWORD>(3010))
        << logText();
    EXPECT_FALSE(fileExists(joinPath(target, "Quellmark.dll")));
    for (const std::string& name : theirs)
        EXPECT_EQ(readFile(joinPath(target, name)), "mine: " + name);
    EXPECT_TRUE(directoryExists(joinPath(target, "izd77.tmp")));
    EXPECT_FALSE(logHas("izd77.tmp")) << logText();
}

// A deployment tool removes what another account installed: this account's HKCU has no
// AppPath, and the machine's records must lead the uninstall to the directory.
TEST_F(Quiet, AnUninstallFindsAnotherAccountsInstallInTheMachinesRecords) {
    const std::string target = "C:\\Elsewhere";
    ASSERT_NO_FATAL_FAILURE(installQuietlyInto(target));
    deleteValue(HKEY_CURRENT_USER, kProductKey, "AppPath");

    auto exitCode = runInstaller("/q /l:" + quoted(kLog) + " /die");
    ASSERT_TRUE(exitCode == std::optional<DWORD>(0) || exitCode == std::optional<DWORD>(3010))
        << logText();
    if (exitCode == std::optional<DWORD>(3010))
        restartWindows();
    EXPECT_FALSE(directoryExists(target));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(
        logHas("program directory " + target + " from the uninstall entry's InstallLocation: ok"))
        << logText();
}

// HKCU is the user's to write: an elevated uninstall must not delete where it points.
TEST_F(Quiet, AnUninstallPassesOverAnAppPathPointedAtAnotherDirectory) {
    ASSERT_NO_FATAL_FAILURE(installQuietlyInto(kTarget));
    const std::string decoy = "C:\\Decoy";
    makeDirectories(decoy);
    writeFile(joinPath(decoy, "Config.dat"), "their settings");
    writeFile(joinPath(decoy, "Quellmark.exe"), "their own program");
    writeString(HKEY_CURRENT_USER, kProductKey, "AppPath", decoy);

    auto exitCode = runInstaller("/q /die");
    EXPECT_TRUE(exitCode == std::optional<DWORD>(0) || exitCode == std::optional<DWORD>(3010));
    EXPECT_FALSE(fileExists(joinPath(kTarget, "Quellmark.exe")));
    EXPECT_FALSE(fileExists(joinPath(kTarget, "Quellmark.dll")));
    EXPECT_EQ(readFile(joinPath(decoy, "Config.dat")), "their settings");
    EXPECT_EQ(readFile(joinPath(decoy, "Quellmark.exe")), "their own program");
}

// A /s install leaves no uninstall entry: the machine's AppPath leads the uninstall,
// never the user's, which here points at a decoy that holds a Quellmark.exe.
TEST_F(Quiet, AnUninstallWithoutAnEntryTakesTheMachinesAppPathNotTheUsers) {
    createKey(HKEY_LOCAL_MACHINE, kProductKey);
    ASSERT_NO_FATAL_FAILURE(installQuietlyInto(kTarget, " /s"));
    ASSERT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    const std::string decoy = "C:\\Decoy";
    makeDirectories(decoy);
    writeFile(joinPath(decoy, "Quellmark.exe"), "their own program");
    writeString(HKEY_CURRENT_USER, kProductKey, "AppPath", decoy);

    auto exitCode = runInstaller("/q /l:" + quoted(kLog) + " /die");
    EXPECT_TRUE(exitCode == std::optional<DWORD>(0) || exitCode == std::optional<DWORD>(3010))
        << logText();
    EXPECT_TRUE(logHas("program directory " + kTarget + " from HKLM AppPath: ok")) << logText();
    EXPECT_FALSE(fileExists(joinPath(kTarget, "Quellmark.dll")));
    EXPECT_EQ(readFile(joinPath(decoy, "Quellmark.exe")), "their own program");
}

// A product that refuses to close, or hangs, keeps the uninstall from removing anything;
// the tool gets exit 1 and the log says which of the two it was.
TEST_F(Quiet, AnUninstallStopsCleanlyWhenTheProductRefusesOrDoesNotAnswer) {
    const std::string target = "C:\\Q";
    ASSERT_NO_FATAL_FAILURE(installQuietlyInto(target));
    const std::pair<const char*, const char*> cases[] = {
        {"/answer:104489", "closing the running product QuellmarkMain: refused"},
        {"/answer:none", "closing the running product QuellmarkMain: did not answer within 10 s"},
    };
    for (const auto& [answer, logged] : cases) {
        SCOPED_TRACE(answer);
        DeleteFileA(kLog.c_str());
        Process product = startProduct(target, answer);
        ASSERT_TRUE(product.running());
        auto exitCode =
            runInstaller("/q /p:" + quoted(target) + " /l:" + quoted(kLog) + " /die", 40000);
        EXPECT_EQ(exitCode, std::optional<DWORD>(1)) << logText();
        EXPECT_TRUE(logHas(logged)) << logText();
        EXPECT_TRUE(logHas("end: exit code 1")) << logText();
        EXPECT_TRUE(product.running());
        EXPECT_TRUE(fileExists(joinPath(target, "Quellmark.dll")));
        EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        ASSERT_NO_FATAL_FAILURE(stopProductAndRemoveItsLogs(target));
    }
}

// Nothing installed, or only the configuration an earlier uninstall kept: no product
// to remove, so nothing of the machine's is touched and the tool is told it failed.
TEST_F(Quiet, AnUninstallWithNoProductInstalledExitsOneAndRemovesNothing) {
    const std::string runEntry = "\"C:\\Tools\\Quellmark.exe\"";
    writeString(HKEY_CURRENT_USER, kRunKey, "Quellmark", runEntry);
    EXPECT_EQ(runInstaller("/q /l:" + quoted(kLog) + " /die"), std::optional<DWORD>(1));
    EXPECT_TRUE(
        logHas("program directory " + std::string(kDefaultDir) + " from the default: absent"))
        << logText();

    makeDirectories(kDefaultDir);
    writeFile(joinPath(kDefaultDir, "Config.dat"), "my settings");
    EXPECT_EQ(runInstaller("/q /die"), std::optional<DWORD>(1));
    EXPECT_EQ(readFile(joinPath(kDefaultDir, "Config.dat")), "my settings");
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kRunKey, "Quellmark"), runEntry);
}

// Every file, value and shortcut the install leaves is named in its log by its full
// path, on lines that carry the time to the millisecond and the process.
TEST_F(Quiet, TheLogOfASilentInstallNamesEverythingItLeaves) {
    createKey(HKEY_LOCAL_MACHINE, kProductKey);
    createKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main");
    // An earlier install's data file copy holds the user's own strings.
    makeDirectories(kTarget);
    writeFile(joinPath(kTarget, "KVQMstrings.dat"), "my strings");
    writeFile(joinPath(systemDirectory(), "KVQMstrings.dat"), "shipped strings");
    Process installer = startInstaller("/p:" + quoted(kTarget) + " /l:" + quoted(kLog));
    const DWORD pid = installer.id();
    ASSERT_EQ(installer.wait(), std::optional<DWORD>(0));
    ASSERT_TRUE(waitFor([] { return productStarts(kTarget).size() == 1; }, kDefaultTimeoutMs));
    std::string log = logText();
    SCOPED_TRACE(log);

    EXPECT_TRUE(logHas("mode silent install"));
    EXPECT_TRUE(logHas("program directory " + kTarget + " from the /p: switch: ok"));
    for (const std::string& name : {"Quellmark.dll", "Quellmark.exe"}) {
        EXPECT_TRUE(fileExists(joinPath(kTarget, name)));
        EXPECT_TRUE(logHas("replaced " + joinPath(kTarget, name) + " from " + kTarget + "\\"))
            << name;
    }
    EXPECT_TRUE(logHas("copied " + joinPath(kTarget, "KVQMstrings.dat") + " from " +
                       joinPath(systemDirectory(), "KVQMstrings.dat") + ": kept: already present"));
    EXPECT_TRUE(logHas("copied " + uninstallerCopy() + " from "));
    for (const std::string& link :
         {"Launch Quellmark.lnk", "User's Guide.lnk", "Uninstall Quellmark.lnk"}) {
        EXPECT_TRUE(fileExists(joinPath(allUsersGroup(), link))) << link;
        EXPECT_TRUE(logHas("shortcut " + joinPath(allUsersGroup(), link) + " from ")) << link;
    }
    struct Value {
        HKEY hive;
        std::string hiveName, key, name;
    };
    const std::vector<Value> values = {
        {HKEY_CURRENT_USER, "HKCU", kProductKey, "AppPath"},
        {HKEY_LOCAL_MACHINE, "HKLM", kProductKey, "AppPath"},
        {HKEY_LOCAL_MACHINE, "HKLM", kRunKey, "Quellmark"},
        {HKEY_CURRENT_USER, "HKCU", "Software\\Microsoft\\Internet Explorer\\Main",
         "Disable Script Debugger"},
        {HKEY_LOCAL_MACHINE, "HKLM", kUninstallKey, "DisplayName"},
        {HKEY_LOCAL_MACHINE, "HKLM", kUninstallKey, "UninstallString"},
        {HKEY_LOCAL_MACHINE, "HKLM", kUninstallKey, "QuietUninstallString"},
        {HKEY_LOCAL_MACHINE, "HKLM", kUninstallKey, "DisplayIcon"},
    };
    for (const Value& v : values) {
        EXPECT_TRUE(readValue(v.hive, v.key, v.name).has_value()) << v.name;
        EXPECT_TRUE(logHas("wrote " + v.hiveName + "\\" + v.key + " value " + v.name + ": ok"))
            << v.name;
    }
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString"),
              quoted(uninstallerCopy()) + " /q /die");
    EXPECT_TRUE(
        logHas("started through the desktop shell: \"" + kTarget + "\\Quellmark.exe\": ok") ||
        logHas("started: \"" + kTarget + "\\Quellmark.exe\": ok"));
    EXPECT_TRUE(logHas("end: exit code 0; waiting for the restart: product files no, the "
                       "uninstaller's own file no"));

    // Whatever names a file, folder, shortcut or value names it whole.
    const std::regex fullName(R"((replaced|deleted|copied|wrote|shortcut|program group|)"
                              R"(program directory|created the program directory|removed.*?) )"
                              R"(([A-Z]:\\|HK(LM|CU)\\).*)");
    const std::regex namesSomething(R"((replaced|deleted|copied|wrote|shortcut|program |)"
                                    R"(created|removed) .*)");
    std::string previous;
    for (const LogLine& line : logLines()) {
        EXPECT_EQ(line.pid, pid) << line.event;
        EXPECT_LE(previous, line.time) << line.event;
        previous = line.time;
        if (std::regex_match(line.event, namesSomething))
            EXPECT_TRUE(std::regex_match(line.event, fullName)) << line.event;
    }
}

// Written as the README's switch order suggests, the log path unquoted: the run is
// the uninstall that /die asks for, and the log is where /l: names it.
TEST_F(Quiet, DieBehindAnUnquotedLogPathStillUninstalls) {
    EXPECT_EQ(runInstaller("/q /l:" + kLog + " /die"), std::optional<DWORD>(1));
    EXPECT_TRUE(logHas("mode quiet uninstall")) << logText();
    EXPECT_FALSE(directoryExists(kDefaultDir));
}

// A mistyped switch ends a quiet run before anything is changed, and the log names it.
TEST_F(Quiet, AnUnknownSwitchEndsTheRunBeforeAnyChange) {
    for (const std::string& mistake : {"/uninstall", "/x", "/silent", "/?", "/p"}) {
        SCOPED_TRACE(mistake);
        DeleteFileA(kLog.c_str());
        int windowsSeen = 0;
        EXPECT_EQ(runWatched("/q /l:" + quoted(kLog) + " " + mistake, windowsSeen),
                  std::optional<DWORD>(1));
        EXPECT_EQ(windowsSeen, 0);
        EXPECT_TRUE(logHas("unknown switch " + mistake)) << logText();
        EXPECT_FALSE(directoryExists(kDefaultDir));
        EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"), "<absent>");
    }
}

// A log that cannot be opened ends the run with 1622 before anything is changed.
TEST_F(Quiet, AnUnwritableLogEndsTheRunBeforeAnyChange) {
    for (const std::string& log :
         {std::string("C:\\qmtest\\deploy logs"), std::string("Q:\\logs\\run.log"),
          std::string("C:\\No Such Folder\\run.log")}) {
        SCOPED_TRACE(log);
        EXPECT_EQ(runInstaller("/q /l:" + quoted(log) + " /p:" + quoted(kTarget)),
                  std::optional<DWORD>(1622));
        EXPECT_FALSE(directoryExists(kTarget));
    }
}

// Not quiet, a person is there to read why the run ends.
TEST_F(Quiet, AnUnwritableLogOfARunThatIsNotQuietIsNamedInABox) {
    const std::string log = "C:\\No Such Folder\\run.log";
    Process installer = startInstaller("/p:" + quoted(kTarget) + " /l:" + quoted(log));
    gui::ShownMessage box = gui::waitForMessageBox("Quellmark Installer", installer.id());
    ASSERT_TRUE(box) << "no message box";
    EXPECT_EQ(box.text, "The log file cannot be written:\r\n" + log);
    EXPECT_TRUE(gui::answerMessageBox(box, IDOK));
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(1622));
    EXPECT_FALSE(directoryExists(kTarget));
}

} // namespace
