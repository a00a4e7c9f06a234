// The welcome text and the word wrap it goes through, and the form of the agreement.
#include "agreementPacked.h"
#include "facts.h"
#include "qmtest.h"
#include "ui/ui.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string wrap(const std::string& source, DWORD limit = kWelcomeColumns) {
    // Guard bytes behind the room the contract asks for show any write past it.
    size_t room = source.size() + 1 + 2 * source.size();
    std::string destination(room + 16, '#');
    wrapText(source.c_str(), &destination[0], limit);
    EXPECT_EQ(destination.substr(room), std::string(16, '#'));
    return destination.substr(0, destination.find('\0'));
}

TEST(WelcomeText, WrapsIntoTheExpectedLines) {
    buildWelcomeText();
    std::string text = welcomeText;
    EXPECT_EQ(text.size() + 1, 575u);
    const std::vector<std::string>& expected = qmtest::kWelcomeLines;
    EXPECT_EQ(qmtest::splitLines(text), expected);
}

TEST(WordWrap, LeavesShortTextAndLineBreaksAlone) {
    EXPECT_EQ(wrap(""), "");
    std::string shortLines = "first line\r\n\r\nsecond\rthird\n" + std::string(64, 'x') + "\r\n";
    EXPECT_EQ(wrap(shortLines), shortLines);
}

TEST(WordWrap, BreaksASixtyFiveCharacterLineAtItsLastBlank) {
    std::string line =
        std::string(30, 'a') + " " + std::string(20, 'b') + " " + std::string(13, 'c');
    ASSERT_EQ(line.size(), 65u);
    EXPECT_EQ(wrap(line),
              std::string(30, 'a') + " " + std::string(20, 'b') + "\r\n" + std::string(13, 'c'));
    // A blank that is itself the 65th character is the break.
    EXPECT_EQ(wrap(std::string(64, 'd') + " e"), std::string(64, 'd') + "\r\ne");
    // Only the blank at the break goes; its neighbour stays.
    EXPECT_EQ(wrap(std::string(60, 'f') + "  " + std::string(10, 'g')),
              std::string(60, 'f') + " \r\n" + std::string(10, 'g'));
}

TEST(WordWrap, BreaksALineWithoutBlanksHardAtTheLimit) {
    std::string word(150, 'w');
    EXPECT_EQ(wrap(word),
              std::string(64, 'w') + "\r\n" + std::string(64, 'w') + "\r\n" + std::string(22, 'w'));
    // A blank on an earlier line is never gone back to.
    EXPECT_EQ(wrap("a b\r\n" + std::string(70, 'z')),
              "a b\r\n" + std::string(64, 'z') + "\r\n" + std::string(6, 'z'));
    // Nor is the blank of the previous break.
    EXPECT_EQ(wrap("x " + std::string(130, 'y')),
              "x\r\n" + std::string(64, 'y') + "\r\n" + std::string(64, 'y') + "\r\n" + "yy");
    // Even the smallest limits make progress.
    EXPECT_EQ(wrap("abc", 1), "a\r\nb\r\nc");
    EXPECT_EQ(wrap("abc", 0), "a\r\nb\r\nc");
}

TEST(AgreementText, HasTheFormTheEditControlShows) {
    std::string text = unpackAgreementText();
    EXPECT_EQ(text.size(), kAgreementLength) << "unpacked short or long";
    uint32_t hash = 0x811C9DC5u;
    for (unsigned char c : text)
        hash = (hash ^ c) * 0x01000193u;
    EXPECT_EQ(hash, kAgreementHash) << "unpacked text differs from the source text";
    EXPECT_GT(text.size(), 11000u);
    EXPECT_LT(text.size(), 13000u);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        ASSERT_TRUE((c >= 32 && c < 127) || (c == '\r' && text[i + 1] == '\n') ||
                    (c == '\n' && i > 0 && text[i - 1] == '\r'))
            << "character " << int(c) << " at " << i;
    }
    std::vector<std::string> paragraphs = qmtest::splitLines(text.substr(0, text.size() - 2));
    EXPECT_NE(paragraphs[0].find("Quellmark"), std::string::npos);
    EXPECT_EQ(paragraphs[1], "");
    int clause = 0;
    size_t longest = 0;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        const std::string& line = paragraphs[i];
        longest = std::max(longest, line.size());
        if (line.rfind(std::to_string(clause + 1) + ". ", 0) == 0) {
            ++clause;
            EXPECT_EQ(paragraphs[i - 1], "") << line.substr(0, 20);
        }
        if (line.rfind("   ", 0) == 0)
            EXPECT_TRUE(line.find_first_not_of(' ') <= 4 &&
                        line[line.find_first_not_of(' ') + 1] == '.')
                << line.substr(0, 20);
    }
    EXPECT_EQ(clause, 20);
    EXPECT_GT(longest, 900u);
    EXPECT_LT(longest, 1300u);
}

} // namespace
