// The product that an elevated install starts runs as the desktop's user: the desktop
// shell starts it. Under Wine every process holds a full elevated token with a linked
// limited one, so the installer always asks the shell; a desktop started with the
// limited token stands for the user's own shell.
#include "qmtest.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

using namespace qmtest;

const std::string kTarget = "C:\\Program Files\\QM Desktop User";
// The shell's proxy for its window list: without it no other process reaches the list.
const std::string kShellWindowsInterface =
    "Software\\Classes\\Interface\\{85CB6900-4D95-11CF-960C-0080C7F4EE85}";

// Starts `commandLine` with the limited token linked to our own elevated one.
Process startLimited(const std::string& commandLine) {
    HANDLE own = nullptr;
    HANDLE primary = nullptr;
    TOKEN_LINKED_TOKEN linked{};
    DWORD length = 0;
    PROCESS_INFORMATION info{};
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) &&
        GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &length) &&
        DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                         TokenPrimary, &primary)) {
        std::wstring wide(commandLine.begin(), commandLine.end());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        EXPECT_TRUE(CreateProcessAsUserW(primary, nullptr, &wide[0], nullptr, nullptr, FALSE, 0,
                                         nullptr, nullptr, &startup, &info))
            << GetLastError();
    }
    EXPECT_NE(info.hProcess, nullptr) << "no limited token to start " << commandLine;
    for (HANDLE handle : {own, linked.LinkedToken, primary})
        if (handle != nullptr)
            CloseHandle(handle);
    return Process(info);
}

// The running product's process: its id, its parent's id and whether it is elevated.
struct ProductProcess {
    DWORD id = 0;
    DWORD parent = 0;
    bool elevated = true;
};

ProductProcess productProcess() {
    ProductProcess product;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, "Quellmark.exe") == 0) {
            product.id = entry.th32ProcessID;
            product.parent = entry.th32ParentProcessID;
        }
    CloseHandle(snapshot);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, product.id);
    HANDLE token = nullptr;
    if (process != nullptr && OpenProcessToken(process, TOKEN_QUERY, &token)) {
        TOKEN_ELEVATION elevation{};
        DWORD length = 0;
        if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &length))
            product.elevated = elevation.TokenIsElevated != 0;
        CloseHandle(token);
    }
    if (process != nullptr)
        CloseHandle(process);
    return product;
}

class DesktopUser : public ::testing::Test {
  protected:
    void SetUp() override {
        createKey(HKEY_CURRENT_USER, "Software\\Quellmark");
        // The product writes its directory only into a log that is already there.
        makeDirectories(kTarget);
        writeFile(directoryLog(), "");
    }
    void TearDown() override {
        killProcesses("Quellmark.exe");
    }

    static std::string directoryLog() {
        return joinPath(kTarget, "Quellmark.directory.log");
    }

    // A silent install that must start the product once, as the install's last step does.
    void installAndWaitForTheProduct(Process& installer) {
        ASSERT_TRUE(installer.valid());
        ASSERT_EQ(installer.wait(), std::optional<DWORD>(0));
        ASSERT_TRUE(waitFor([] { return productStarts(kTarget).size() == 1; }, kDefaultTimeoutMs))
            << "the product was not started";
        std::string start = productStarts(kTarget)[0];
        EXPECT_TRUE(std::regex_match(start, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )"
                                                       R"("C:\\Program Files\\QM Desktop User)"
                                                       R"(\\Quellmark\.exe")")))
            << start;
        EXPECT_EQ(readFile(directoryLog()), kTarget + "\r\n");
    }
};

TEST_F(DesktopUser, TheDesktopShellStartsTheProductUnelevated) {
    Process shell = startLimited("C:\\windows\\explorer.exe /desktop");
    Process installer = startInstaller("/p:\"" + kTarget + "\"");
    ASSERT_NO_FATAL_FAILURE(installAndWaitForTheProduct(installer));
    ProductProcess product = productProcess();
    ASSERT_NE(product.id, 0u);
    EXPECT_EQ(product.parent, shell.id()) << "not started by the limited desktop";
    EXPECT_FALSE(product.elevated);
}

// A desktop whose window list cannot be passed to another process: the chain fails.
TEST_F(DesktopUser, WhenTheShellCannotBeReachedTheInstallerStartsTheProductItself) {
    deleteKey(HKEY_LOCAL_MACHINE, kShellWindowsInterface);
    Process installer = startInstaller("/p:\"" + kTarget + "\"");
    ASSERT_NO_FATAL_FAILURE(installAndWaitForTheProduct(installer));
    ProductProcess product = productProcess();
    ASSERT_NE(product.id, 0u);
    EXPECT_EQ(product.parent, installer.id());
    EXPECT_TRUE(product.elevated) << "WinExec passes on the installer's own token";
}

} // namespace
