// The fault report's pieces, run on real memory: the formatter, the memory dump, the
// labels of values, the two walks and the report layout.
#include "fault/fault.h"

#include "facts.h"
#include "gui.h"
#include "qmtest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string format(const char* pattern, DWORD value) {
    char buffer[64];
    Opt_wsprintfA(buffer, pattern, value);
    return buffer;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        result.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text ends without CR LF";
    return result;
}

// Two committed pages, the second made unreadable: memory that ends at a known byte.
class GuardedPages {
  public:
    GuardedPages() {
        base_ = static_cast<BYTE*>(
            VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_ + kPage, kPage, PAGE_NOACCESS, &old);
    }
    ~GuardedPages() {
        VirtualFree(base_, 0, MEM_RELEASE);
    }
    // The first unreadable byte.
    BYTE* end() const {
        return base_ + kPage;
    }
    static constexpr DWORD kPage = 4096;

  private:
    BYTE* base_ = nullptr;
};

DWORD address(const void* pointer) {
    return reinterpret_cast<DWORD>(pointer);
}

std::string label(DWORD value, DWORD* base = nullptr) {
    char text[kLabelCapacity];
    DWORD b = classifyValue(value, text);
    if (base != nullptr)
        *base = b;
    return text;
}

// Stored name bytes of `name`, as a frame opening holds them.
std::vector<unsigned char> scrambled(const std::string& name) {
    std::vector<unsigned char> bytes;
    for (char c : name)
        bytes.push_back(static_cast<unsigned char>(c ^ kFrameNameKey));
    bytes.push_back(kFrameNameKey);
    return bytes;
}

struct FakeChain {
    std::vector<std::vector<unsigned char>> names;
    std::vector<ProtectionFrame> records;
    // Innermost first; "" is a foreign frame.
    explicit FakeChain(const std::vector<std::string>& frames) : records(frames.size()) {
        names.reserve(frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            names.push_back(scrambled(frames[i]));
            records[i].Handler = frames[i].empty() ? reinterpret_cast<const void*>(&address)
                                                   : reinterpret_cast<const void*>(&faultHandler);
            records[i].Name = names.back().data();
            records[i].Next =
                i + 1 < frames.size() ? &records[i + 1] : reinterpret_cast<ProtectionFrame*>(~0u);
        }
    }
};

int initialisedCounter = 7;
int zeroCounter;

qmtest::Process startChild(const std::string& role) {
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    EXPECT_TRUE(length != 0 && length < MAX_PATH);
    SetEnvironmentVariableA("QM_FAULT_CHILD", role.c_str());
    qmtest::Process child =
        qmtest::start(std::string("\"") + self + "\" --gtest_filter=FaultChild.Run");
    SetEnvironmentVariableA("QM_FAULT_CHILD", nullptr);
    return child;
}

} // namespace

// What a child started by startChild does, chosen by QM_FAULT_CHILD; the test does
// nothing when run in the suite itself.
TEST(FaultChild, Run) {
    const char* role = std::getenv("QM_FAULT_CHILD");
    if (role == nullptr)
        GTEST_SKIP() << "runs only as a child of another test";
    std::string task = role;
    char buffer[64];
    Opt_wsprintfA(buffer, task.substr(sizeof "format:" - 1).c_str(), 1);
    ADD_FAILURE() << "the formatter returned";
}

TEST(FaultFormatter, WritesEachDirectiveExactly) {
    EXPECT_EQ(format("%u", 0), "0");
    EXPECT_EQ(format("%u", 4294967295u), "4294967295");
    EXPECT_EQ(format("<%u>", 1203), "<1203>");
    EXPECT_EQ(format("%X", 26), "0000001A");
    EXPECT_EQ(format("%X", 0xFEDCBA98), "FEDCBA98");
    EXPECT_EQ(format("%B", 4660), "34");
    EXPECT_EQ(format("100%% %B", 0xAF), "100% AF");
    char buffer[32];
    Opt_wsprintfA(buffer, "[%s|%s]", "text", "");
    EXPECT_STREQ(buffer, "[text|]");
}

TEST(FaultFormatter, ReturnsThePositionOfTheTerminatorSoCallersCanAppend) {
    char buffer[32];
    char* end = Opt_wsprintfA(buffer, "ab");
    EXPECT_EQ(end, buffer + 2);
    EXPECT_EQ(*end, '\0');
    end = Opt_wsprintfA(end, "%X", 1);
    EXPECT_STREQ(buffer, "ab00000001");
    EXPECT_EQ(end, buffer + 10);
}

