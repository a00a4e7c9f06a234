// The switch scan against the real parser, with paths resolved by the system's own
// GetFullPathNameA from a known current directory.
#include "base/installLog.h"
#include "base/state.h"
#include "startup/commandLine.h"

#include "qmtest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string kProgram = "\"C:\\qmtest\\QM-Install.exe\" ";

// The full path the system makes of `raw`; empty when it cannot be had in 2500 bytes.
std::string resolve(const std::string& raw) {
    std::vector<char> buffer(kPathBuffer);
    DWORD length = GetFullPathNameA(raw.c_str(), kPathBuffer, buffer.data(), nullptr);
    return length != 0 && length < kPathBuffer ? std::string(buffer.data(), length) : "";
}

// Command lines are placed so that their terminator is the last readable byte before
// an inaccessible page: a read past the terminator faults.
class GuardedArea {
  public:
    static constexpr size_t kReadable = 64 * 1024;
    GuardedArea() {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        base_ = static_cast<char*>(VirtualAlloc(nullptr, kReadable + info.dwPageSize,
                                                MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + kReadable, info.dwPageSize, PAGE_NOACCESS, &old);
    }
    ~GuardedArea() {
        VirtualFree(base_, 0, MEM_RELEASE);
    }
    GuardedArea(const GuardedArea&) = delete;
    GuardedArea& operator=(const GuardedArea&) = delete;
    const char* place(const std::string& text) {
        if (text.size() >= kReadable)
            throw std::length_error("command line too long for the guarded area");
        char* line = base_ + kReadable - (text.size() + 1);
        std::memcpy(line, text.c_str(), text.size() + 1);
        return line;
    }

  private:
    char* base_ = nullptr;
};

// The line as the scan read it, where the log routines must read it too.
const char* parse(const std::string& commandLine) {
    static GuardedArea area;
    const char* line = area.place(commandLine);
    parseCommandLine(line);
    return line;
}

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        installer = InstallerState{};
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\qmtest"));
    }
};

struct Expected {
    const char* arguments;
    const char* programRaw; // nullptr: programDir stays empty
    const char* importRaw;  // nullptr: importFile stays empty
    DWORD silent, uninstall, dcc, noAutostart, noGroup, currentUser;
};

