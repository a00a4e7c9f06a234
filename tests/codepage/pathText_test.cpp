// Paths in code page 932, where "ソ" is 83 5C and "表" is 95 5C: the second byte of such a
// character is the backslash byte, and no path routine may take it for one. Run in the
// Japanese locale (tests/CMakeLists.txt), where Wine's ANSI code page is 932.
#include "base/state.h"
#include "base/text.h"
#include "startup/commandLine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kSo = "\x83\x5C";  // ソ
const std::string kHyo = "\x95\x5C"; // 表
// C:\ソフト\表
const std::string kTable = "C:\\" + kSo + "\x83\x74" + "\x83\x67" + "\\" + kHyo;

std::string programDirAfter(const std::string& arguments) {
    installer = InstallerState{};
    std::string line = "\"C:\\qmtest\\QM-Install.exe\" " + arguments;
    parseCommandLine(line.c_str());
    return installer.programDir;
}

std::string joined(const std::string& directory, const char* name) {
    char path[kPathBuffer];
    return joinPath(path, sizeof path, directory.c_str(), name) ? path : "<refused>";
}

TEST(CodePage932Paths, KeepACharacterEndingIn0x5CAndLoseOnlyRealTrailingBackslashes) {
    ASSERT_EQ(GetACP(), 932u) << "not run in the Japanese locale";

    EXPECT_EQ(programDirAfter("/p:" + kTable + " /s"), kTable);
    EXPECT_EQ(installer.noProgramGroup, 1u);
    EXPECT_EQ(programDirAfter("/p:C:\\" + kSo), "C:\\" + kSo);
    EXPECT_EQ(programDirAfter("/p:\"" + kTable + "\\\\\""), kTable);
    EXPECT_EQ(programDirAfter("/p:C:\\" + kSo + "\\"), "C:\\" + kSo);
    // "ア" is 83 41: switches are found in a case-folded copy, the path keeps its bytes.
    EXPECT_EQ(programDirAfter("/P:C:\\\x83\x41" + kSo + " /M"), "C:\\\x83\x41" + kSo);
    EXPECT_EQ(installer.noAutostart, 1u);

    // A join adds its separator whatever byte the directory ends in.
    EXPECT_EQ(joined(kTable, "Quellmark.exe"), kTable + "\\Quellmark.exe");
    EXPECT_EQ(joined("C:\\" + kSo, "Config.dat"), "C:\\" + kSo + "\\Config.dat");

    // The installer's own name, for its campaign code, begins behind the last real backslash.
    std::string download = "C:\\dl\\" + kSo + "QM-c42.exe";
    EXPECT_EQ(download.substr(fileNameOffset(download.c_str())), kSo + "QM-c42.exe");
    std::string inTable = kTable + "\\QM-c7.exe";
    EXPECT_EQ(inTable.substr(fileNameOffset(inTable.c_str())), "QM-c7.exe");
}

} // namespace
