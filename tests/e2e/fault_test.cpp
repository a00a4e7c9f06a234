// A real fault in the real installer: the test breaks one routine of the started,
// still suspended installer (the product holds no test hooks), drives an ordinary
// interactive install into it, and reads what the user would see.
#include "facts.h"
#include "gui.h"
#include "qmtest.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using namespace qmtest;

namespace {

constexpr const char* kReport = "C:\\QMDebug.dat";
constexpr DWORD kFaultTimeoutMs = 120000;
constexpr DWORD kPlatformTimeoutMs = 20000;

std::string installerMap() {
    std::optional<std::string> map = readFile(joinPath(kStage, "QM-Install.map"));
    EXPECT_TRUE(map.has_value()) << "no linker map beside the installer";
    return map.value_or("");
}

// Address of the map line that defines `symbol` (its demangled name up to "(", or
// the linker's name such as "_imp__SetCurrentDirectoryA@4"); 0 when absent.
DWORD symbolAddress(const std::string& map, const std::string& symbol) {
    std::istringstream lines(map);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string address, name;
        if (!(fields >> address >> name) || address.rfind("0x", 0) != 0)
            continue;
        if (name == symbol || name.rfind(symbol + "(", 0) == 0)
            return static_cast<DWORD>(std::stoul(address, nullptr, 16));
    }
    return 0;
}

// Start of the code section: the map's ".text" output section.
DWORD codeBase(const std::string& map) {
    std::smatch match;
    if (!std::regex_search(map, match, std::regex("\n\\.text +0x([0-9a-fA-F]+)")))
        return 0;
    return static_cast<DWORD>(std::stoul(match[1], nullptr, 16));
}

void patch(const Process& installer, DWORD address, const std::vector<BYTE>& code) {
    void* target = reinterpret_cast<void*>(address);
    DWORD old = 0;
    ASSERT_TRUE(
        VirtualProtectEx(installer.handle(), target, code.size(), PAGE_EXECUTE_READWRITE, &old))
        << GetLastError();
    SIZE_T written = 0;
    ASSERT_TRUE(WriteProcessMemory(installer.handle(), target, code.data(), code.size(), &written));
    ASSERT_EQ(written, code.size());
    VirtualProtectEx(installer.handle(), target, code.size(), old, &old);
    FlushInstructionCache(installer.handle(), target, code.size());
}

