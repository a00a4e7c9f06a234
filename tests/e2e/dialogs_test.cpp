// The interactive installer as a user meets it: the options dialog, the agreement,
// the running product's shutdown and the closing messages of an install.
#include "facts.h"
#include "agreementPacked.h"
#include "gui.h"
#include "product.h"
#include "qmtest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

namespace {

using namespace qmtest;
using namespace qmtest::gui;

// The dialogs' controls, as the templates number them.

constexpr const char* kRunningInstall =
    "Quellmark is currently running on your system, click \"OK\" to close Quellmark, or "
    "\"Cancel\" to abort installation.";
constexpr const char* kRunningUninstall =
    "Quellmark is currently running on your system, click \"OK\" to close Quellmark, or "
    "\"Cancel\" to abort uninstallation.";
constexpr const char* kRefusal = "Quellmark cannot be installed if you do not agree to the "
                                 "license terms; the Quellmark installer will now close.";
constexpr const char* kDirectoryError =
    "Error when attempting to establish program directory, please check you have sufficient "
    "permissions to create the target directory and sufficient free space.";
constexpr const char* kBrowserCacheQuestion =
    "If this is your first time running Quellmark, it is highly recommended that you clear "
    "your browser's cache (this is the area that stores copies of web pages locally to speed "
    "up web page loading), otherwise adverts may still appear even while Quellmark is "
    "active.  This is quick and easy to do; would you like to see a quick explanation of how "
    "to do this?";
constexpr const char* kRestartMessage =
    "Unfortunately some files were in use by your system when the Quellmark installer "
    "attempted to update them.  As a result, before you can use Quellmark, you must restart "
    "your system.  After the restart the installation will silently complete and the new "
    "Quellmark version will be loaded.";

// The product's answer to the hung wait: the install goes on after this bound.
constexpr DWORD kProductAnswerBoundMs = 10000;

std::vector<std::string> messageNames(const std::string& directory) {
    std::vector<std::string> names;
    for (const ProductMessage& message : productMessages(directory))
        names.push_back(message.name);
    return names;
}

// Install, then the agreement dialog; returns it while it is shown.
HWND openAgreement(HWND dialog, const Process& installer) {
    pressButton(dialog, kInstallButton);
    HWND agreement = waitForWindow(kDialogClass, kAgreementTitle, installer.id());
    if (agreement == nullptr || !waitVisible(agreement))
        return nullptr;
    return agreement;
}

void installAndAgree(HWND dialog, const Process& installer) {
    HWND agreement = openAgreement(dialog, installer);
    ASSERT_NE(agreement, nullptr) << "no agreement dialog";
    pressButton(agreement, IDYES);
}

void answer(const std::string& caption, const Process& installer, const std::string& text,
            int button) {
    ShownMessage box = waitForMessageBox(caption, installer.id());
    ASSERT_TRUE(box) << "no message box \"" << caption << "\"";
    EXPECT_EQ(box.text, text);
    EXPECT_TRUE(answerMessageBox(box, button));
}

// The welcome box: its text line by line, then OK.
void acceptWelcome(const Process& installer, const char* screenshot = nullptr) {
    ShownMessage welcome = waitForMessageBox(kWelcomeCaption, installer.id());
    ASSERT_TRUE(welcome) << "no welcome box";
    EXPECT_EQ(splitLines(welcome.text), kWelcomeLines);
    EXPECT_EQ(GetWindow(welcome.window, GW_OWNER), nullptr);
    if (screenshot != nullptr)
        EXPECT_TRUE(saveScreenshot(welcome.window, screenshot));
    EXPECT_TRUE(answerMessageBox(welcome, IDOK));
}

class Dialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        // The key an earlier product left: an install would write AppPath into it.
        createKey(HKEY_CURRENT_USER, kProductKey);
        // Without a window manager only Wine itself draws the title bars the screenshots show.
        writeString(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", "Decorated", "N");
    }
    void TearDown() override {
        killProcesses("Quellmark.exe");
    }

