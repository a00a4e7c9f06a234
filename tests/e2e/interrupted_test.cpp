// An install killed part-way (power cut, task manager) must leave nothing that a
// second run of the same install cannot put right.
#include "qmtest.h"

#include <gtest/gtest.h>

namespace {

using namespace qmtest;

constexpr const char* kTarget = "C:\\Interrupted\\Quellmark";

void expectCompleteInstall(int run) {
    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.dll")), libraryImage()) << "run " << run;
    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.exe")), launcherImage()) << "run " << run;
    EXPECT_TRUE(listFiles(kTarget, "iz*.tmp").empty()) << "run " << run;
    auto runValue = readValue(HKEY_LOCAL_MACHINE,
                              "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Quellmark");
    EXPECT_TRUE(runValue.has_value()) << "run " << run;
}

TEST(InterruptedInstall, ASecondRunAfterAKillAtAnyPointCompletesTheInstall) {
    makeDirectories("C:\\Interrupted");
    const std::string arguments = std::string("/p:") + kTarget;
    // Measure one whole install so the kills spread over all of its steps.
    DWORD begin = GetTickCount();
    ASSERT_EQ(runInstaller(arguments), 0u);
    DWORD whole = GetTickCount() - begin;
    killProcesses("Quellmark.exe");

    const int kRuns = 10;
    for (int run = 0; run < kRuns; ++run) {
        DWORD delay = whole * run / (kRuns - 1);
        Process installer = startInstaller(arguments);
        ASSERT_TRUE(installer.valid());
        Sleep(delay);
        installer.kill();
        // A product the killed run had just started shows its name only once it has
        // loaded; left running, it would hold the files the next run replaces.
        for (int sweep = 0; sweep < 4; ++sweep) {
            killProcesses("Quellmark.exe");
            Sleep(500);
        }

        ASSERT_EQ(runInstaller(arguments), 0u) << "run " << run << " after " << delay << " ms";
        killProcesses("Quellmark.exe");
        expectCompleteInstall(run);
    }
}

} // namespace
