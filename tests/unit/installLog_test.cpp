// The /l: log's lines as an administrator reads them: the prefix, full paths, the result
// words, and the bounds of a line whatever the path or the code.
#include "base/installLog.h"
#include "base/state.h"

#include "qmtest.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

class InstallLog : public ::testing::Test {
  protected:
    const std::string dir = "C:\\qmtest\\installLog";
    std::string log;

    void SetUp() override {
        installer = InstallerState{};
        qmtest::makeDirectories(dir);
        ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
        log = qmtest::joinPath(
            dir,
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".log");
        DeleteFileA(log.c_str());
        lstrcpyA(installer.logFile, log.c_str());
    }
    void TearDown() override {
        installer = InstallerState{};
        SetCurrentDirectoryA(qmtest::kStage);
    }

    // The lines written, without their CR LF.
    std::vector<std::string> lines() const {
        std::vector<std::string> all = qmtest::splitLines(qmtest::readFile(log).value_or(""));
        if (!all.empty() && all.back().empty())
            all.pop_back();
        return all;
    }
};

TEST_F(InstallLog, EachLineCarriesTheTimeToTheMillisecondThePidAndTheResultAsMeant) {
    struct Case {
        DWORD error;
        const char* result;
    };
    const std::vector<Case> cases = {
        {ERROR_SUCCESS, "ok"},
        {ERROR_FILE_NOT_FOUND, "absent"},
        {ERROR_PATH_NOT_FOUND, "absent"},
        {asFailure(ERROR_PATH_NOT_FOUND), "failed, error 3 (ERROR_PATH_NOT_FOUND)"},
        {kResultReplacedAtRestart, "in use: replaced at the restart"},
        {kResultDeletedAtRestart, "in use: deleted at the restart"},
        {kResultKeptPresent, "kept: already present"},
        {kResultKeptNotEmpty, "kept: not empty"},
        {kResultPassedOver, "passed over"},
        {kResultNotRead, "not read"},
        {ERROR_INVALID_COMMAND_LINE, "failed, error 1639 (ERROR_INVALID_COMMAND_LINE)"},
        {ERROR_SHARING_VIOLATION, "failed, error 32 (ERROR_SHARING_VIOLATION)"},
        {ERROR_TIMEOUT, "failed, error 1460 (ERROR_TIMEOUT)"},
        {ERROR_WRITE_FAULT, "failed, error 29"},
        {0x1FFFFFFF, "failed, error 536870911"},
        {0x80070005, "failed, error 0x80070005"},
    };
    for (const Case& c : cases)
        logFile("deleted", "Quellmark.dll", nullptr, c.error);

    std::vector<std::string> written = lines();
    ASSERT_EQ(written.size(), cases.size());
    const std::regex prefix(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+)\] )");
    for (size_t i = 0; i < cases.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_search(written[i], match, prefix)) << written[i];
        EXPECT_EQ(match.position(0), 0) << written[i];
        EXPECT_EQ(std::stoul(match[1]), GetCurrentProcessId());
        EXPECT_EQ(std::string(match.suffix()),
                  "deleted " + dir + "\\Quellmark.dll: " + std::string(cases[i].result));
    }
}

// A name longer than a field is cut in the line, and the line stays within its bound.
// (The system resolves no ANSI name past MAX_PATH: such a name is logged as given.)
TEST_F(InstallLog, ALongNameIsCutInTheLineAndTheLineStaysBounded) {
    std::string name(200, 'n');
    std::string longName = name + "\\" + name + "\\" + name + ".tmp";
    logFile("replaced", longName.c_str(), longName.c_str(), asFailure(ERROR_FILENAME_EXCED_RANGE));

    std::vector<std::string> written = lines();
    ASSERT_EQ(written.size(), 1u);
    const std::string& line = written[0];
    EXPECT_LE(line.size() + 2, kLogLineLength);
    size_t start = line.find("replaced ") + 9;
    size_t from = line.find(" from ");
    ASSERT_NE(from, std::string::npos) << line;
    EXPECT_EQ(from - start, kLogFieldLength) << line;
    EXPECT_EQ(line.substr(from - 3, 3), "...");
    const std::string end = "...: failed, error 206 (ERROR_FILENAME_EXCED_RANGE)";
    EXPECT_EQ(line.substr(line.size() - end.size()), end) << line;
}

} // namespace