    void expectNothingWritten(const std::string& directory = kDefaultDir) {
        EXPECT_FALSE(directoryExists(directory));
        EXPECT_FALSE(readValue(HKEY_CURRENT_USER, kProductKey, "AppPath"));
        EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"));
        EXPECT_FALSE(readValue(HKEY_CURRENT_USER, kRunKey, "Quellmark"));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(fileExists(joinPath(systemDirectory(), "QM-Install.exe")));
    }
};

// ---- templates ------------------------------------------------------------------

struct Control {
    int id;
    std::string className;
    DWORD style;
    short x, y, cx, cy;
    std::string text;
    bool operator==(const Control& other) const {
        return id == other.id && className == other.className && style == other.style &&
               x == other.x && y == other.y && cx == other.cx && cy == other.cy &&
               text == other.text;
    }
};

std::ostream& operator<<(std::ostream& out, const Control& control) {
    return out << control.id << " " << control.className << " style " << std::hex << control.style
               << std::dec << " " << control.x << "," << control.y << " " << control.cx << "x"
               << control.cy << " \"" << control.text << "\"";
}

struct Template {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string title, font;
    WORD pointSize = 0;
    std::vector<Control> controls;
};

// A DLGTEMPLATE resource as the dialog manager reads it.
class TemplateReader {
  public:
    explicit TemplateReader(const BYTE* data) : at_(data) {}

    Template read() {
        Template result;
        result.style = dword();
        dword(); // extended style
        WORD count = word();
        result.x = word(), result.y = word(), result.cx = word(), result.cy = word();
        text(); // menu
        text(); // class
        result.title = text();
        if (result.style & DS_SETFONT) {
            result.pointSize = word();
            result.font = text();
        }
        for (WORD i = 0; i < count; ++i) {
            align();
            Control control;
            control.style = dword();
            dword();
            control.x = word(), control.y = word(), control.cx = word(), control.cy = word();
            control.id = word();
            control.className = canonicalClass(text());
            control.text = text();
            at_ += word();
            result.controls.push_back(control);
        }
        return result;
    }

  private:
    // The resource compiler may spell a predefined class by name, in any case.
    static std::string canonicalClass(const std::string& name) {
        for (const char* known : {"Button", "Edit", "Static"})
            if (lstrcmpiA(name.c_str(), known) == 0)
                return known;
        return name;
    }
    WORD word() {
        WORD value = *reinterpret_cast<const WORD*>(at_);
        at_ += 2;
        return value;
    }
    DWORD dword() {
        DWORD value = *reinterpret_cast<const DWORD*>(at_);
        at_ += 4;
        return value;
    }
    void align() {
        while (reinterpret_cast<uintptr_t>(at_) % 4 != 0)
            ++at_;
    }
    // A string, or an ordinal; the predefined control classes by name.
    std::string text() {
        WORD first = word();
        if (first == 0xFFFF) {
            switch (WORD ordinal = word()) {
            case 0x80:
                return "Button";
            case 0x81:
                return "Edit";
            case 0x82:
                return "Static";
            default:
                return "#" + std::to_string(ordinal);
            }
        }
        std::string result;
        for (WORD c = first; c != 0; c = word())
            result += static_cast<char>(c);
        return result;
    }
    const BYTE* at_;
};

std::optional<Template> loadTemplate(HMODULE module, int id) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    if (found == nullptr)
        return std::nullopt;
    auto data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    return TemplateReader(data).read();
}