TEST(FaultFormatter, UnknownDirectiveOrLonePercentShowsTheErrorBoxAndEndsTheRunAsFailed) {
    for (const char* pattern : {"%d", "value %"}) {
        SCOPED_TRACE(pattern);
        qmtest::Process child = startChild(std::string("format:") + pattern);
        qmtest::gui::ShownMessage box =
            qmtest::gui::waitForMessageBox("Quellmark", child.id(), 60000);
        ASSERT_TRUE(box);
        EXPECT_EQ(box.text, "Opt_wsprintfA error");
        qmtest::gui::answerMessageBox(box, IDOK);
        EXPECT_EQ(child.wait(), std::optional<DWORD>(1));
    }
}

TEST(FaultDump, RendersSixteenBytesPerLineWithTheTextColumn) {
    static BYTE memory[1024];
    CopyMemory(memory, "Hello, world!\r\n", 16);
    char dump[kDumpCapacity];
    dumpMemory(address(memory), dump);
    std::vector<std::string> dumpLines = lines(dump);
    ASSERT_EQ(dumpLines.size(), kDumpLines);
    EXPECT_EQ(dumpLines[0], " 48 65 6C 6C 6F 2C 20 77-6F 72 6C 64 21 0D 0A 00   Hello, world!...");
    for (const std::string& line : dumpLines)
        EXPECT_EQ(line.size() + 2, kDumpLineLength);

    // Below 14 is a dot; 14 and every byte above, 255 included, show as they are.
    const BYTE column[16] = {0, 9, 10, 13, 14, 15, 'A', 127, 128, 200, 254, 255, 1, 2, 3, 4};
    CopyMemory(memory, column, 16);
    dumpMemory(address(memory), dump);
    EXPECT_EQ(std::string(dump).substr(51, 16), std::string("....\x0E\x0F"
                                                            "A\x7F\x80\xC8\xFE\xFF....",
                                                            16));

    dumpMemory(0, dump);
    EXPECT_STREQ(dump, "");
}

TEST(FaultDump, StopsBeforeTheFirstBlockThatIsNotWhollyReadable) {
    GuardedPages pages;
    char dump[kDumpCapacity];
    dumpMemory(address(pages.end() - 32), dump);
    EXPECT_EQ(lines(dump).size(), 2u);
    dumpMemory(address(pages.end() - 40), dump);
    EXPECT_EQ(lines(dump).size(), 2u);
    dumpMemory(address(pages.end()), dump);
    EXPECT_STREQ(dump, "");
}

TEST(FaultLabels, NameTheSectionOfOurOwnImage) {
    const ImageRanges& image = imageRanges();
    DWORD base = 0;
    EXPECT_EQ(label(address(reinterpret_cast<void*>(&dumpMemory)), &base), ".code");
    EXPECT_EQ(base, image.codeBase);
    EXPECT_EQ(label(address(&initialisedCounter), &base), ".data");
    EXPECT_EQ(base, image.dataBase);
    EXPECT_EQ(label(address("a constant text"), &base), ".data");
    EXPECT_EQ(label(address(&zeroCounter), &base), ".data?");
    EXPECT_EQ(base, image.bssBase);
    int local = 0;
    EXPECT_EQ(label(address(&local), &base), "");
    EXPECT_EQ(base, 0u);

    char text[kLabelCapacity];
    DWORD value = image.codeBase + 419;
    char line[32];
    Opt_wsprintfA(line, "%X%s", value - classifyValue(value, text), text);
    EXPECT_STREQ(line, "000001A3.code");
}

TEST(FaultLabels, RecogniseTheHandlerAndAFrameNameInTheCode) {
    DWORD base = 0;
    EXPECT_EQ(label(address(reinterpret_cast<void*>(&faultHandler)), &base), ".FTHandler");
    EXPECT_EQ(base, imageRanges().codeBase);

    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, CreateShortcut);
    std::string name = label(address(frame.Name));
    const void* handler = frame.Handler;
    CLOSE_PROTECTION_FRAME(frame);
    EXPECT_EQ(name, ".FT-CreateShortcut");
    EXPECT_EQ(handler, reinterpret_cast<const void*>(&faultHandler));
    // One byte into the name is no frame name.
    EXPECT_EQ(label(address(frame.Name) + 1), ".code");
}

TEST(FaultLabels, NeverReadPastTheCodeWhereItBordersOtherMemory) {
    const ImageRanges& image = imageRanges();
    for (DWORD value = image.codeBase; value < image.codeBase + 8; ++value)
        EXPECT_EQ(label(value), ".code");
    for (DWORD value = image.codeEnd - 40; value < image.codeEnd; ++value)
        EXPECT_FALSE(label(value).empty());
}

