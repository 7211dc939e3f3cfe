// Test entry inside the virtual machine: besides GoogleTest's own output,
// one line per test that the host picks out of the serial console.

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>

namespace {
class ResultLines final : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& info) override
    {
        const char* result = info.result()->Skipped() ? "SKIP" : info.result()->Passed() ? "PASS" : "FAIL";
        std::printf("vm-test %s %s.%s (%lld ms)\n", result, info.test_suite_name(), info.name(),
                    static_cast<long long>(info.result()->elapsed_time()));
        std::fflush(stdout);
    }
};
} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform's fonts, for a Windows build under Wine: Qt's
    // own folder of them is empty there.
    if (qEnvironmentVariableIsSet("VANTREL_FONT_DIR"))
        qputenv("QT_QPA_FONTDIR", qgetenv("VANTREL_FONT_DIR"));
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new ResultLines);
    return RUN_ALL_TESTS();
}