TEST(DialogTemplates, AreExactlyAsTheDialogsNeedThem) {
    HMODULE module = LoadLibraryExA(kInstaller, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    constexpr DWORD kFrame = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
                             DS_3DLOOK | DS_LOCALEDIT;
    constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;
    constexpr DWORD kTab = WS_TABSTOP;

    std::optional<Template> options = loadTemplate(module, 1);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->style, kFrame);
    EXPECT_EQ(std::vector<short>({options->x, options->y, options->cx, options->cy}),
              std::vector<short>({29, 31, 308, 104}));
    EXPECT_EQ(options->title, "");
    EXPECT_EQ(options->font, "MS Sans Serif");
    EXPECT_EQ(options->pointSize, 8);
    const std::vector<Control> optionControls = {
        {110, "Button", kShown | BS_GROUPBOX | kTab, 4, 2, 300, 80, ""},
        {121, "Static", kShown | SS_LEFT | WS_GROUP, 11, 11, 78, 9, "Store program files in:"},
        {111, "Edit", kShown | WS_BORDER | kTab | ES_AUTOHSCROLL, 11, 20, 246, 12, ""},
        {115, "Button", kShown | kTab, 262, 19, 33, 14, "Browse"},
        {116, "Button", kShown | BS_AUTOCHECKBOX | kTab, 11, 38, 109, 12,
         "Add start menu program group"},
        {118, "Button", kShown | BS_AUTOCHECKBOX | kTab, 11, 51, 188, 12,
         "Launch Quellmark when my computer starts"},
        {117, "Button", kShown | BS_AUTOCHECKBOX | kTab, 11, 64, 237, 12,
         "Install for all users of this computer (if more than one account is found)"},
        {1, "Button", kShown | kTab, 191, 86, 54, 14, "Install"},
        {2, "Button", kShown | kTab, 250, 86, 54, 14, "Exit"},
        {120, "Button", kShown | kTab, 3, 86, 54, 14, "Uninstall"},
    };
    EXPECT_EQ(options->controls, optionControls);

    std::optional<Template> agreement = loadTemplate(module, 9);
    ASSERT_TRUE(agreement);
    EXPECT_EQ(agreement->style, kFrame);
    EXPECT_EQ(std::vector<short>({agreement->x, agreement->y, agreement->cx, agreement->cy}),
              std::vector<short>({29, 31, 348, 170}));
    EXPECT_EQ(agreement->title, kAgreementTitle);
    EXPECT_EQ(agreement->font, "MS Sans Serif");
    EXPECT_EQ(agreement->pointSize, 8);
    const std::vector<Control> agreementControls = {
        // The text is reached by the keyboard; the question is not.
        {113, "Edit", kShown | ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_BORDER | kTab, 4, 5,
         340, 131, ""},
        {114, "Button", kShown | BS_GROUPBOX, 4, 138, 339, 28, ""},
        {65535, "Static", kShown | SS_CENTER | WS_GROUP, 9, 150, 208, 9,
         "Do you understand and agree to these terms?"},
        {6, "Button", kShown | kTab, 224, 147, 54, 14, "Yes"},
        {7, "Button", kShown | kTab, 283, 147, 54, 14, "No"},
    };
    EXPECT_EQ(agreement->controls, agreementControls);

    // Group 2, the window icon and the uninstall shortcut's icon index 1: one 32x32
    // image of 16 colours.
    HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(14));
    ASSERT_NE(group, nullptr);
    auto directory = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    ASSERT_EQ(*reinterpret_cast<const WORD*>(directory + 4), 1);
    EXPECT_EQ(directory[6], 32);
    EXPECT_EQ(directory[7], 32);
    EXPECT_EQ(directory[8], 16);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)), nullptr);
    FreeLibrary(module);
}

// ---- options dialog -------------------------------------------------------------

TEST_F(Dialogs, OptionsDialogIsCentredAndItsCloseBoxEndsTheRunWithNothingWritten) {
    Process installer = startInstaller("");
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    RECT frame;
    ASSERT_TRUE(GetWindowRect(dialog, &frame));
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXMAXIMIZED) - width) / 2);
    EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYMAXIMIZED) - height) / 2);
    EXPECT_EQ(controlText(dialog, kBrowseButton), "Browse");
    EXPECT_EQ(controlText(dialog, kUninstallButton), "Uninstall");
    EXPECT_TRUE(isVisible(dialog, kUninstallButton));
    EXPECT_EQ(controlText(dialog, kPathLabel), "Store program files in:");

    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
    expectNothingWritten();
}