TEST(FaultFrameTrace, ReadsFromTheOutermostOwnFrameInwardWithForeignFramesBetween) {
    FakeChain chain({"CreateShortcut", "OptionsDlg", "", "QMEntry", "", ""});
    EXPECT_STREQ(buildFrameTrace(&chain.records[0]),
                 "[QM-Install].QMEntry.[foreign].OptionsDlg.CreateShortcut");
}

TEST(FaultFrameTrace, TakesOnlyTheInnermost128FramesAndCutsAt2048Characters) {
    std::vector<std::string> frames(128, "I");
    frames.resize(200, "O");
    FakeChain many(frames);
    std::string expected = "[QM-Install]";
    for (int i = 0; i < 128; ++i)
        expected += ".I";
    EXPECT_EQ(buildFrameTrace(&many.records[0]), expected);

    FakeChain longNames(std::vector<std::string>(100, std::string(40, 'N')));
    std::string trace = buildFrameTrace(&longNames.records[0]);
    EXPECT_EQ(trace.size(), kFrameTraceLength);
    EXPECT_EQ(trace.substr(0, 14), "[QM-Install].N");
}

TEST(FaultFrameTrace, TreatsUnreadableRecordsAndNamesSafely) {
    GuardedPages pages;
    FakeChain chain({"Inner", "", "Outer"});
    // A record whose Handler and Name lie on the unreadable page counts as foreign.
    auto edge = reinterpret_cast<ProtectionFrame*>(pages.end() - 4);
    edge->Next = &chain.records[2];
    chain.records[0].Next = edge;
    EXPECT_STREQ(buildFrameTrace(&chain.records[0]), "[QM-Install].Outer.[foreign].Inner");

    // A Name whose first 8 bytes are readable is shown up to the unreadable page.
    GuardedPages namePages;
    BYTE* name = namePages.end() - 8;
    for (int i = 0; i < 8; ++i)
        name[i] = static_cast<BYTE>('a' ^ kFrameNameKey);
    chain.records[0].Name = name;
    EXPECT_STREQ(buildFrameTrace(&chain.records[0]), "[QM-Install].Outer.[foreign].aaaaaaaa");
    // One byte fewer readable: foreign.
    chain.records[0].Name = name + 1;
    EXPECT_STREQ(buildFrameTrace(&chain.records[0]), "[QM-Install].Outer.[foreign].[foreign]");

    // The walk ends at an unreadable Next; the outer frames are not reached.
    chain.records[0].Name = chain.names[0].data();
    chain.records[0].Next = reinterpret_cast<ProtectionFrame*>(pages.end());
    EXPECT_STREQ(buildFrameTrace(&chain.records[0]), "[QM-Install].Inner");
}

TEST(FaultStackList, ListsWordsUpToTheLastLabelledOne) {
    const ImageRanges& image = imageRanges();
    const DWORD handler = address(reinterpret_cast<void*>(&faultHandler));
    std::vector<DWORD> words(kStackWords + 8, 0x22);
    const DWORD values[4] = {0x12345678, handler, 0x10, image.codeBase + 0x10};
    CopyMemory(words.data(), values, sizeof values);
    char expected[128];
    Opt_wsprintfA(expected, " 12345678\r\n %X.FTHandler\r\n 00000010\r\n 00000010.code\r\n",
                  handler - image.codeBase);
    EXPECT_STREQ(buildStackList(address(words.data())), expected);

    // Only the first 256 words are looked at.
    words[1] = words[3] = 0;
    words[kStackWords] = handler;
    EXPECT_STREQ(buildStackList(address(words.data())), "");
    words[kStackWords - 1] = image.codeBase;
    EXPECT_EQ(lines(buildStackList(address(words.data()))).size(), kStackWords);
}

TEST(FaultStackList, EndsAtTheFirstUnreadableWord) {
    GuardedPages pages;
    auto words = reinterpret_cast<DWORD*>(pages.end() - 8);
    words[0] = 0;
    words[1] = imageRanges().codeBase;
    EXPECT_STREQ(buildStackList(address(words)), " 00000000\r\n 00000000.code\r\n");
    EXPECT_STREQ(buildStackList(address(pages.end())), "");
}