const Expected kCases[] = {
    // Quoting, case, blanks inside a path.
    {"/P:\"C:\\Program Files\\Quellmark\"", "C:\\Program Files\\Quellmark", nullptr, 1, 0, 0, 0, 0,
     0},
    {"/p:C:\\My Programs\\Quellmark /m /s", "C:\\My Programs\\Quellmark", nullptr, 1, 0, 0, 1, 1,
     0},
    {"/p:C:\\a   /s", "C:\\a", nullptr, 1, 0, 0, 0, 1, 0},
    {"/p:C:\\a /s:", "C:\\a", nullptr, 1, 0, 0, 0, 1, 0},
    {"/p:D:\\a /xy", "D:\\a /xy", nullptr, 1, 0, 0, 0, 0, 0},
    {"/p:D:\\a /x:", "D:\\a", nullptr, 1, 0, 0, 0, 0, 0},
    {"/p:'D:\\a b' /s", "D:\\a b", nullptr, 1, 0, 0, 0, 1, 0},
    {"/p:'D:\\a /s b' /m", "D:\\a", nullptr, 1, 0, 0, 1, 1, 0},
    {"/p:\"C:\\a /s\"", "C:\\a /s", nullptr, 1, 0, 0, 0, 0, 0},
    {"/p:\"C:\\it's here\" /c", "C:\\it's here", nullptr, 1, 0, 0, 0, 0, 1},
    {"/p:\"C:\\open quote", "C:\\open quote", nullptr, 1, 0, 0, 0, 0, 0},
    {"/p:C:\\a\t/s", "C:\\a\t/s", nullptr, 1, 0, 0, 0, 0, 0},
    // Trailing backslashes.
    {"/p:C:\\Tools\\", "C:\\Tools", nullptr, 1, 0, 0, 0, 0, 0},
    {"/p:C:\\Tools\\\\\\ /s", "C:\\Tools", nullptr, 1, 0, 0, 0, 1, 0},
    {"/p:C:\\", "C:", nullptr, 1, 0, 0, 0, 0, 0},
    // One-letter switches.
    {"/rx /mm /ss /cc", nullptr, nullptr, 0, 0, 0, 0, 0, 0},
    {"/r1 /m, /s/c", nullptr, nullptr, 0, 0, 1, 1, 1, 1},
    {"/R /M /S /C /q /i /p", nullptr, nullptr, 0, 0, 1, 1, 1, 1},
    // The uninstall switch ends the scan.
    {"/DIE", nullptr, nullptr, 0, 1, 0, 0, 0, 0},
    {"/dies /r", nullptr, nullptr, 0, 1, 0, 0, 0, 0},
    {"/die /r", nullptr, nullptr, 0, 1, 0, 0, 0, 0},
    {"/s /FDIEx /m", nullptr, nullptr, 0, 1, 0, 0, 1, 0},
    {"/p:'D:\\x' /die", "D:\\x", nullptr, 1, 1, 0, 0, 0, 0},
    {"/p:D:\\x /m /die", "D:\\x", nullptr, 1, 1, 0, 1, 0, 0},
    // The uninstall switch ends a path too, quoted or not: the command asks for an uninstall.
    {"/p:D:\\x /die", "D:\\x", nullptr, 1, 1, 0, 0, 0, 0},
    {"/p:'D:\\x /FDIEs' /m", "D:\\x", nullptr, 1, 1, 0, 0, 0, 0},
    {"/p:D:\\x /r1", "D:\\x /r1", nullptr, 1, 0, 0, 0, 0, 0},
    // Empty and odd arguments.
    {"/i:", nullptr, nullptr, 0, 0, 0, 0, 0, 0},
    {"/i:\"\" /s", nullptr, nullptr, 0, 0, 0, 0, 1, 0},
    {"/i:C:\\a /i:", nullptr, "C:\\a", 0, 0, 0, 0, 0, 0},
    // An empty path ("/p:%DIR%" with DIR unset) takes no switch behind it as its text.
    {"/p: /s", nullptr, nullptr, 1, 0, 0, 0, 1, 0},
    {"/p:  /m /i:C:\\a", nullptr, "C:\\a", 1, 0, 0, 1, 0, 0},
    {"/i:/p:x", nullptr, "/p:x", 0, 0, 0, 0, 0, 0},
    {"/i:'/die' /m", nullptr, "/die", 0, 0, 0, 1, 0, 0},
    {"/i:relative\\Update.kvc", nullptr, "relative\\Update.kvc", 0, 0, 0, 0, 0, 0},
    // A later path replaces an earlier one.
    {"/p:C:\\one /i:C:\\a /p:C:\\two /i:'C:\\b'", "C:\\two", "C:\\b", 1, 0, 0, 0, 0, 0},
    {"", nullptr, nullptr, 0, 0, 0, 0, 0, 0},
};

TEST_F(CommandLine, SwitchesAndPathsAsTyped) {
    for (const Expected& c : kCases) {
        SCOPED_TRACE(c.arguments);
        installer = InstallerState{};
        parse(kProgram + c.arguments);
        EXPECT_EQ(installer.programDir, c.programRaw ? resolve(c.programRaw) : "");
        EXPECT_EQ(installer.importFile, c.importRaw ? resolve(c.importRaw) : "");
        EXPECT_EQ(installer.silentMode, c.silent);
        EXPECT_EQ(installer.uninstallMode, c.uninstall);
        EXPECT_EQ(installer.dccSwitch, c.dcc);
        EXPECT_EQ(installer.noAutostart, c.noAutostart);
        EXPECT_EQ(installer.noProgramGroup, c.noGroup);
        EXPECT_EQ(installer.currentUserOnly, c.currentUser);
    }
}