TEST_F(Dialogs, OptionsDialogProposesTheDirectoryTheRegistryNames) {
    constexpr const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
    auto proposed = [] { return proposedDirectory(""); };

    writeString(HKEY_CURRENT_USER, kProductKey, "AppPath", "E:\\Tools\\Filter");
    EXPECT_EQ(proposed(), "E:\\Tools\\Filter");

    writeString(HKEY_CURRENT_USER, kProductKey, "AppPath", "");
    writeString(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", "D:\\Apps");
    EXPECT_EQ(proposed(), "D:\\Apps\\Quellmark");

    // A value of another type is no path, however its bytes read.
    writeValue(HKEY_CURRENT_USER, kProductKey, "AppPath", REG_DWORD, std::string("E:A\0", 4));
    EXPECT_EQ(proposed(), "D:\\Apps\\Quellmark");

    deleteValue(HKEY_CURRENT_USER, kProductKey, "AppPath");
    deleteValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir");
    EXPECT_EQ(proposed(), "C:\\Program Files\\Quellmark");
}

// A second Browse, or a changed box, under an open browser would act on a stale dialog.
TEST_F(Dialogs, FolderBrowserIsModalToTheOptionsDialog) {
    Process installer = startInstaller("");
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    pressButton(dialog, kBrowseButton);
    HWND browser = nullptr;
    ASSERT_TRUE(waitFor([&] {
        for (HWND window = GetTopWindow(nullptr); window != nullptr;
             window = GetWindow(window, GW_HWNDNEXT)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == installer.id() && window != dialog && IsWindowVisible(window))
                browser = window;
        }
        return browser != nullptr;
    })) << "no folder browser";
    EXPECT_EQ(GetWindow(browser, GW_OWNER), dialog);
    EXPECT_FALSE(IsWindowEnabled(dialog));
    PostMessageA(browser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(dialog) != FALSE; }));
    pressButton(dialog, kExitButton);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
}

TEST_F(Dialogs, UninstallModeRelabelsTheDialogAndKeepsTheBoxStates) {
    Process installer = startInstaller("/s /die");
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(controlText(dialog, kPathLabel), "Remove program files from:");
    EXPECT_EQ(controlText(dialog, kGroupBox), "Uninstall options");
    EXPECT_EQ(controlText(dialog, kInstallButton), "Uninstall");
    EXPECT_FALSE(isVisible(dialog, kUninstallButton));
    EXPECT_FALSE(isChecked(dialog, kProgramGroupBox));
    EXPECT_TRUE(isChecked(dialog, kAutostartBox));
    EXPECT_TRUE(isChecked(dialog, kAllUsersBox));
    for (int box : {kProgramGroupBox, kAutostartBox, kAllUsersBox})
        EXPECT_FALSE(isEnabled(dialog, box)) << box;
    EXPECT_TRUE(isEnabled(dialog, kPathEdit));
    EXPECT_TRUE(isEnabled(dialog, kBrowseButton));
    EXPECT_EQ(controlText(dialog, kPathEdit), kDefaultDir);
    EXPECT_TRUE(saveScreenshot(dialog, "uninstall-dialog"));
    pressButton(dialog, kExitButton);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
}

// ---- agreement ------------------------------------------------------------------

