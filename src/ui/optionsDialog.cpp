// optionsDialog.cpp: the options dialog, the running-product shutdown and the default directory.
#include <windows.h>
#include <shlobj.h>

#include "agreementPacked.h"
#include "base/installLog.h"
#include "base/state.h"
#include "base/systemLibrary.h"
#include "base/text.h"
#include "engine/engine.h"
#include "fault/protectionFrame.h"
#include "resource.h"
#include "ui/ui.h"
#include "version.h"

namespace {

constexpr char kTitle[] = QM_PRODUCT_NAME " v" QM_VERSION_TEXT " Installer";
constexpr char kProductClass[] = "QuellmarkMain";
constexpr char kProductKey[] = "Software\\Quellmark";
const char* const kProductImages[] = {"Quellmark.exe", "Quellmark.dll"};

constexpr UINT kProductCloseMessage = 61239;
// The product's answer to "KVMsgDestroy2" that tells the installer to stop.
constexpr DWORD kProductStopAnswer = 104489;
// A hung product must not hold the installer forever.
constexpr UINT kProductAnswerTimeoutMs = 10000;
// How long a quiet uninstall waits for the product's window to go after asking.
constexpr DWORD kProductCloseWaitMs = 10000;
constexpr DWORD kProductClosePollMs = 100;
// The log's outcomes name both bounds in seconds.
static_assert(kProductAnswerTimeoutMs == 10000 && kProductCloseWaitMs == 10000,
              "closeProductQuietly's outcomes say 10 s");

BROWSEINFOA browseRequest;

using InitCommonControlsProc = void(WINAPI*)();

void initCommonControls() {
    // The library stays loaded: the classes it registers belong to it.
    HMODULE comctl = loadSystemLibrary("comctl32.dll");
    if (comctl == nullptr)
        return;
    auto init = reinterpret_cast<InitCommonControlsProc>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControls")));
    if (init != nullptr)
        init();
}

// What the product made of the close messages.
enum class CloseAnswer { Goes, Refused, Silent };

CloseAnswer sendCloseMessages(HWND product) {
    PostMessageA(product, kProductCloseMessage, 0, 0);
    PostMessageA(product, RegisterWindowMessageA("KVMsgDestroy"), 0, 0);
    Sleep(500);
    DWORD_PTR answer = 0;
    // SMTO_NORMAL: a product that does not answer costs the full bound. A window that
    // went in the meantime answers nothing, and that is the close we asked for.
    if (SendMessageTimeoutA(product, RegisterWindowMessageA("KVMsgDestroy2"), 0, 0, SMTO_NORMAL,
                            kProductAnswerTimeoutMs, &answer) == 0)
        return IsWindow(product) ? CloseAnswer::Silent : CloseAnswer::Goes;
    return answer == kProductStopAnswer ? CloseAnswer::Refused : CloseAnswer::Goes;
}

// Asks a running product to close; ends the process when the user or the product says stop.
void closeRunningProduct(HWND dialog) {
    HWND product = FindWindowA(kProductClass, nullptr);
    if (product == nullptr)
        return;
    installer.productWasRunning = 1;
    const char* question = fixedText(installer.uninstallMode == 1 ? kTextRunningBeforeUninstall
                                                                  : kTextRunningBeforeInstall);
    logMessage(question, TRUE);
    if (MessageBoxA(dialog, question, messageCaption, MB_OKCANCEL) != IDOK)
        endRun(kExitDone);
    // The dialog goes on after a silent product, as after any answer but the stop answer.
    if (sendCloseMessages(product) == CloseAnswer::Refused)
        endRun(kExitDone);
    SetForegroundWindow(dialog);
}

BOOL readDirectoryValue(HKEY root, const char* keyName, const char* valueName,
                        char* into = installer.programDir) {
    return readPathValue(root, keyName, valueName, into, TRUE) == ERROR_SUCCESS;
}

void proposeProgramFilesDirectory() {
    // A single character is no usable parent: fall back as for no value at all.
    if (!readDirectoryValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                            "ProgramFilesDir") ||
        textLength(installer.programDir, kPathOffer) < 2)
        textCopy(installer.programDir, kPathBuffer, "C:\\Program Files");
    // At most kPathOffer characters so far: the suffix always fits.
    textAppend(installer.programDir, kPathBuffer, "\\Quellmark");
}

char imagePath[kPathBuffer];
// The uninstall entry's InstallLocation and programDir, compared without closing backslashes.
char recordedDirectory[kPathBuffer];
char shownDirectory[kPathBuffer];