// The deployment switches follow the same rules as the others.
TEST_F(CommandLine, QuietAndLogSwitches) {
    struct Case {
        const char* arguments;
        DWORD quiet;
        const char* logRaw; // nullptr: logFile stays empty
        DWORD noGroup;
    };
    const Case cases[] = {
        {"/q", 1, nullptr, 0},
        {"/Q /s", 1, nullptr, 1},
        {"/qx /quiet", 0, nullptr, 0},
        {"/l:\"C:\\deploy logs\\run.log\" /q", 1, "C:\\deploy logs\\run.log", 0},
        {"/L:C:\\deploy logs\\run.log /s", 0, "C:\\deploy logs\\run.log", 1},
        {"/l", 0, nullptr, 0},
        {"/q /die /l:C:\\after.log", 1, nullptr, 0},
        {"/q /l:C:\\logs\\un.log /die", 1, "C:\\logs\\un.log", 0},
        {"/l:C:\\x.log /? /q", 1, "C:\\x.log", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        installer = InstallerState{};
        parse(kProgram + c.arguments);
        EXPECT_EQ(installer.quietMode, c.quiet);
        EXPECT_EQ(installer.logFile, c.logRaw ? resolve(c.logRaw) : "");
        EXPECT_EQ(installer.noProgramGroup, c.noGroup);
        EXPECT_EQ(installer.programDir, std::string());
    }
}

// Quiet mode refuses what is neither a switch nor a path: the first such argument is
// kept, where it begins; the program's own path is no argument.
TEST_F(CommandLine, TheFirstArgumentThatIsNoSwitchNorPathIsKept) {
    struct Case {
        const char* line;
        const char* unknown;
        DWORD help;
    };
    const Case cases[] = {
        {"/q /uninstall", "/uninstall", 0},
        {"/q /X /m", "/X", 0},
        {"/q /silent", "/silent", 0},
        {"/q /?", "/?", 1},
        {"/q /p", "/p", 0},
        {"/l /q", "/l", 0},
        {"/q /rx /zz", "/rx", 0},
        {"/q /m /r1 /s, /c /p:C:\\a /xy /i:'C:\\b /c' /l:C:\\c /die /x", "", 0},
        {"/q /abcdefghijklmnopqrstuvwxyz0123456789", "/abcdefghijklmnopqrstuvwxyz0123456789", 0},
        // Words: what other installers or habits spell.
        {"/q -die /l:C:\\u3.log", "-die", 0},
        {"/q --uninstall", "--uninstall", 0},
        {"/q uninstall", "uninstall", 0},
        {"-q", "-q", 0},
        {"/q \"\"", "\"\"", 0},
        // What a quoted path leaves behind it, where quotes do not protect a switch.
        {"/q /p:\"C:\\a b\" c", "c", 0},
        {"/q /p:'D:\\a /s b' /m", "b'", 0},
        // Text glued to a closing quote is no part of the path, and not lost either.
        {"/q /m /p:\"C:\\Program Files\"\\Quellmark", "\\Quellmark", 0},
        {"/q /l:\"C:\\a.log\"x /m", "x", 0},
        {"/q /l:\"C:\\a.log\"/m", "/m", 0},
        // Paths are no words, whatever they hold or end in; quoted switches are switches.
        {"/q /p: C:\\My Programs\\Quellmark /l:C:/logs/", "", 0},
        {"/q /i:\"C:\\a -b\"", "", 0},
        {"\"/q\" '/m'", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        installer = InstallerState{};
        std::string line = kProgram + c.line;
        parse(line);
        std::string unknown;
        if (installer.unknownArgument != 0) {
            size_t end = line.find_first_of(" \t", installer.unknownArgument);
            unknown = line.substr(installer.unknownArgument, end - installer.unknownArgument);
        }
        EXPECT_EQ(unknown, c.unknown);
        EXPECT_EQ(installer.helpAsked, c.help);
    }

    installer = InstallerState{};
    parse("\"C:\\qm/x/QM-Install.exe\" /q");
    EXPECT_EQ(installer.unknownArgument, 0u);
    const std::string bare = "C:/tools/QM-Install.exe /q /w";
    parse(bare);
    EXPECT_EQ(installer.unknownArgument, bare.find("/w"));
}

// Without /q, what the scan passes over and what follows the uninstall switch are named in
// the log, each whole (a path behind /die with its path) and cut only as the log cuts text.
TEST_F(CommandLine, TheLogNamesWhatWasPassedOverAndWhatFollowsDieUnread) {
    const std::string log = "C:\\qmtest\\skipped.log";
    auto logged = [&](const std::string& arguments) {
        installer = InstallerState{};
        std::string line = kProgram + arguments;
        parse(line);
        DeleteFileA(log.c_str());
        lstrcpyA(installer.logFile, log.c_str());
        logSkippedArguments(line.c_str());
        std::vector<std::string> events;
        for (const std::string& line : qmtest::splitLines(qmtest::readFile(log).value_or("")))
            if (!line.empty())
                events.push_back(line.substr(line.find("] ") + 2));
        return events;
    };
    using Events = std::vector<std::string>;
    EXPECT_EQ(logged("/x -q /p:C:\\a b /m /? /die /q /l:\"C:\\my logs\\u.log\" /i:C:\\x y /s"),
              (Events{"unknown switch /x: passed over", "unknown argument -q: passed over",
                      "/q after /die: not read", "/l:\"C:\\my logs\\u.log\" after /die: not read",
                      "/i:C:\\x y after /die: not read", "/s after /die: not read"}));
    EXPECT_EQ(logged("/p:C:\\a /m"), Events{});

    Events cut = logged("/" + std::string(600, 'x'));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0],
              "unknown switch /" + std::string(kLogFieldLength - 4, 'x') + "...: passed over");

    std::string many;
    for (DWORD i = 0; i < kSkippedArguments + 5; ++i)
        many += " -" + std::to_string(i);
    Events named = logged(many);
    ASSERT_EQ(named.size(), kSkippedArguments + 1);
    EXPECT_EQ(named[kSkippedArguments - 1],
              "unknown argument -" + std::to_string(kSkippedArguments - 1) + ": passed over");
    EXPECT_EQ(named.back(), "more arguments passed over or not read: not named");
    installer = InstallerState{};
}