TEST_F(Dialogs, AgreementShowsTheWholeTextReadOnlyAndIgnoresEscape) {
    Process installer = startInstaller("");
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    HWND agreement = openAgreement(dialog, installer);
    ASSERT_NE(agreement, nullptr);
    EXPECT_FALSE(IsWindowVisible(dialog));

    // The text is the one the installer carries, to its last byte.
    std::string text = controlText(agreement, kAgreementEdit);
    EXPECT_EQ(text.size(), kAgreementLength) << "the edit's text is cut";
    uint32_t hash = 0x811C9DC5u;
    for (unsigned char c : text)
        hash = (hash ^ c) * 0x01000193u;
    EXPECT_EQ(hash, kAgreementHash) << "the edit's text is not the agreement";
    EXPECT_EQ(text.substr(0, 9), "Licensor:");
    EXPECT_NE(text.find("\r\n20. "), std::string::npos);

    LONG style = controlStyle(agreement, kAgreementEdit);
    EXPECT_TRUE(style & ES_READONLY);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_FALSE(style & WS_HSCROLL);
    PostMessageA(GetDlgItem(agreement, kAgreementEdit), WM_CHAR, 'x', 1);
    EXPECT_TRUE(saveScreenshot(agreement, "agreement-dialog"));

    PostMessageA(agreement, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(agreement, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    Sleep(2000);
    EXPECT_TRUE(IsWindowVisible(agreement));
    EXPECT_TRUE(installer.running());
    EXPECT_EQ(findWindow(kDialogClass, kCaption, installer.id()), nullptr);
    EXPECT_EQ(controlText(agreement, kAgreementEdit), text);
    expectNothingWritten();
}

TEST_F(Dialogs, AgreementRefusedWithNoOrTheCloseBoxEndsTheRunWithNothingWritten) {
    for (bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "No");
        Process installer = startInstaller("");
        HWND dialog = optionsDialog(installer);
        ASSERT_NE(dialog, nullptr);
        HWND agreement = openAgreement(dialog, installer);
        ASSERT_NE(agreement, nullptr);
        if (closeBox)
            PostMessageA(agreement, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            pressButton(agreement, IDNO);
        ShownMessage refusal = waitForMessageBox(kCaption, installer.id());
        ASSERT_TRUE(refusal);
        EXPECT_EQ(refusal.text, kRefusal);
        EXPECT_EQ(GetWindow(refusal.window, GW_OWNER), agreement);
        EXPECT_TRUE(answerMessageBox(refusal, IDOK));
        EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
        expectNothingWritten();
    }
}

// Without a mouse: the licence takes the keys that scroll it, and Enter agrees to
// nothing; Enter on the uninstall's configuration question keeps the configuration.
TEST_F(Dialogs, KeyboardScrollsTheLicenceAndEnterDestroysNothing) {
    Process installer = startInstaller("");
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    HWND agreement = openAgreement(dialog, installer);
    ASSERT_NE(agreement, nullptr);
    HWND text = GetDlgItem(agreement, kAgreementEdit);
    ASSERT_TRUE(waitFor([&] { return focusOf(agreement) == text; }, 5000))
        << "the focus is on " << focusOf(agreement);
    LRESULT selection = sendBounded(text, EM_GETSEL);
    EXPECT_EQ(LOWORD(selection), HIWORD(selection)) << "the licence is selected";
    EXPECT_EQ(sendBounded(text, EM_GETFIRSTVISIBLELINE), 0);
    pressKey(text, VK_NEXT);
    EXPECT_TRUE(waitFor([&] { return sendBounded(text, EM_GETFIRSTVISIBLELINE) > 0; }, 5000));
    pressKey(text, VK_RETURN);
    Sleep(1500);
    EXPECT_TRUE(IsWindowVisible(agreement)) << "Enter agreed";
    pressButton(agreement, IDNO);
    answer(kCaption, installer, kRefusal, IDOK);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
    expectNothingWritten();

    const std::string target = "C:\\Filters";
    ASSERT_EQ(runInstaller("/m /p:" + target), std::optional<DWORD>(0));
    ASSERT_TRUE(waitFor([&] { return productStarts(target).size() == 1; }, kDefaultTimeoutMs));
    killProcesses("Quellmark.exe");
    writeFile(joinPath(target, "Config.dat"), "my filter lists");
    Process uninstaller = startInstaller("/die");
    HWND uninstallDialog = optionsDialog(uninstaller);
    ASSERT_NE(uninstallDialog, nullptr);
    EXPECT_EQ(controlText(uninstallDialog, kPathEdit), target);
    pressButton(uninstallDialog, kInstallButton);
    ShownMessage question = waitForMessageBox(kCaption, uninstaller.id());
    ASSERT_TRUE(question);
    EXPECT_EQ(question.text.rfind("Do you want to remove your Quellmark configuration data?", 0),
              0u);
    ASSERT_TRUE(waitFor([&] { return focusOf(question.window) != nullptr; }, 5000));
    pressKey(focusOf(question.window), VK_RETURN);
    EXPECT_TRUE(waitFor([&] { return !IsWindow(question.window); }));
    answerNextMessageBox(kCaption, uninstaller.id(), "While uninstalling", IDNO);
    answerNextMessageBox(kCaption, uninstaller.id(), "Uninstallation complete", IDOK);
    EXPECT_EQ(uninstaller.wait(), std::optional<DWORD>(0));
    EXPECT_FALSE(fileExists(joinPath(target, "Quellmark.dll")));
    EXPECT_EQ(readFile(joinPath(target, "Config.dat")), "my filter lists");
}

// ---- running product ------------------------------------------------------------

TEST_F(Dialogs, RunningProductCancelEndsTheRunAndTellsTheProductNothing) {
    const std::string productDir = "C:\\Running";
    stageProduct(productDir);
    Process product = startProduct(productDir);
    Process installer = startInstaller("");
    ShownMessage question = waitForMessageBox(kCaption, installer.id());
    ASSERT_TRUE(question);
    EXPECT_EQ(question.text, kRunningInstall);
    EXPECT_EQ(findWindow(kDialogClass, kTitle, installer.id()),
              GetWindow(question.window, GW_OWNER));
    EXPECT_TRUE(answerMessageBox(question, IDCANCEL));
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
    EXPECT_TRUE(product.running());
    EXPECT_TRUE(productMessages(productDir).empty());
    expectNothingWritten();
}

TEST_F(Dialogs, RunningProductOkClosesItBeforeTheUninstallDialogShows) {
    const std::string productDir = "C:\\Running";
    stageProduct(productDir);
    Process product = startProduct(productDir);
    Process installer = startInstaller("/die");
    ShownMessage question = waitForMessageBox(kCaption, installer.id());
    ASSERT_TRUE(question);
    EXPECT_EQ(question.text, kRunningUninstall);
    DWORD pressed = GetTickCount();
    EXPECT_TRUE(answerMessageBox(question, IDOK));
    EXPECT_EQ(product.wait(10000), std::optional<DWORD>(0));
    // A window that has gone answers at once: no wait for the bound.
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    EXPECT_LT(GetTickCount() - pressed, kProductAnswerBoundMs);
    std::vector<std::string> names = messageNames(productDir);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names[0], "61239");
    EXPECT_EQ(controlText(dialog, kInstallButton), "Uninstall");
    pressButton(dialog, kExitButton);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
}

TEST_F(Dialogs, RunningProductThatAnswersStopEndsTheInstallerAtOnce) {
    const std::string productDir = "C:\\Running";
    stageProduct(productDir);
    Process product = startProduct(productDir, "/answer:104489");
    Process installer = startInstaller("");
    ShownMessage question = waitForMessageBox(kCaption, installer.id());
    ASSERT_TRUE(question);
    EXPECT_EQ(question.text, kRunningInstall);
    EXPECT_TRUE(answerMessageBox(question, IDOK));

    bool windowShown = false;
    bool ended = waitFor(
        [&] {
            for (HWND window = GetTopWindow(nullptr); window != nullptr;
                 window = GetWindow(window, GW_HWNDNEXT)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == installer.id() && IsWindowVisible(window))
                    windowShown = true;
            }
            return !installer.running();
        },
        kProductAnswerBoundMs);
    ASSERT_TRUE(ended) << "the installer went on after the stop answer";
    EXPECT_FALSE(windowShown);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));

    std::vector<ProductMessage> messages = productMessages(productDir);
    ASSERT_EQ(messageNames(productDir),
              (std::vector<std::string>{"61239", "KVMsgDestroy", "KVMsgDestroy2"}));
    // Logged on arrival: the posted two trail their posting by the product's wake-up.
    EXPECT_GE(messages[2].tick - messages[1].tick, 480u);
    EXPECT_TRUE(product.running());
    expectNothingWritten();
}