// ERROR_SUCCESS when the program directory holds the file `name`; else why not.
DWORD imageError(const char* name) {
    if (!joinPath(imagePath, kPathBuffer, installer.programDir, name))
        return ERROR_FILENAME_EXCED_RANGE;
    DWORD attributes = GetFileAttributesA(imagePath);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

void proposeDirectory(HWND dialog) {
    proposeDefaultDirectory();
    SetDlgItemTextA(dialog, IDC_PATH, installer.programDir);
}

void relabelForUninstall(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_PATH_LABEL, "Remove program files from:");
    static_assert(IDC_ALL_USERS == IDC_PROGRAM_GROUP + 1 && IDC_AUTOSTART == IDC_PROGRAM_GROUP + 2,
                  "the three option boxes are numbered in a row");
    for (int box = IDC_PROGRAM_GROUP; box <= IDC_AUTOSTART; ++box)
        EnableWindow(GetDlgItem(dialog, box), FALSE);
    ShowWindow(GetDlgItem(dialog, IDC_UNINSTALL), SW_HIDE);
    SetDlgItemTextA(dialog, IDOK, "Uninstall");
    SetDlgItemTextA(dialog, IDC_OPTIONS_GROUP, "Uninstall options");
}

void initialiseDialog(HWND dialog) {
    installer.dialogWindow = dialog;
    SendMessageA(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kTitle));
    detectPlatform();
    centerDialog(dialog);
    initCommonControls();
    setDialogIcon(dialog);
    closeRunningProduct(dialog);
    CheckDlgButton(dialog, IDC_PROGRAM_GROUP, installer.noProgramGroup ^ 1);
    CheckDlgButton(dialog, IDC_AUTOSTART, installer.noAutostart ^ 1);
    CheckDlgButton(dialog, IDC_ALL_USERS, installer.currentUserOnly ^ 1);
    if (installer.uninstallMode != 0)
        relabelForUninstall(dialog);
    proposeDirectory(dialog);
}

void browseForDirectory(HWND dialog) {
    // Owned, so the dialog beneath cannot start a second browser.
    browseRequest.hwndOwner = dialog;
    browseRequest.lpszTitle = "Please find target directory:";
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browseRequest);
    if (chosen == nullptr)
        return;
    if (SHGetPathFromIDListA(chosen, installer.programDir) == TRUE)
        SetDlgItemTextA(dialog, IDC_PATH, installer.programDir);
    CoTaskMemFree(chosen);
}

void install(HWND dialog) {
    ShowWindow(dialog, SW_HIDE);
    if (installer.uninstallMode != 0) {
        startUninstall();
        return;
    }
    // Returns only when the user agreed; a refusal ends the process inside it.
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_AGREEMENT), nullptr,
                    agreementDialogProc, 0);
    installer.operation = kOperationInstall;
    readPathField();
    runEngine();
}

void runCommand(HWND dialog, WORD id) {
    switch (id) {
    case IDC_BROWSE:
        browseForDirectory(dialog);
        break;
    case IDOK:
        install(dialog);
        break;
    case IDC_UNINSTALL:
        startUninstall();
        break;
    case IDCANCEL:
        endRun(kExitDone);
    }
}

// The machine's record of the install into programDir; names which, null when none.
const char* readMachineRecord() {
    if (readDirectoryValue(HKEY_LOCAL_MACHINE, uninstallEntryKey, "InstallLocation"))
        return "the uninstall entry's InstallLocation";
    if (readDirectoryValue(HKEY_LOCAL_MACHINE, kProductKey, "AppPath"))
        return "HKLM AppPath";
    return nullptr;
}

} // namespace

const char* proposeRecordedDirectory() {
    const char* source = readMachineRecord();
    if (source != nullptr)
        return source;
    proposeProgramFilesDirectory();
    return "the default";
}

void proposeDefaultDirectory() {
    // The user's AppPath only after the machine's: any program of the user may write it,
    // and it must not steer an elevated run. It stays for an install without an entry (/s).
    if (readMachineRecord() == nullptr &&
        !readDirectoryValue(HKEY_CURRENT_USER, kProductKey, "AppPath"))
        proposeProgramFilesDirectory();
}

