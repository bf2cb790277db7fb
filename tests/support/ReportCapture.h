// Captures the reports made while it lives, with the report level it was given (0 = off).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "diagnostics/QmLog.h"

namespace qm::test {

class ReportCapture {
public:
    explicit ReportCapture(int level = 1);
    ~ReportCapture();
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    std::vector<qm_log::Report> Reports() const;
    size_t Count() const;
    // True when some report's combined line contains the text.
    bool Contains(const std::string& text) const;

private:
    mutable std::mutex m_mutex;
    std::vector<qm_log::Report> m_reports;
};

}  // namespace qm::test