// ---- interactive installs (the engine runs inside the dialog) ---------------------

TEST_F(Dialogs, InteractiveInstallRunsThroughTheDialogsAndStartsTheProduct) {
    // On 64-bit Windows: the folder for 32-bit programs.
    const std::string target = proposedDefaultDir();
    Process installer = startInstaller("");
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(windowText(dialog), kTitle);
    EXPECT_EQ(controlText(dialog, kPathEdit), target);
    for (int box : {kProgramGroupBox, kAutostartBox, kAllUsersBox}) {
        EXPECT_TRUE(isChecked(dialog, box)) << box;
        EXPECT_TRUE(isEnabled(dialog, box)) << box;
    }
    EXPECT_EQ(controlText(dialog, kInstallButton), "Install");
    EXPECT_TRUE(saveScreenshot(dialog, "options-dialog"));

    installAndAgree(dialog, installer);
    answer(kCaption, installer, kBrowserCacheQuestion, IDNO);
    EXPECT_FALSE(IsWindowVisible(dialog));
    acceptWelcome(installer, "welcome-box");
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));

    EXPECT_TRUE(waitFor([&] { return productStarts(target).size() == 1; }));
    EXPECT_EQ(readFile(joinPath(target, "Quellmark.dll")), libraryImage());
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kProductKey, "AppPath"), target);
    EXPECT_NE(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"), "<absent>");
    EXPECT_TRUE(directoryExists(allUsersGroup()));
}

