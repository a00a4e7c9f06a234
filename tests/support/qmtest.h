// qmtest.h: the machinery every test shares: processes, files, the registry and
// the Wine prefix, with real Win32 calls from inside the test's own prefix.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace qmtest {

// Where wine-run.sh stages the build: the installer, its map and the images.
constexpr const char* kStage = "C:\\qmtest";
constexpr const char* kInstaller = "C:\\qmtest\\QM-Install.exe";
constexpr const char* kLibraryImage = "C:\\qmtest\\images\\Quellmark.dll";
constexpr const char* kLauncherImage = "C:\\qmtest\\images\\Quellmark.exe";
// Samples of the x86 branch converter, each beside its converted form NAME.x86, and
// the stand-in images packed in that form (Quellmark.dll.packed, Quellmark.exe.packed).
constexpr const char* kX86Samples = "C:\\qmtest\\x86-samples";
constexpr const char* kDefaultDir = "C:\\Program Files\\Quellmark";
constexpr DWORD kDefaultTimeoutMs = 60000;

// ---- processes ----------------------------------------------------------------

// A started process; killed when the object goes, unless it has ended or was released.
class Process {
  public:
    Process() = default;
    explicit Process(const PROCESS_INFORMATION& info);
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    bool valid() const {
        return info_.hProcess != nullptr;
    }
    DWORD id() const {
        return info_.dwProcessId;
    }
    HANDLE handle() const {
        return info_.hProcess;
    }
    HANDLE thread() const {
        return info_.hThread;
    }
    // Exit code, or nullopt when it did not end within `timeoutMs` (it is then killed).
    std::optional<DWORD> wait(DWORD timeoutMs = kDefaultTimeoutMs);
    bool running() const;
    void kill();
    void resume();

  private:
    PROCESS_INFORMATION info_{};
};

// Starts `commandLine` in `directory`; CREATE_SUSPENDED when asked; on `desktop`
// ("<station>\\<desktop>") when one is given.
Process start(const std::string& commandLine, const std::string& directory = kStage,
              bool suspended = false, const std::string& desktop = "");

// Runs the installer with `arguments` (as typed after its name); returns its process.
Process startInstaller(const std::string& arguments, const std::string& directory = kStage,
                       const std::string& installerPath = kInstaller);

// Runs the installer on a desktop of a window station made for the test. Like a
// service's, where deployment tools run, nobody can see that station: a window there
// waits for ever, so bound every wait.
Process startInstallerUnseen(const std::string& arguments);

// Runs the installer to its end; exit code, or nullopt on a time-out (it is killed then).
std::optional<DWORD> runInstaller(const std::string& arguments, DWORD timeoutMs = kDefaultTimeoutMs,
                                  const std::string& installerPath = kInstaller);

struct Output {
    std::optional<DWORD> exitCode;
    std::string text; // standard output and standard error together
};
// Runs a console program with its output captured.
Output runCaptured(const std::string& commandLine, const std::string& directory = kStage,
                   DWORD timeoutMs = kDefaultTimeoutMs);

// The Wine restart: carries out PendingFileRenameOperations and wininit.ini's [Rename].
void restartWindows();

// Makes Wine report the given version ("win98", "winxp", ...) to processes started later.
void setWindowsVersion(const std::string& version);

// Ends every process whose image name is `exeName` (e.g. "Quellmark.exe").
void killProcesses(const std::string& exeName);

// ---- files --------------------------------------------------------------------

bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);
std::optional<std::string> readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& data);
void makeDirectories(const std::string& path);
// Names (not paths) of the entries in `directory` that match `pattern`.
std::vector<std::string> listFiles(const std::string& directory, const std::string& pattern = "*");
std::string joinPath(const std::string& directory, const std::string& name);
std::string systemDirectory();
std::string windowsDirectory();
std::string shortPath(const std::string& path);
// Bytes of an embedded product image (the build's padded stand-ins).
std::string libraryImage();
std::string launcherImage();

// ---- registry -----------------------------------------------------------------

struct RegValue {
    DWORD type = 0;
    std::string data; // the raw bytes, exactly as many as the value holds
};
std::optional<RegValue> readValue(HKEY root, const std::string& key, const std::string& name);
bool keyExists(HKEY root, const std::string& key);
void createKey(HKEY root, const std::string& key);
void deleteKey(HKEY root, const std::string& key); // with its subkeys
// Writes raw bytes with the given type; `data` is stored exactly as given.
void writeValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                const std::string& data);
// A REG_SZ with its terminator counted.
void writeString(HKEY root, const std::string& key, const std::string& name,
                 const std::string& text);
void deleteValue(HKEY root, const std::string& key, const std::string& name);
// A string value's text up to its terminator; "<absent>" when there is no such value.
std::string stringValue(HKEY root, const std::string& key, const std::string& name);
// PendingFileRenameOperations as pairs (source, destination; destination empty = delete).
std::vector<std::pair<std::string, std::string>> pendingRenames();

// ---- waiting ------------------------------------------------------------------

// Polls `condition` every 50 ms until it holds or `timeoutMs` passes.
template <typename Condition> bool waitFor(Condition condition, DWORD timeoutMs = 20000) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
}

// The program group folders of the two start menus, and the uninstaller's copy where
// it really is (the WOW64 system directory on 64-bit Windows).
std::string perUserGroup();
std::string allUsersGroup();
std::string uninstallerCopy();

// ---- 64-bit Windows -----------------------------------------------------------
// Our 32-bit programs, the tests among them, see the file system and HKLM\Software
// through WOW64's redirection there; the restart, the shell and the system's list of
// programs do not.

bool underWow64();
// The system directory where 32-bit files really are: GetSystemWow64DirectoryA's, or
// the system directory on 32-bit Windows.
std::string realSystemDirectory();
// The native system directory as this process reaches it ("sysnative" under WOW64).
std::string nativeSystemDirectory();
// The command that starts the native build of a system program such as "wineboot.exe".
std::string nativeProgram(const std::string& exeName);
// Whether `path` names a file for a native reader, without the redirection.
bool existsNatively(const std::string& path);
// The directory the options dialog proposes when nothing was installed before.
std::string proposedDefaultDir();

// `text` cut at each CR LF; the part after the last one is the last line.
std::vector<std::string> splitLines(const std::string& text);

// Lines of the stand-in product's start log in `directory` (one line per start).
std::vector<std::string> productStarts(const std::string& directory);

} // namespace qmtest
