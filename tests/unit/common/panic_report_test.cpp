#include "common/panic_report.hpp"

#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace lk {
namespace {

TEST(PanicReportDeathTest, AnExceptionEscapingAnyThreadIsReportedOnStderr) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            install_panic_report();
            std::thread([] { throw std::runtime_error("worker exploded"); }).join();
        },
        R"(\[lumenkite-runner\] panic: uncaught exception: worker exploded)");
}

TEST(PanicReport, CaughtFailuresUseTheSameLine) {
    testing::internal::CaptureStderr();
    report_panic("reply thread", "bad things");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[lumenkite-runner] panic: reply thread: bad things\n");
}

}  // namespace
}  // namespace lk
