// qmtest.cpp: processes, files and registry for the tests, through real Win32 calls.
#include "qmtest.h"
#include "facts.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <utility>

namespace qmtest {

// ---- processes ----------------------------------------------------------------

Process::Process(const PROCESS_INFORMATION& info) : info_(info) {}

Process::Process(Process&& other) noexcept : info_(other.info_) {
    other.info_ = {};
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        kill();
        info_ = other.info_;
        other.info_ = {};
    }
    return *this;
}

Process::~Process() {
    kill();
}

std::optional<DWORD> Process::wait(DWORD timeoutMs) {
    if (!valid())
        return std::nullopt;
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        kill();
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

bool Process::running() const {
    return valid() && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

void Process::kill() {
    if (!valid())
        return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 0xDEAD);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
    info_ = {};
}

void Process::resume() {
    ResumeThread(info_.hThread);
}

Process start(const std::string& commandLine, const std::string& directory, bool suspended,
              const std::string& desktop) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string desktopName = desktop;
    if (!desktop.empty())
        startup.lpDesktop = desktopName.data();
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                        suspended ? CREATE_SUSPENDED : 0, nullptr, directory.c_str(), &startup,
                        &info)) {
        ADD_FAILURE() << "cannot start " << commandLine << ": error " << GetLastError();
        return Process();
    }
    return Process(info);
}

Process startInstaller(const std::string& arguments, const std::string& directory,
                       const std::string& installerPath) {
    std::string line = "\"" + installerPath + "\"";
    if (!arguments.empty())
        line += " " + arguments;
    return start(line, directory);
}

namespace {
// Made once and held to the test's end: the processes started there need it.
std::string unseenDesktop() {
    static std::string name;
    if (!name.empty())
        return name;
    const char* kStation = "QmUnseen";
    HWINSTA own = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationA(kStation, 0, WINSTA_ALL_ACCESS, nullptr);
    if (station == nullptr) {
        ADD_FAILURE() << "cannot make a window station: error " << GetLastError();
        return "";
    }
    // A desktop is made on the caller's station.
    SetProcessWindowStation(station);
    HDESK desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    DWORD error = GetLastError();
    SetProcessWindowStation(own);
    if (desktop == nullptr) {
        ADD_FAILURE() << "cannot make a desktop: error " << error;
        return "";
    }
    name = std::string(kStation) + "\\Default";
    return name;
}
} // namespace

Process startInstallerUnseen(const std::string& arguments) {
    std::string desktop = unseenDesktop();
    if (desktop.empty())
        return Process();
    std::string line = "\"" + std::string(kInstaller) + "\"";
    if (!arguments.empty())
        line += " " + arguments;
    return start(line, kStage, false, desktop);
}

std::optional<DWORD> runInstaller(const std::string& arguments, DWORD timeoutMs,
                                  const std::string& installerPath) {
    Process installer = startInstaller(arguments, kStage, installerPath);
    return installer.wait(timeoutMs);
}

Output runCaptured(const std::string& commandLine, const std::string& directory, DWORD timeoutMs) {
    Output output;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return output;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  directory.c_str(), &startup, &info);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        ADD_FAILURE() << "cannot start " << commandLine << ": error " << GetLastError();
        return output;
    }
    Process process(info);
    char buffer[4096];
    DWORD got = 0;
    DWORD begin = GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr))
            break;
        if (available != 0) {
            if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) || got == 0)
                break;
            output.text.append(buffer, got);
            continue;
        }
        if (!process.running() || GetTickCount() - begin > timeoutMs)
            break;
        Sleep(20);
    }
    while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &got, nullptr) && got != 0 &&
           ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got != 0)
        output.text.append(buffer, got);
    CloseHandle(readEnd);
    output.exitCode = process.wait(timeoutMs);
    return output;
}

void restartWindows() {
    // The restart's own program: on 64-bit Windows it acts on paths without redirection.
    Output result = runCaptured(nativeProgram("wineboot.exe") + " -r", kStage, 120000);
    ASSERT_TRUE(result.exitCode.has_value()) << "wineboot -r did not finish";
}

void setWindowsVersion(const std::string& version) {
    writeString(HKEY_CURRENT_USER, "Software\\Wine", "Version", version);
}

void killProcesses(const std::string& exeName) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, exeName.c_str()) != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process != nullptr) {
            TerminateProcess(process, 0xDEAD);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
}

// ---- files --------------------------------------------------------------------

bool fileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool directoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> readFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string data;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got != 0)
        data.append(buffer, got);
    CloseHandle(file);
    return data;
}

void writeFile(const std::string& path, const std::string& data) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot write " << path;
    DWORD written = 0;
    BOOL ok = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == data.size()) << "short write to " << path;
}