// Anchors that do not go through resolve(): the path keeps its case, and a bare
// drive becomes that drive's current directory.
TEST_F(CommandLine, ResolvedPathsKeepCaseAndUseTheCurrentDirectory) {
    parse(kProgram + "/P:\"C:\\Program Files\\Quellmark\"");
    EXPECT_STREQ(installer.programDir, "C:\\Program Files\\Quellmark");
    parse(kProgram + "/p:C:\\\\ /i:Update.KVC");
    // Wine answers a bare drive with the directory and its trailing backslash.
    std::string directory = installer.programDir;
    if (!directory.empty() && directory.back() == '\\')
        directory.pop_back();
    EXPECT_EQ(directory, "C:\\qmtest");
    EXPECT_STREQ(installer.importFile, "C:\\qmtest\\Update.KVC");
}

TEST_F(CommandLine, TheProgramPathIsScannedToo) {
    parse("C:/qmtest/dieter/QM-Install.exe /r /p:C:\\x");
    EXPECT_EQ(installer.uninstallMode, 1u);
    EXPECT_EQ(installer.dccSwitch, 0u);
    EXPECT_STREQ(installer.programDir, "");

    installer = InstallerState{};
    parse("\"C:\\qm/sub/QM-Install.exe\"");
    EXPECT_EQ(installer.noProgramGroup, 0u);
    parse("\"C:\\qm/s\\QM-Install.exe\"");
    EXPECT_EQ(installer.noProgramGroup, 1u);
}

TEST_F(CommandLine, AnArgumentThatDoesNotFitIsRefusedAndTheScanGoesOn) {
    // Trailing backslashes make the raw length independent of what the system
    // can resolve: every one of these would come out as C:\x.
    auto backslashed = [](size_t rawLength) { return "C:\\x" + std::string(rawLength - 4, '\\'); };
    parse(kProgram + "/p:" + backslashed(2499) + " /s");
    EXPECT_STREQ(installer.programDir, "C:\\x");
    EXPECT_EQ(installer.noProgramGroup, 1u);

    for (size_t length : {2500u, 3000u, 4000u}) {
        SCOPED_TRACE(length);
        installer = InstallerState{};
        parse(kProgram + "/p:C:\\earlier /i:C:\\import /p:" + backslashed(length) + " /i:'" +
              backslashed(length) + "' /m");
        EXPECT_STREQ(installer.programDir, "C:\\earlier");
        EXPECT_STREQ(installer.importFile, "C:\\import");
        EXPECT_EQ(installer.silentMode, 1u);
        EXPECT_EQ(installer.noAutostart, 1u);
    }
}

TEST_F(CommandLine, APathTheSystemCannotResolveLeavesTheFieldAlone) {
    std::string raw = "C:\\" + std::string(2496, 'a');
    std::string full = resolve(raw);
    parse(kProgram + "/p:C:\\earlier /p:" + raw);
    std::string expected = full.empty() ? "C:\\earlier" : full;
    EXPECT_EQ(installer.programDir, expected);
}

TEST_F(CommandLine, OnlyTheFirst8191BytesAreScanned) {
    auto padded = [](const std::string& tail, size_t at) {
        std::string line = kProgram;
        line += std::string(at - line.size(), 'a');
        return line + tail;
    };
    parse(padded(" /s", 8188)); // "/" at 8189, "s" at 8190: the last byte kept
    EXPECT_EQ(installer.noProgramGroup, 1u);
    installer = InstallerState{};
    parse(padded(" /s", 8189)); // the "s" falls on the terminator
    EXPECT_EQ(installer.noProgramGroup, 0u);
    parse(padded(" /p:C:\\x", 8188)); // ":" cut
    EXPECT_EQ(installer.silentMode, 0u);
    parse(padded(" /s", 9000) + " /m /die");
    EXPECT_EQ(installer.noProgramGroup, 0u);
    EXPECT_EQ(installer.noAutostart, 0u);
    EXPECT_EQ(installer.uninstallMode, 0u);

    // An argument that begins inside the copy is read whole from the line; the scan
    // then resumes beyond the copy and ends.
    installer = InstallerState{};
    parse(padded(" /p:C:\\x" + std::string(400, '\\') + " /s", 8000));
    EXPECT_STREQ(installer.programDir, "C:\\x");
    EXPECT_EQ(installer.noProgramGroup, 0u);
}

