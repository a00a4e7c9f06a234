// The stand-in product behaves as the installer and its tests expect of the real one:
// it logs its starts, holds its files in use, and follows the close protocol.
#include "product.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using namespace qmtest;

const char* kProductDir = "C:\\prod";
const UINT kCloseMessage = 61239;

// SendMessageA with a bound: the answer, or nullopt when none came within `timeoutMs`.
std::optional<DWORD_PTR> sendDestroy2(HWND window, UINT timeoutMs = 5000) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, RegisterWindowMessageA("KVMsgDestroy2"), 0, 0, SMTO_NORMAL,
                             timeoutMs, &answer))
        return std::nullopt;
    return answer;
}

std::vector<std::string> messageNames() {
    std::vector<std::string> names;
    for (const ProductMessage& message : productMessages(kProductDir))
        names.push_back(message.name);
    return names;
}

class Product : public ::testing::Test {
  protected:
    void SetUp() override {
        stageProduct(kProductDir);
        DeleteFileA(joinPath(kProductDir, "Quellmark.log").c_str());
        DeleteFileA(joinPath(kProductDir, "Quellmark.messages.log").c_str());
    }
};

TEST_F(Product, LogsItsStartAndHoldsItsFilesUntilMessage61239) {
    Process product = startProduct(kProductDir, "/bt");
    std::vector<std::string> starts = productStarts(kProductDir);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(std::regex_match(starts[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )"
                                                       R"("C:\\prod\\Quellmark\.exe" /bt)")))
        << starts[0];

    HWND window = productWindow();
    ASSERT_NE(window, nullptr);
    for (const char* name : {"Quellmark.dll", "Quellmark.exe"}) {
        EXPECT_FALSE(DeleteFileA(joinPath(kProductDir, name).c_str())) << name;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << name;
    }

    DWORD before = GetTickCount();
    ASSERT_TRUE(PostMessageA(window, kCloseMessage, 0, 0));
    EXPECT_EQ(product.wait(10000), std::optional<DWORD>(0));
    DWORD after = GetTickCount();
    std::vector<ProductMessage> messages = productMessages(kProductDir);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].name, "61239");
    EXPECT_LE(messages[0].tick - before, after - before);
    EXPECT_EQ(productWindow(), nullptr);
    EXPECT_TRUE(DeleteFileA(joinPath(kProductDir, "Quellmark.dll").c_str()));

    // A second start appends its own line.
    stageProduct(kProductDir);
    Process again = startProduct(kProductDir);
    EXPECT_EQ(productStarts(kProductDir).size(), 2u);
}

TEST_F(Product, AnswersKVMsgDestroy2WithZeroAndClosesOnKVMsgDestroy) {
    Process product = startProduct(kProductDir);
    HWND window = productWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(sendDestroy2(window), std::optional<DWORD_PTR>(0));
    ASSERT_TRUE(PostMessageA(window, RegisterWindowMessageA("KVMsgDestroy"), 0, 0));
    EXPECT_EQ(product.wait(10000), std::optional<DWORD>(0));
    EXPECT_EQ(messageNames(), (std::vector<std::string>{"KVMsgDestroy2", "KVMsgDestroy"}));
}

// The installer's side: two posts, half a second, then the send.
std::optional<DWORD_PTR> askToClose(HWND window, UINT timeoutMs) {
    PostMessageA(window, kCloseMessage, 0, 0);
    PostMessageA(window, RegisterWindowMessageA("KVMsgDestroy"), 0, 0);
    Sleep(500);
    return sendDestroy2(window, timeoutMs);
}

// The answers the installer must cope with: a refusal, and none at all.
TEST_F(Product, AnswerOptionRefusesOrHangsAndKeepsItRunning) {
    const std::vector<std::string> all = {"61239", "KVMsgDestroy", "KVMsgDestroy2"};
    Process product = startProduct(kProductDir, "/answer:104489");
    ASSERT_NE(productWindow(), nullptr);
    EXPECT_EQ(askToClose(productWindow(), 5000), std::optional<DWORD_PTR>(104489));
    EXPECT_TRUE(product.running());
    EXPECT_EQ(messageNames(), all);
    product.kill();

    DeleteFileA(joinPath(kProductDir, "Quellmark.messages.log").c_str());
    Process hung = startProduct(kProductDir, "/answer:none");
    ASSERT_NE(productWindow(), nullptr);
    EXPECT_EQ(askToClose(productWindow(), 2000), std::nullopt);
    EXPECT_TRUE(hung.running());
    EXPECT_EQ(messageNames(), all);
}

} // namespace