void makeDirectories(const std::string& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

std::vector<std::string> listFiles(const std::string& directory, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(joinPath(directory, pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string joinPath(const std::string& directory, const std::string& name) {
    // By characters: in a double-byte code page a last byte 0x5C may end a character.
    const char* end = directory.c_str() + directory.size();
    if (!directory.empty() && *CharPrevA(directory.c_str(), end) == '\\')
        return directory + name;
    return directory + "\\" + name;
}

std::string systemDirectory() {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    return std::string(path, length);
}

std::string windowsDirectory() {
    char path[MAX_PATH];
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    return std::string(path, length);
}

std::string shortPath(const std::string& path) {
    char buffer[MAX_PATH * 4];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer)
        return path;
    return std::string(buffer, length);
}

std::string libraryImage() {
    return readFile(kLibraryImage).value_or("");
}

std::string launcherImage() {
    return readFile(kLauncherImage).value_or("");
}

// ---- registry -----------------------------------------------------------------

std::optional<RegValue> readValue(HKEY root, const std::string& key, const std::string& name) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return std::nullopt;
    RegValue value;
    DWORD size = 0;
    LONG result = RegQueryValueExA(handle, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        value.data.resize(size);
        result = RegQueryValueExA(handle, name.c_str(), nullptr, &value.type,
                                  reinterpret_cast<BYTE*>(value.data.data()), &size);
        value.data.resize(size);
    }
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

bool keyExists(HKEY root, const std::string& key) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

void createKey(HKEY root, const std::string& key) {
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                              nullptr),
              ERROR_SUCCESS)
        << key;
    RegCloseKey(handle);
}

void deleteKey(HKEY root, const std::string& key) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &handle) == ERROR_SUCCESS) {
        char name[512];
        while (RegEnumKeyA(handle, 0, name, sizeof name) == ERROR_SUCCESS)
            deleteKey(handle, name);
        RegCloseKey(handle);
    }
    RegDeleteKeyA(root, key.c_str());
}

void writeValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                const std::string& data) {
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                              nullptr),
              ERROR_SUCCESS);
    LONG result =
        RegSetValueExA(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
    RegCloseKey(handle);
    ASSERT_EQ(result, ERROR_SUCCESS) << key << "\\" << name;
}

void writeString(HKEY root, const std::string& key, const std::string& name,
                 const std::string& text) {
    writeValue(root, key, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

void deleteValue(HKEY root, const std::string& key, const std::string& name) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(handle, name.c_str());
    RegCloseKey(handle);
}

std::string stringValue(HKEY root, const std::string& key, const std::string& name) {
    auto value = readValue(root, key, name);
    if (!value)
        return "<absent>";
    return value->data.substr(0, value->data.find('\0'));
}

std::string perUserGroup() {
    return joinPath(stringValue(HKEY_CURRENT_USER, kShellFolders, "Programs"), "Quellmark");
}

std::string allUsersGroup() {
    return joinPath(stringValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs"), "Quellmark");
}

std::string uninstallerCopy() {
    return joinPath(realSystemDirectory(), "QM-Install.exe");
}

bool underWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string realSystemDirectory() {
    char path[MAX_PATH];
    UINT length = GetSystemWow64DirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return systemDirectory();
    return std::string(path, length);
}

std::string nativeSystemDirectory() {
    return underWow64() ? joinPath(windowsDirectory(), "sysnative") : systemDirectory();
}

std::string nativeProgram(const std::string& exeName) {
    return underWow64() ? joinPath(nativeSystemDirectory(), exeName) : exeName;
}

bool existsNatively(const std::string& path) {
    PVOID redirection = nullptr;
    bool native = underWow64() && Wow64DisableWow64FsRedirection(&redirection);
    bool exists = fileExists(path);
    if (native)
        Wow64RevertWow64FsRedirection(redirection);
    return exists;
}

std::string proposedDefaultDir() {
    return underWow64() ? "C:\\Program Files (x86)\\Quellmark" : kDefaultDir;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

std::vector<std::pair<std::string, std::string>> pendingRenames() {
    std::vector<std::pair<std::string, std::string>> pairs;
    auto value =
        readValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                  "PendingFileRenameOperations");
    if (!value)
        return pairs;
    // REG_MULTI_SZ of UTF-16 strings, read through the ANSI call: Wine converts it.
    std::vector<std::string> strings;
    size_t start = 0;
    const std::string& data = value->data;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] == 0) {
            strings.push_back(data.substr(start, i - start));
            start = i + 1;
        }
    }
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (strings[i].empty())
            break;
        pairs.emplace_back(strings[i], strings[i + 1]);
    }
    return pairs;
}

std::vector<std::string> productStarts(const std::string& directory) {
    std::vector<std::string> lines;
    auto log = readFile(joinPath(directory, "Quellmark.log"));
    if (!log)
        return lines;
    size_t start = 0;
    for (size_t end; (end = log->find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = log->substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

} // namespace qmtest