// Random lines from switch-like fragments: the scan must end, read nothing past the
// line, and write nothing but the fields it owns.
TEST_F(CommandLine, RandomLinesStayInsideTheirBuffers) {
    const std::vector<std::string> fragments = {
        "/",    "/p:",  "/P:", "/i:", "/I:", "/die", "/fdie", "/di",  "/r", "/m",
        "/s",   "/c",   "/x",  "/xy", "/d",  " ",    "  ",    "\"",   "'",  "\\",
        "\\\\", "a",    "Zq",  "C:",  "1",   ":",    "\t",    "\xe9", "..", "C:\\Program Files\\Q",
        "/p:'", "/i:\""};
    std::mt19937 random(20240611);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };

    InstallerState sentinel{};
    sentinel.dialogWindow = reinterpret_cast<HWND>(0x5a5a);
    sentinel.platformId = 0xa5a5a5a5;
    sentinel.rebootNeeded = 3;
    sentinel.operation = 7;
    sentinel.productWasRunning = 11;
    sentinel.directoryExisted = 13;
    sentinel.removeConfiguration = 17;
    std::memset(sentinel.wininitPath, 'W', kPathBuffer);
    std::memset(sentinel.tempFileName, 'T', kPathBuffer);
    std::memset(sentinel.importFile, 'I', kPathBuffer);
    std::memset(sentinel.programDir, 'P', kPathBuffer);
    sentinel.importFile[kPathBuffer - 1] = 0;
    sentinel.programDir[kPathBuffer - 1] = 0;
    installer = sentinel;

    const int kLines = 100000;
    auto started = std::chrono::steady_clock::now();
    std::string line;
    int longLines = 0;
    for (int n = 0; n < kLines; ++n) {
        line = kProgram;
        size_t count = pick(24);
        for (size_t i = 0; i < count; ++i) {
            size_t kind = pick(1000);
            if (kind < 4) // a long run, now and then past every buffer
                line += std::string(1 + pick(9000), " a\\/"[pick(4)]);
            else
                line += fragments[pick(fragments.size())];
        }
        const char* placed = parse(line);
        longLines += line.size() >= kScratchBuffer;
        // Without a log file only the naming runs, which reads the line again.
        logSkippedArguments(placed);
        if (installer.unknownArgument != 0)
            logUnknownArgument(placed);

        bool sound = installer.dialogWindow == sentinel.dialogWindow &&
                     installer.platformId == sentinel.platformId &&
                     installer.rebootNeeded == sentinel.rebootNeeded &&
                     installer.operation == sentinel.operation &&
                     installer.productWasRunning == sentinel.productWasRunning &&
                     installer.directoryExisted == sentinel.directoryExisted &&
                     installer.removeConfiguration == sentinel.removeConfiguration &&
                     std::memcmp(installer.wininitPath, sentinel.wininitPath, kPathBuffer) == 0 &&
                     std::memcmp(installer.tempFileName, sentinel.tempFileName, kPathBuffer) == 0 &&
                     std::memchr(installer.importFile, 0, kPathBuffer) != nullptr &&
                     std::memchr(installer.programDir, 0, kPathBuffer) != nullptr &&
                     installer.scratch[std::min<size_t>(line.size(), kScratchBuffer - 1)] == 0 &&
                     (installer.unknownArgument == 0 ||
                      (installer.unknownArgument >= kProgram.size() - 1 &&
                       installer.unknownArgument < std::min<size_t>(line.size(), kScratchBuffer)));
        for (DWORD flag :
             {installer.silentMode, installer.noAutostart, installer.dccSwitch,
              installer.noProgramGroup, installer.currentUserOnly, installer.uninstallMode})
            sound = sound && flag <= 1;
        if (!sound) {
            ADD_FAILURE() << "line " << n << ": " << line.substr(0, 300);
            break;
        }
        installer.silentMode = installer.noAutostart = installer.dccSwitch = 0;
        installer.noProgramGroup = installer.currentUserOnly = installer.uninstallMode = 0;
        installer.unknownArgument = 0;
    }
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    std::printf("%d random lines (%d cut) in %lld ms\n", kLines, longLines,
                static_cast<long long>(elapsed.count()));
}

} // namespace