DWORD readPathValue(HKEY root, const char* keyName, const char* valueName, char* into,
                    BOOL stringOnly) {
    HKEY key;
    LONG result = RegOpenKeyExA(root, keyName, 0, KEY_QUERY_VALUE, &key);
    if (result != ERROR_SUCCESS)
        return static_cast<DWORD>(result);
    DWORD type = 0;
    DWORD size = kPathOffer;
    result = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(into), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return static_cast<DWORD>(result);
    if (size > kPathOffer)
        return ERROR_MORE_DATA;
    // The registry returns a value stored without its terminator as it is.
    into[size] = 0;
    BOOL text = type == REG_SZ || type == REG_EXPAND_SZ;
    // An empty folder would stand for the current directory or the drive's root.
    return (text || !stringOnly) && into[0] != 0 ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

// Text that does not fit whole is not used: a cut path could name another directory,
// so programDir is left empty and the engine refuses it. Read with the whole buffer
// offered, a text of kPathOffer characters or more comes back as at least as many.
void readPathField() {
    UINT length =
        GetDlgItemTextA(installer.dialogWindow, IDC_PATH, installer.programDir, kPathBuffer);
    if (length >= kPathOffer)
        installer.programDir[0] = 0;
}

DWORD productImageError() {
    DWORD error = ERROR_PATH_NOT_FOUND;
    if (installer.programDir[0] != 0)
        for (const char* name : kProductImages)
            if ((error = imageError(name)) == ERROR_SUCCESS)
                break;
    return error;
}

BOOL uninstallEntryExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstallEntryKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return FALSE;
    RegCloseKey(key);
    return TRUE;
}

BOOL isRecordedDirectory() {
    if (!readDirectoryValue(HKEY_LOCAL_MACHINE, uninstallEntryKey, "InstallLocation",
                            recordedDirectory) ||
        !textCopy(shownDirectory, kPathBuffer, installer.programDir))
        return FALSE;
    removeTrailingBackslashes(recordedDirectory);
    removeTrailingBackslashes(shownDirectory);
    return shownDirectory[0] != 0 &&
           CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, shownDirectory, -1,
                          recordedDirectory, -1) == CSTR_EQUAL;
}

BOOL nothingInstalled() {
    if (uninstallEntryExists())
        return FALSE;
    if (readDirectoryValue(HKEY_LOCAL_MACHINE, kProductKey, "AppPath") &&
        productImageError() == ERROR_SUCCESS)
        return FALSE;
    proposeProgramFilesDirectory();
    return productImageError() != ERROR_SUCCESS;
}

BOOL findInstalledDirectory() {
    const char* source = installer.silentMode != 0 ? "the /p: switch" : proposeRecordedDirectory();
    DWORD error = productImageError();
    logDirectory("program directory", installer.programDir, source, error);
    return error == ERROR_SUCCESS;
}

BOOL closeProductQuietly() {
    HWND product = FindWindowA(kProductClass, nullptr);
    if (product == nullptr)
        return TRUE;
    installer.productWasRunning = 1;
    CloseAnswer answer = sendCloseMessages(product);
    DWORD waited = 0;
    if (answer == CloseAnswer::Goes)
        for (; IsWindow(product) && waited < kProductCloseWaitMs; waited += kProductClosePollMs)
            Sleep(kProductClosePollMs);
    if (answer == CloseAnswer::Goes && !IsWindow(product)) {
        logEvent("closing the running product", kProductClass, nullptr, ERROR_SUCCESS);
        return TRUE;
    }
    const char* outcome = answer == CloseAnswer::Refused ? "refused"
                          : answer == CloseAnswer::Silent
                              ? "did not answer within 10 s"
                              : "answered but did not close within 10 s";
    logEvent("closing the running product QuellmarkMain:", outcome, nullptr, kNoResult);
    return FALSE;
}

void centerDialog(HWND window) {
    RECT frame;
    GetWindowRect(window, &frame);
    DWORD width = static_cast<DWORD>(frame.right - frame.left);
    DWORD height = static_cast<DWORD>(frame.bottom - frame.top);
    DWORD screenWidth = static_cast<DWORD>(GetSystemMetrics(SM_CXMAXIMIZED));
    DWORD screenHeight = static_cast<DWORD>(GetSystemMetrics(SM_CYMAXIMIZED));
    DWORD x = screenWidth > width ? (screenWidth - width) / 2 : 0;
    DWORD y = screenHeight > height ? (screenHeight - height) / 2 : 0;
    MoveWindow(window, static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
               static_cast<int>(height), FALSE);
}

void setDialogIcon(HWND window) {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_DIALOG));
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

INT_PTR CALLBACK optionsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, OptionsDlg);
    INT_PTR result = FALSE;
    if (message == WM_INITDIALOG) {
        initialiseDialog(window);
        result = TRUE;
    } else if (message == WM_COMMAND) {
        if (lParam != 0 && HIWORD(wParam) == BN_CLICKED)
            runCommand(window, LOWORD(wParam));
        result = TRUE;
    }
    CLOSE_PROTECTION_FRAME(frame);
    return result;
}