std::vector<BYTE> littleEndian(DWORD value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

// Starts the installer with writeShellLink's first bytes replaced by `code` (given its
// address), and takes it through Install and the agreement into the program group.
Process installInto(const std::function<std::vector<BYTE>(DWORD)>& code) {
    std::string map = installerMap();
    DWORD writeShellLink = symbolAddress(map, "writeShellLink");
    EXPECT_NE(writeShellLink, 0u) << "writeShellLink is not in the map";
    Process installer = start(std::string("\"") + kInstaller + "\"", kStage, true);
    if (!installer.valid() || writeShellLink == 0)
        return installer;
    patch(installer, writeShellLink, code(writeShellLink));
    installer.resume();
    HWND options = gui::waitForWindow(gui::kDialogClass, kTitle, installer.id());
    EXPECT_TRUE(options != nullptr && gui::waitVisible(options)) << "no options dialog";
    if (options == nullptr)
        return installer;
    gui::pressButton(options, IDOK);
    HWND agreement = gui::waitForWindow(gui::kDialogClass, kAgreementTitle, installer.id());
    EXPECT_TRUE(agreement != nullptr && gui::waitVisible(agreement)) << "no agreement dialog";
    if (agreement != nullptr)
        gui::pressButton(agreement, IDYES);
    return installer;
}

const std::vector<BYTE> kUd2 = {0x0F, 0x0B};

DWORD notepadProcesses() {
    DWORD count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        count += lstrcmpiA(entry.szExeFile, "notepad.exe") == 0 ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}

struct NotepadSearch {
    HWND found = nullptr;
};

BOOL CALLBACK matchNotepad(HWND window, LPARAM parameter) {
    char title[256];
    int length = GetWindowTextA(window, title, sizeof title);
    if (length > 0 && std::string(title, length).find("QMDebug.dat") != std::string::npos &&
        IsWindowVisible(window)) {
        reinterpret_cast<NotepadSearch*>(parameter)->found = window;
        return FALSE;
    }
    return TRUE;
}

// Notepad's window showing the report; nullptr when none came.
HWND waitForNotepad() {
    NotepadSearch search;
    waitFor(
        [&] {
            EnumWindows(matchNotepad, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        60000);
    return search.found;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        result.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the report does not end with CR LF";
    return result;
}

// Checks the report's 53-line layout, with the dumps and the stack list expanded;
// returns the stack list's lines.
std::vector<std::string> checkLayout(const std::vector<std::string>& report) {
    EXPECT_GE(report.size(), 53u);
    if (report.size() < 53)
        return {};
    EXPECT_EQ(report[0], "Quellmark has detected a fault in itself while working and has logged");
    EXPECT_EQ(report[12], kReportTitle);
    const char* prefixes[] = {"Fault Section: ", "Fault Offset:  ", "Code Base:     ",
                              "Data Base:     ", "Data? Base:    ", "Time/Date:     "};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(report[14 + i].rfind(prefixes[i], 0), 0u) << report[14 + i];
    EXPECT_TRUE(std::regex_match(report[19], std::regex("Time/Date:     \\d\\d:\\d\\d:\\d\\d "
                                                        "\\d\\d/\\d\\d/\\d\\d")))
        << report[19];
    const char* registers[] = {"EAX", "EBX", "ECX", "EDX", "ESI", "EDI", "EBP", "ESP", "EIP"};
    for (int r = 0; r < 9; ++r)
        EXPECT_EQ(report[21 + r].substr(0, 17),
                  (r == 0 ? std::string("Registers - ") : std::string(12, ' ')) + registers[r] +
                      ": ")
            << report[21 + r];
    size_t at = 31;
    for (const char* name : registers) {
        if (at >= report.size())
            break;
        EXPECT_EQ(report[at].rfind(std::string("Bytes at ") + name + ": (", 0), 0u) << report[at];
        ++at;
        while (at < report.size() && !report[at].empty()) {
            EXPECT_EQ(report[at].size() + 2, 69u) << report[at];
            ++at;
        }
        ++at; // the empty line after the dump
    }
    EXPECT_LT(at + 3, report.size());
    if (at + 3 >= report.size())
        return {};
    EXPECT_EQ(report[at], "");
    EXPECT_EQ(report[at + 1], "Stack Trace:");
    EXPECT_EQ(report[at + 2], "");
    EXPECT_EQ(report.back(), "");
    return std::vector<std::string>(report.begin() + at + 3, report.end() - 1);
}

void closeNotepad(HWND notepad) {
    if (notepad != nullptr)
        PostMessageA(notepad, WM_CLOSE, 0, 0);
}

} // namespace

TEST(FaultReport, AFaultInTheShortcutWriterIsReportedAndShownInNotepad) {
    Process installer = installInto([](DWORD) { return kUd2; });
    EXPECT_EQ(installer.wait(kFaultTimeoutMs), std::optional<DWORD>(1));
    HWND notepad = waitForNotepad();
    ASSERT_NE(notepad, nullptr) << "Notepad did not show the report";
    EXPECT_TRUE(IsZoomed(notepad));
    closeNotepad(notepad);

    std::optional<std::string> text = readFile(kReport);
    ASSERT_TRUE(text.has_value());
    std::vector<std::string> report = lines(*text);
    std::vector<std::string> stack = checkLayout(report);
    ASSERT_GE(report.size(), 53u);

    EXPECT_TRUE(
        std::regex_match(report[14], std::regex(R"(Fault Section: \[QM-Install\](\.\[foreign\])*)"
                                                R"(\.QMEntry(\.\[foreign\])*\.OptionsDlg)"
                                                R"((\.\[foreign\])*\.CreateShortcut)")))
        << report[14];
    std::string map = installerMap();
    char expected[64];
    wsprintfA(expected, "Fault Offset:  %08X.code",
              symbolAddress(map, "writeShellLink") - codeBase(map));
    EXPECT_EQ(report[15], expected);
    wsprintfA(expected, "Code Base:     %08X", codeBase(map));
    EXPECT_EQ(report[16], expected);
    EXPECT_EQ(report[29], "            EIP: " + report[15].substr(15));

    bool handlerListed = false, nameListed = false;
    for (const std::string& line : stack) {
        handlerListed |= std::regex_match(line, std::regex(" [0-9A-F]{8}\\.FTHandler"));
        nameListed |= std::regex_match(line, std::regex(" [0-9A-F]{8}\\.FT-[A-Za-z]+"));
    }
    EXPECT_TRUE(handlerListed);
    EXPECT_TRUE(nameListed);
    ASSERT_FALSE(stack.empty());
    EXPECT_NE(stack.back().size(), 9u) << "the list must end at a labelled word";
}

TEST(FaultReport, AnEarlierReportIsReplacedWhole) {
    writeFile(kReport, std::string(200000, 'X'));
    Process installer = installInto([](DWORD) { return kUd2; });
    EXPECT_EQ(installer.wait(kFaultTimeoutMs), std::optional<DWORD>(1));
    closeNotepad(waitForNotepad());
    std::optional<std::string> text = readFile(kReport);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->rfind("Quellmark has detected a fault", 0), 0u);
    EXPECT_EQ(text->find(std::string(64, 'X')), std::string::npos);
    EXPECT_LT(text->size(), 50000u);
    checkLayout(lines(*text));
}

TEST(FaultReport, AnUnwritableReportLocationStillOpensNotepadAndFails) {
    ASSERT_TRUE(CreateDirectoryA(kReport, nullptr));
    Process installer = installInto([](DWORD) { return kUd2; });
    EXPECT_EQ(installer.wait(kFaultTimeoutMs), std::optional<DWORD>(1));
    EXPECT_TRUE(waitFor([] { return notepadProcesses() != 0; }, 60000));
    EXPECT_TRUE(directoryExists(kReport));
}

// A quiet run has nobody to read the report: the same fault, the report written, no
// Notepad, and the tool gets exit code 1.
TEST(FaultReport, AFaultInAQuietRunStartsNoNotepadAndExitsOne) {
    std::string map = installerMap();
    DWORD writeShellLink = symbolAddress(map, "writeShellLink");
    ASSERT_NE(writeShellLink, 0u);
    Process installer =
        start(std::string("\"") + kInstaller + "\" /q /p:C:\\QM Fault", kStage, true);
    ASSERT_TRUE(installer.valid());
    patch(installer, writeShellLink, kUd2);
    installer.resume();
    EXPECT_EQ(installer.wait(kFaultTimeoutMs), std::optional<DWORD>(1));
    EXPECT_TRUE(readFile(kReport).has_value());
    Sleep(3000);
    EXPECT_EQ(notepadProcesses(), 0u);
}

// The platform's fault handling may end the process with the exception code or hang
// in it; either way there is no report, no Notepad, and the install went no further.
void expectLeftToThePlatform(Process& installer) {
    std::optional<DWORD> exitCode = installer.wait(kPlatformTimeoutMs);
    EXPECT_NE(exitCode, std::optional<DWORD>(1));
    installer.kill();
    EXPECT_FALSE(fileExists(kReport));
    EXPECT_EQ(notepadProcesses(), 0u);
    EXPECT_TRUE(productStarts(kDefaultDir).empty());
}

// writeShellLink hands an invalid name to SetCurrentDirectoryA: the fault lies in the
// system's code, under our frames.
TEST(FaultReport, AFaultInsideASystemCallIsLeftToThePlatform) {
    std::string map = installerMap();
    DWORD import = symbolAddress(map, "_imp__SetCurrentDirectoryA@4");
    ASSERT_NE(import, 0u);
    std::vector<BYTE> call = {0x6A, 0x01, 0xFF, 0x15}; // push 1; call [import]
    for (BYTE b : littleEndian(import))
        call.push_back(b);
    Process installer = installInto([&](DWORD) { return call; });
    expectLeftToThePlatform(installer);
}

// writeShellLink calls itself until the stack is gone.
TEST(FaultReport, AStackOverflowIsLeftToThePlatform) {
    Process installer = installInto([](DWORD) {
        return std::vector<BYTE>{0xE8, 0xFB, 0xFF, 0xFF, 0xFF}; // call writeShellLink
    });
    expectLeftToThePlatform(installer);
}

// The code range ends at the end of the code section: that holds only while no
// import jump stubs are linked into it.
TEST(FaultImage, CodeSectionHoldsNoImportStubs) {
    std::string map = installerMap();
    size_t text = map.find("\n.text ");
    size_t data = map.find("\n.data ", text);
    ASSERT_NE(text, std::string::npos);
    std::string code = map.substr(text, data - text);
    EXPECT_FALSE(std::regex_search(
        code,
        std::regex(R"(\.text +0x[0-9a-f]+ +0x[0-9a-f]+ .*lib(kernel|user|advapi|shell|ole)32\.a)")))
        << "import stubs in the code section";
}