TEST(FaultStackList, ShowsEachFrameNameWithItsOwnLabel) {
    ProtectionFrame outer, inner;
    OPEN_PROTECTION_FRAME(outer, QMEntry);
    OPEN_PROTECTION_FRAME(inner, ReplaceOrSchedule);
    std::vector<DWORD> words(kStackWords, 0);
    words[0] = address(inner.Name);
    words[2] = address(outer.Name);
    std::vector<std::string> list = lines(buildStackList(address(words.data())));
    CLOSE_PROTECTION_FRAME(inner);
    CLOSE_PROTECTION_FRAME(outer);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].substr(9), ".FT-ReplaceOrSchedule");
    EXPECT_EQ(list[1], " 00000000");
    EXPECT_EQ(list[2].substr(9), ".FT-QMEntry");
}

TEST(FaultReport, HasTheFixedLayoutWithEveryValueInItsPlace) {
    static BYTE bytes[512];
    CopyMemory(bytes, "Hello, world!\r\n", 16);
    ReportInputs inputs{};
    inputs.frameTrace = "[QM-Install].QMEntry";
    inputs.codeBase = 0x401000;
    inputs.dataBase = 0x404000;
    inputs.bssBase = 0x409000;
    const char* labels[kReportRegisters] = {
        "", ".data", ".data?", ".code", ".FTHandler", ".FT-QMEntry", "", "", ".code"};
    for (int r = 0; r < kReportRegisters; ++r) {
        inputs.registers[r] = 0;
        inputs.offsets[r] = 0x100 + r;
        inputs.labels[r] = labels[r];
    }
    inputs.registers[kEsi] = address(bytes);
    inputs.offsets[kEip] = 0x1A3;
    inputs.stackList = " 00000010.code\r\n";

    SYSTEMTIME before;
    GetLocalTime(&before);
    char* end = formatReport(inputs, faultReport);
    EXPECT_EQ(end, faultReport + std::string(faultReport).size());
    std::vector<std::string> report = lines(faultReport);
    // 53 template lines, one full dump and one stack line.
    ASSERT_EQ(report.size(), 53u + kDumpLines + 1);
    EXPECT_EQ(report[5], "to the Quellmark staff at faults@quellmark.example so we can try to "
                         "fix the");
    EXPECT_EQ(report[12], qmtest::kReportTitle);
    EXPECT_EQ(report[14], "Fault Section: [QM-Install].QMEntry");
    EXPECT_EQ(report[15], "Fault Offset:  000001A3.code");
    EXPECT_EQ(report[16], "Code Base:     00401000");
    EXPECT_EQ(report[17], "Data Base:     00404000");
    EXPECT_EQ(report[18], "Data? Base:    00409000");
    char stamp[32];
    wsprintfA(stamp, "Time/Date:     %02u:%02u:", before.wHour, before.wMinute);
    EXPECT_EQ(report[19].substr(0, 21), stamp) << report[19];
    wsprintfA(stamp, " %02u/%02u/%02u", before.wDay, before.wMonth, before.wYear % 100);
    EXPECT_EQ(report[19].substr(23), stamp) << report[19];
    EXPECT_EQ(report[21], "Registers - EAX: 00000100");
    EXPECT_EQ(report[22], "            EBX: 00000101.data");
    EXPECT_EQ(report[26], "            EDI: 00000105.FT-QMEntry");
    EXPECT_EQ(report[29], "            EIP: 000001A3.code");
    EXPECT_EQ(report[31], "Bytes at EAX: (00000100)");
    EXPECT_EQ(report[32], "");
    EXPECT_EQ(report[39], "Bytes at ESI: (00000104.FTHandler)");
    EXPECT_EQ(report[40].substr(0, 24), " 48 65 6C 6C 6F 2C 20 77");
    EXPECT_EQ(report[40 + kDumpLines], "");
    EXPECT_EQ(report[41 + kDumpLines], "Bytes at EDI: (00000105.FT-QMEntry)");
    EXPECT_EQ(report[47 + kDumpLines], "Bytes at EIP: (000001A3.code)");
    EXPECT_EQ(report[50 + kDumpLines], "Stack Trace:");
    EXPECT_EQ(report[51 + kDumpLines], "");
    EXPECT_EQ(report[52 + kDumpLines], " 00000010.code");
}

TEST(FaultHandler, LeavesFaultsOutsideTheImageAndStackOverflowsToThePlatform) {
    EXCEPTION_RECORD record{};
    CONTEXT context{};
    ProtectionFrame frame{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionAddress =
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "lstrlenA"));
    EXPECT_EQ(faultHandler(&record, &frame, &context, nullptr), ExceptionContinueSearch);
    record.ExceptionCode = STATUS_STACK_OVERFLOW;
    record.ExceptionAddress = reinterpret_cast<void*>(&dumpMemory);
    EXPECT_EQ(faultHandler(&record, &frame, &context, nullptr), ExceptionContinueSearch);
}
