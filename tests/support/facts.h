// facts.h: what the installer shows and writes, as a user or Windows meets it:
// dialog control ids, window titles, registry keys and the welcome text.
#pragma once

#include <windows.h>

#include "version.h"

#include <string>
#include <vector>

namespace qmtest {

// Controls of the options and agreement dialogs.
constexpr int kInstallButton = IDOK;
constexpr int kExitButton = IDCANCEL;
constexpr int kGroupBox = 110;
constexpr int kPathEdit = 111;
constexpr int kAgreementEdit = 113;
constexpr int kBrowseButton = 115;
constexpr int kProgramGroupBox = 116;
constexpr int kAllUsersBox = 117;
constexpr int kAutostartBox = 118;
constexpr int kUninstallButton = 120;
constexpr int kPathLabel = 121;

// The build's version as the titles and reports show it, spelled here from its numbers.
#define QM_TEST_NUMBER_(number) #number
#define QM_TEST_NUMBER(number) QM_TEST_NUMBER_(number)
#define QM_TEST_VERSION                                                                            \
    QM_TEST_NUMBER(QM_VERSION_MAJOR)                                                               \
    "." QM_TEST_NUMBER(QM_VERSION_MINOR) " Build " QM_TEST_NUMBER(QM_VERSION_BUILD)

constexpr const char* kTitle = "Quellmark v" QM_TEST_VERSION " Installer";
constexpr const char* kReportTitle = "Quellmark v" QM_TEST_VERSION " *BETA* Fault Report";
constexpr const char* kAgreementTitle = "Quellmark User License";
constexpr const char* kCaption = "Quellmark Installer";
constexpr const char* kWelcomeCaption = "Welcome to Quellmark";

constexpr const char* kProductKey = "Software\\Quellmark";
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellmark";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kBrowserKey = "Software\\Microsoft\\Internet Explorer\\Main";

// The welcome message as it must read, wrapped at 64 columns, line by line.
inline const std::vector<std::string> kWelcomeLines = {
    "In a moment Quellmark will load and begin removing adverts from",
    "web pages you visit.  Note that Quellmark will not require any",
    "configuration before it starts working, we've designed it so",
    "that it will deal with most adverts by default.",
    "",
    "Of course for those who like to tinker we've included options to",
    "deal with almost anything, to see these just click on the",
    "Quellmark icon (the smiley cow face) on the bottom right of your",
    "screen.",
    "",
    "Thank you for installing Quellmark, now sit back and enjoy",
    "advert free browsing!",
    "",
    "        - Calderwick (Quellmark Programmer)",
    "",
};

} // namespace qmtest