TEST_F(Dialogs, SwitchesUncheckTheBoxesAndTheEngineFollowsTheBoxes) {
    Process installer = startInstaller("/s /m /c");
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    for (int box : {kProgramGroupBox, kAutostartBox, kAllUsersBox})
        EXPECT_FALSE(isChecked(dialog, box)) << box;
    // The user turns autostart back on; the group stays off.
    pressButton(dialog, kAutostartBox);
    ASSERT_TRUE(waitFor([&] { return isChecked(dialog, kAutostartBox); }, 5000));

    installAndAgree(dialog, installer);
    answer(kCaption, installer, kBrowserCacheQuestion, IDNO);
    acceptWelcome(installer);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));

    EXPECT_TRUE(waitFor([] { return productStarts(kDefaultDir).size() == 1; }));
    EXPECT_FALSE(directoryExists(perUserGroup()));
    EXPECT_FALSE(directoryExists(allUsersGroup()));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    // Autostart on, all users off: the current user's Run key.
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kRunKey, "Quellmark"),
              "\"" + std::string(kDefaultDir) + "\\Quellmark.exe\" /bt");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"), "<absent>");
}

TEST_F(Dialogs, UpgradeAsksNoBrowserCacheQuestion) {
    makeDirectories(kDefaultDir);
    Process installer = startInstaller("");
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    installAndAgree(dialog, installer);
    // The welcome box comes first; a question before it would hold it back.
    ShownMessage welcome = waitForMessageBox(kWelcomeCaption, installer.id());
    ASSERT_TRUE(welcome);
    EXPECT_EQ(findWindow(kDialogClass, kCaption, installer.id()), nullptr);
    EXPECT_TRUE(answerMessageBox(welcome, IDOK));
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
    EXPECT_TRUE(waitFor([] { return productStarts(kDefaultDir).size() == 1; }));
}

TEST_F(Dialogs, HungProductCostsTheBoundThenItsFilesInUseAskForARestart) {
    stageProduct(kDefaultDir);
    Process product = startProduct(kDefaultDir, "/answer:none");
    Process installer = startInstaller("");
    ShownMessage question = waitForMessageBox(kCaption, installer.id());
    ASSERT_TRUE(question);
    DWORD pressed = GetTickCount();
    EXPECT_TRUE(answerMessageBox(question, IDOK));
    HWND dialog = optionsDialog(installer, 3 * kProductAnswerBoundMs);
    ASSERT_NE(dialog, nullptr) << "the installer did not go on after the bound";
    EXPECT_GE(GetTickCount() - pressed, kProductAnswerBoundMs);
    std::vector<ProductMessage> messages = productMessages(kDefaultDir);
    ASSERT_EQ(messageNames(kDefaultDir),
              (std::vector<std::string>{"61239", "KVMsgDestroy", "KVMsgDestroy2"}));
    EXPECT_GE(messages[2].tick - messages[1].tick, 480u);

    // The product still holds its files: the welcome, then the restart message.
    installAndAgree(dialog, installer);
    acceptWelcome(installer);
    answer(kCaption, installer, kRestartMessage, IDOK);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
    EXPECT_EQ(productStarts(kDefaultDir).size(), 1u) << "the product was started";
    bool libraryPending = false;
    for (const auto& rename : pendingRenames())
        if (rename.second.find("Quellmark.dll") != std::string::npos)
            libraryPending = true;
    EXPECT_TRUE(libraryPending);
}

