#include "tests/support/ReportCapture.h"

namespace qm::test {

ReportCapture::ReportCapture(int level) {
    qm_log::set_report_level(0, level);
    qm_log::set_capture([this](const qm_log::Report& r) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.push_back(r);
    });
}

ReportCapture::~ReportCapture() {
    qm_log::set_capture(nullptr);
    qm_log::set_report_level(0, 0);
}

std::vector<qm_log::Report> ReportCapture::Reports() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports;
}

size_t ReportCapture::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports.size();
}

bool ReportCapture::Contains(const std::string& text) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const qm_log::Report& r : m_reports)
        if (r.Line().find(text) != std::string::npos) return true;
    return false;
}

}  // namespace qm::test
