// installSteps.cpp: install steps 1 to 6 and the install's part of the shared tail.
#include "agreementPacked.h"
#include "base/installLog.h"
#include "base/state.h"
#include "base/text.h"
#include "engine/engine.h"
#include "fileops/fileops.h"
#include "launch/startAsDesktopUser.h"
#include "payload/payload.h"
#include "resource.h"
#include "ui/ui.h"

namespace {
constexpr char kProductKey[] = "Software\\Quellmark";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunValue[] = "Quellmark";
constexpr char kBrowserKey[] = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr char kLauncher[] = "Quellmark.exe";

// Windows counts a terminator the caller left out whenever the next byte is 0, so
// the byte behind the three letters must not be one: DCC is stored as three bytes.
constexpr char kDccData[] = {'a', 'd', 'v', '\x7F'};
constexpr DWORD kDccLength = 3;

char dataFileSource[kPathBuffer];

BOOL setString(HKEY hive, const char* keyName, HKEY key, const char* name, const char* data,
               DWORD length) {
    LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), length);
    // A write never finds "nothing there": any refusal is a failure.
    logRegistry("wrote", hive, keyName, name, static_cast<LONG>(asFailure(result)));
    return result == ERROR_SUCCESS;
}

void deleteValue(HKEY hive, const char* keyName, HKEY key, const char* name) {
    logRegistry("deleted", hive, keyName, name, RegDeleteValueA(key, name));
}

// The installer's own name "xx-c<code>[.…]" carries the code of the site it came from.
void writeCampaignCode(HKEY key) {
    char* path = installer.scratch;
    DWORD length = GetModuleFileNameA(nullptr, path, kScratchBuffer);
    if (length == 0 || length >= kScratchBuffer)
        return;
    // By characters: in a double-byte code page a second byte can be 0x5C, and the third
    // and fourth characters need not be the third and fourth bytes.
    char* name = path + fileNameOffset(path);
    char* third = CharNextA(CharNextA(name));
    if (third[0] != '-' || (third[1] != 'c' && third[1] != 'C'))
        return;
    char* code = third + 2;
    char* end = code;
    while (*end != 0 && *end != '.')
        ++end;
    *end = 0;
    setString(HKEY_CURRENT_USER, kProductKey, key, "CCode", code,
              static_cast<DWORD>(end - code) + 1);
}

void writeProductValues() {
    // Searched only as far as Windows was offered the path; the count includes the zero.
    DWORD length = textLength(installer.programDir, kPathOffer);
    if (length < kPathOffer)
        ++length;
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, kProductKey, &key) == ERROR_SUCCESS) {
        writeCampaignCode(key);
        if (installer.dccSwitch == 1)
            setString(HKEY_CURRENT_USER, kProductKey, key, "DCC", kDccData, kDccLength);
        else
            deleteValue(HKEY_CURRENT_USER, kProductKey, key, "DCC");
        setString(HKEY_CURRENT_USER, kProductKey, key, "AppPath", installer.programDir, length);
        RegCloseKey(key);
    }
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kProductKey, &key) == ERROR_SUCCESS) {
        setString(HKEY_LOCAL_MACHINE, kProductKey, key, "AppPath", installer.programDir, length);
        RegCloseKey(key);
    }
}