TEST_F(Dialogs, EngineErrorShowsTheDialogAgainAsTheUserLeftIt) {
    const std::string missingParent = "C:\\No Such Parent\\Quellmark";
    const std::string corrected = "C:\\Filters";
    Process installer = startInstaller("");
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    pressButton(dialog, kAllUsersBox);
    ASSERT_TRUE(waitFor([&] { return !isChecked(dialog, kAllUsersBox); }, 5000));
    setControlText(dialog, kPathEdit, missingParent);

    installAndAgree(dialog, installer);
    answer(kCaption, installer, kDirectoryError, IDOK);
    ASSERT_TRUE(waitVisible(dialog));
    EXPECT_EQ(controlText(dialog, kPathEdit), missingParent);
    EXPECT_TRUE(isChecked(dialog, kProgramGroupBox));
    EXPECT_TRUE(isChecked(dialog, kAutostartBox));
    EXPECT_FALSE(isChecked(dialog, kAllUsersBox));
    EXPECT_FALSE(directoryExists("C:\\No Such Parent"));

    setControlText(dialog, kPathEdit, corrected);
    installAndAgree(dialog, installer);
    answer(kCaption, installer, kBrowserCacheQuestion, IDNO);
    acceptWelcome(installer);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
    EXPECT_TRUE(waitFor([&] { return productStarts(corrected).size() == 1; }));
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kProductKey, "AppPath"), corrected);
    // All users off: the group and the autostart value are the current user's.
    EXPECT_TRUE(directoryExists(perUserGroup()));
    EXPECT_NE(stringValue(HKEY_CURRENT_USER, kRunKey, "Quellmark"), "<absent>");
}

// The field is taken whole or not at all: 2047 characters are what Windows is offered of
// a path, and one more leaves the engine no directory; a cut one could name another.
TEST_F(Dialogs, APathFieldTooLongForWindowsIsRefusedNotCut) {
    const std::string log = "C:\\field.log";
    const std::string fits = "C:\\Filters\\" + std::string(2047 - 11, 'x');
    Process installer = startInstaller("/l:" + log);
    HWND dialog = optionsDialog(installer);
    ASSERT_NE(dialog, nullptr);
    for (const std::string& field : {fits, fits + "x"}) {
        setControlText(dialog, kPathEdit, field);
        installAndAgree(dialog, installer);
        answer(kCaption, installer, kDirectoryError, IDOK);
        ASSERT_TRUE(waitVisible(dialog));
    }
    pressButton(dialog, kExitButton);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
    std::string text = readFile(log).value_or("");
    size_t first = text.find("created the program directory C:\\Filters\\xxx");
    EXPECT_NE(first, std::string::npos) << text;
    size_t second = text.find("created the program directory", first + 1);
    ASSERT_NE(second, std::string::npos) << text;
    EXPECT_EQ(text.substr(second, text.find('\n', second) - second).find("Filters"),
              std::string::npos)
        << text;
    EXPECT_FALSE(directoryExists("C:\\Filters"));
}

// /? and a second run each change nothing: the summary ends with 0; a second run, while
// the first holds the installer, says so and ends with 1618, or quietly with /q.
TEST_F(Dialogs, HelpAndASecondRunShowTheirBoxAndChangeNothing) {
    Process help = startInstaller("/?");
    ShownMessage summary = waitForMessageBox(kCaption, help.id());
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary.text.rfind("Usage: QM-Install.exe", 0), 0u) << summary.text;
    EXPECT_NE(summary.text.find("/die"), std::string::npos);
    EXPECT_TRUE(answerMessageBox(summary, IDOK));
    EXPECT_EQ(help.wait(), std::optional<DWORD>(0));

    Process first = startInstaller("");
    HWND dialog = optionsDialog(first);
    ASSERT_NE(dialog, nullptr);
    Process second = startInstaller("");
    answer(kCaption, second,
           "Another Quellmark installer is running. Please wait until it has finished, then try "
           "again.",
           IDOK);
    EXPECT_EQ(second.wait(), std::optional<DWORD>(1618));
    EXPECT_EQ(runInstaller("/q /p:C:\\Second", 20000), std::optional<DWORD>(1618));
    EXPECT_FALSE(directoryExists("C:\\Second"));
    pressButton(dialog, kExitButton);
    EXPECT_EQ(first.wait(), std::optional<DWORD>(0));
    expectNothingWritten();
}

} // namespace
