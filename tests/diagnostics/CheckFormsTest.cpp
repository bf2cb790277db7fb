#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "diagnostics/CheckForms.h"
#include "tests/support/ReportCapture.h"

namespace {

using qm::test::ReportCapture;

int g_evaluations = 0;
int Counted(int v) {
    ++g_evaluations;
    return v;
}

HRESULT CheckPointer(const void* p) {
    QMCheckCondition(p != 0, E_POINTER);
    return S_OK;
}
HRESULT CheckHr(HRESULT hr) {
    QMCheckHRESULT(hr);
    return S_FALSE;
}
HRESULT LogHr(HRESULT hr) {
    QMLogHRESULT(hr);
    return S_FALSE;
}
HRESULT CheckUmc(int status) {
    QMCheckHRESULTUMC(Counted(status));
    return S_FALSE;
}
HRESULT CheckKernel(int status) {
    QMCheckHRESULTKERNELSTATUS(status);
    return S_FALSE;
}
HRESULT LogKernel(int status) {
    QMLogHRESULTKERNELSTATUS(status);
    return S_FALSE;
}
HRESULT CheckLastError(bool ok, DWORD error) {
    SetLastError(error);
    CheckLastErrorCondition(ok);
    return S_OK;
}

TEST(StatusConversion, CodecKernelAndSystemRules) {
    EXPECT_EQ(uint32_t(qm::HResultFromCodecStatus(-996)), 0x80040000u | (996 + 0x1FF));
    EXPECT_EQ(uint32_t(qm::HResultFromCodecStatus(-999)), 0x800405E6u);
    EXPECT_EQ(uint32_t(qm::HResultFromKernelStatus(-8)), 0x80040307u);
    EXPECT_EQ(uint32_t(qm::HResultFromKernelStatus(-14)), 0x8004030Du);
    // Positive statuses stay non-negative.
    EXPECT_GE(qm::HResultFromCodecStatus(36), 0);
    EXPECT_EQ(uint32_t(qm::HResultFromKernelStatus(36)), 0x40000u | (36 + 0x2FF));
    EXPECT_EQ(uint32_t(qm::HResultFromSystemError(5)), 0x80070005u);
    EXPECT_EQ(uint32_t(qm::HResultFromSystemError(0x12345)), 0x80072345u);
    EXPECT_EQ(qm::HResultFromSystemError(0), 0);
    EXPECT_EQ(qm::HResultFromSystemError(-7), -7);
}

TEST(CheckForms, ReportsCarryFileLineConditionAndPrefix) {
    ReportCapture capture;
    EXPECT_EQ(CheckPointer(nullptr), E_POINTER);
    ASSERT_EQ(capture.Count(), 1u);
    const qm_log::Report r = capture.Reports()[0];
    EXPECT_EQ(std::tuple(r.category, r.level, r.prefix, r.condition),
              std::tuple(0u, 1, "QMCheckCondition: ", "p != 0"));
    EXPECT_NE(r.file.find("CheckFormsTest.cpp"), std::string::npos);
    EXPECT_GT(r.line, 0);
    EXPECT_EQ(CheckPointer(&r), S_OK);
    EXPECT_EQ(capture.Count(), 1u);
}

TEST(CheckForms, EachFormReturnsOrCarriesOn) {
    ReportCapture capture;
    EXPECT_EQ(CheckHr(VFW_E_NOT_CONNECTED), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(CheckHr(S_FALSE), S_FALSE);
    EXPECT_EQ(LogHr(E_FAIL), S_FALSE);
    EXPECT_EQ(CheckUmc(-899), qm::HResultFromCodecStatus(-899));
    EXPECT_EQ(CheckKernel(-6), qm::HResultFromKernelStatus(-6));
    EXPECT_EQ(LogKernel(-6), S_FALSE);
    // The prefix, or for the codec and kernel forms the text, and the HRESULT of each report.
    std::vector<std::tuple<std::string, HRESULT>> got;
    for (const auto& r : capture.Reports()) got.emplace_back(r.prefix + r.text, r.hr);
    const std::vector<std::tuple<std::string, HRESULT>> expected = {
        {"QMCheckHRESULT: ", VFW_E_NOT_CONNECTED},
        {"QMLogHRESULT: ", E_FAIL},
        {"QMCheckHRESULTUMC (code=-899):", qm::HResultFromCodecStatus(-899)},
        {"QMCheckHRESULTKERNELSTATUS (code=-6):", qm::HResultFromKernelStatus(-6)},
        {"QMLogHRESULT: ", qm::HResultFromKernelStatus(-6)}};
    EXPECT_EQ(got, expected);
}

TEST(CheckForms, WarningsPassWithoutReport) {
    ReportCapture capture;
    g_evaluations = 0;
    EXPECT_EQ(CheckUmc(5), S_FALSE);
    EXPECT_EQ(g_evaluations, 1);  // the status expression is evaluated once
    EXPECT_EQ(CheckKernel(36), S_FALSE);
    EXPECT_EQ(CheckUmc(0), S_FALSE);
    EXPECT_EQ(capture.Count(), 0u);
}

TEST(CheckForms, LastErrorCondition) {
    ReportCapture capture;
    EXPECT_EQ(CheckLastError(false, 5), HRESULT(0x80070005));
    EXPECT_EQ(CheckLastError(false, 0), E_FAIL);  // no system error: E_FAIL
    EXPECT_EQ(CheckLastError(true, 5), S_OK);
    const auto reports = capture.Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(std::tuple(reports[0].prefix, reports[0].condition, reports[1].hr),
              std::tuple("CheckLastErrorCondition: ", "ok", 0));
}

TEST(CheckForms, LevelZeroMakesNoCallAndSameResults) {
    ReportCapture capture(0);
    EXPECT_EQ(CheckPointer(nullptr), E_POINTER);
    EXPECT_EQ(CheckUmc(-996), qm::HResultFromCodecStatus(-996));
    EXPECT_EQ(CheckKernel(-8), qm::HResultFromKernelStatus(-8));
    EXPECT_EQ(CheckLastError(false, 2), HRESULT(0x80070002));
    EXPECT_EQ(LogHr(E_FAIL), S_FALSE);
    EXPECT_EQ(capture.Count(), 0u);
}

TEST(QmLog, WideFormatting) {
    EXPECT_EQ(qm_log::FormatWide(TEXT("Failed to close the decoder %d"), -999),
              "Failed to close the decoder -999");
    EXPECT_EQ(qm_log::FormatWide(TEXT("Dump %s IsCommited %d size %I64d u %I64u"), TEXT("Video"), 1,
                                 (long long)1 << 40, ~0ull),
              "Dump Video IsCommited 1 size 1099511627776 u 18446744073709551615");
    EXPECT_EQ(qm_log::FormatWide(TEXT("%.1lf%% %x %c"), 12.345, 255u, int(u'\u00e9')),
              "12.3% ff \xC3\xA9");
    EXPECT_EQ(qm_log::FormatWide(TEXT("%s"), static_cast<const WCHAR*>(nullptr)), "(null)");
}

TEST(QmLog, ConcurrentReportsAllArrive) {
    ReportCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i) qm_log::_reportW(0, 1, "f", i, TEXT("n %d"), i);
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(capture.Count(), 2000u);
}

}  // namespace
