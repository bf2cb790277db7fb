// Tables of calls with the status each must return and, where given, the condition text its
// report must carry word for word. Rows run in order, so a table is also an operation sequence;
// a failure names the row's line.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <source_location>

#include "platform/dshow/DShow.h"
#include "tests/support/ReportCapture.h"

namespace qm::test {

struct Step {
    std::function<HRESULT()> call;
    HRESULT expected;
    const char* condition = nullptr;
    std::source_location where = std::source_location::current();
};

inline void ExpectSteps(std::initializer_list<Step> steps) {
    for (const Step& s : steps) {
        testing::ScopedTrace trace(s.where.file_name(), int(s.where.line()), "step");
        ReportCapture capture;
        EXPECT_EQ(s.call(), s.expected);
        if (s.condition) {
            EXPECT_TRUE(capture.Contains(s.condition)) << s.condition;
        }
    }
}

}  // namespace qm::test