// A failed copy leaves an empty temporary file: it must not replace a good Update.kvc.
void importUpdateFile() {
    if (installer.importFile[0] == 0)
        return;
    // Held open elsewhere means still being written: skip it.
    HANDLE file = CreateFileA(installer.importFile, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(file);
    makeTempName("iza");
    BOOL copied = CopyFileA(installer.importFile, installer.tempFileName, FALSE);
    logFile("copied", installer.tempFileName, installer.importFile,
            copied ? ERROR_SUCCESS : GetLastError());
    if (copied)
        replaceOrSchedule(installer.tempFileName, "Update.kvc");
    else
        DeleteFileA(installer.tempFileName);
}

// "<programDir>\Quellmark.exe" quoted, into scratch, followed by `arguments`.
BOOL buildLauncherCommand(const char* arguments) {
    return textCopy(installer.scratch, kScratchBuffer, "\"") &&
           textAppend(installer.scratch, kScratchBuffer, installer.programDir) &&
           textAppend(installer.scratch, kScratchBuffer, "\\") &&
           textAppend(installer.scratch, kScratchBuffer, kLauncher) &&
           textAppend(installer.scratch, kScratchBuffer, "\"") &&
           textAppend(installer.scratch, kScratchBuffer, arguments);
}

BOOL writeRunValue(HKEY hive, DWORD length) {
    HKEY key;
    BOOL written = FALSE;
    LONG opened = RegCreateKeyExA(hive, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (opened == ERROR_SUCCESS) {
        written = setString(hive, kRunKey, key, kRunValue, installer.scratch, length);
        RegCloseKey(key);
    } else {
        logRegistry("opened", hive, kRunKey, nullptr, static_cast<LONG>(asFailure(opened)));
    }
    return written;
}

// Makes programDir current, creating it when it is not there; logs it and where it came from.
BOOL establishProgramDirectory() {
    const char* origin = installer.silentMode == 0         ? "the dialog"
                         : installer.defaultDirectory != 0 ? "/q's default"
                                                           : "the /p: switch";
    const char* action = "program directory";
    DWORD error = ERROR_SUCCESS;
    if (SetCurrentDirectoryA(installer.programDir)) {
        installer.directoryExisted = 1;
    } else {
        action = "created the program directory";
        error = makeAndEnterDirectory(installer.programDir);
    }
    logDirectory(action, installer.programDir, origin, asFailure(error));
    return error == ERROR_SUCCESS;
}
} // namespace

BOOL runInstallSteps() {
    // A damaged download must change nothing, not even make the program directory.
    BOOL unpacked = unpackPayloads();
    logEvent("unpacked", "the product images", nullptr,
             unpacked ? ERROR_SUCCESS : ERROR_INVALID_DATA);
    if (!unpacked) {
        showMessage(coreFilesError);
        errorEnding();
        return FALSE;
    }
    if (!establishProgramDirectory()) {
        showFixedMessage(kTextDirectoryError);
        errorEnding();
        return FALSE;
    }
    cleanTempFiles();
    importUpdateFile();
    writeProductValues();
    DeleteFileA("Quellmark.old");
    DeleteFileA("Quellmark.new");
    BOOL done = writePayload(IDR_LIBRARY_IMAGE, "izd", "Quellmark.dll") &&
                writePayload(IDR_LAUNCHER_IMAGE, "ize", kLauncher);
    if (!done) {
        showMessage(coreFilesError);
        errorEnding();
    }
    return done;
}

void removeRunValues() {
    HKEY hives[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    for (HKEY hive : hives) {
        HKEY key;
        if (RegOpenKeyA(hive, kRunKey, &key) == ERROR_SUCCESS) {
            deleteValue(hive, kRunKey, key, kRunValue);
            RegCloseKey(key);
        }
    }
}

void setAutostart() {
    if (!optionOn(Option::Autostart) || !buildLauncherCommand(" /bt"))
        return;
    DWORD length = textLength(installer.scratch, kScratchBuffer) + 1;
    HKEY hive = optionOn(Option::AllUsers) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    BOOL written = writeRunValue(hive, length);
    if (!written && hive == HKEY_LOCAL_MACHINE)
        written = writeRunValue(HKEY_CURRENT_USER, length);
    if (!written)
        showFixedMessage(kTextAutostartError);
}

// Never overwrites: a copy in the program directory may hold the user's own strings.
void copyDataFiles() {
    const char* names[] = {"KVCstrings.dat", "KVQMstrings.dat"};
    UINT length = GetSystemDirectoryA(installer.scratch, kPathOffer);
    if (length == 0 || length >= kPathOffer)
        return;
    for (const char* name : names) {
        if (!joinPath(dataFileSource, kPathBuffer, installer.scratch, name))
            continue;
        DWORD error = CopyFileA(dataFileSource, name, TRUE) ? ERROR_SUCCESS : GetLastError();
        logFile("copied", name, dataFileSource,
                error == ERROR_FILE_EXISTS ? kResultKeptPresent : error);
    }
}

void setBrowserOptions() {
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, kBrowserKey, &key) == ERROR_SUCCESS) {
        setString(HKEY_CURRENT_USER, kBrowserKey, key, "Disable Script Debugger", "yes", 4);
        setString(HKEY_CURRENT_USER, kBrowserKey, key, "Error Dlg Displayed On Every Error", "no",
                  3);
        RegCloseKey(key);
    }
}

void completeInstall() {
    if (installer.silentMode == 0) {
        ShowWindow(installer.dialogWindow, SW_HIDE);
        if (installer.productWasRunning == 0 && installer.directoryExisted == 0 &&
            askYesNo(kTextBrowserCacheQuestion))
            showFixedMessage(kTextBrowserCacheInstructions);
        Sleep(200);
        buildWelcomeText();
        logMessage(welcomeText, TRUE);
        MessageBoxA(nullptr, welcomeText, "Welcome to Quellmark", MB_OK);
    }
    // Unattended runs start nothing; the Run value starts it at the next logon. A
    // deployment tool's run would run it as SYSTEM beside the user's own copy and hold
    // its library in use.
    const char* notStarted = installer.rebootNeeded == 1 ? "files wait for the restart"
                             : installer.quietMode != 0  ? "quiet mode"
                             : runningAsLocalSystem()    ? "run by LocalSystem"
                                                         : nullptr;
    if (notStarted != nullptr)
        logEvent("product not started:", notStarted, nullptr, kNoResult);
    else if (SetCurrentDirectoryA(installer.programDir) && buildLauncherCommand(""))
        // By full path: a bare name is looked for beside the installer first.
        startAsDesktopUser(installer.scratch, "", installer.programDir, SW_SHOWNORMAL);
    if (installer.rebootNeeded == 1 && installer.silentMode == 0) {
        Sleep(200);
        showFixedMessage(kTextRestartMessage);
    }
    endRun(completedExitCode(installer.rebootNeeded));
}
