// The one way every filter-side failure is tested and reported. Each form evaluates its test,
// reports through qm_log only when get_report_level(0) >= 1 (so nothing is formatted when off),
// and then returns from the enclosing function or carries on. The reports carry the file, the
// line and, for conditions, the source text of the condition.
#pragma once

#include "diagnostics/QmLog.h"
#include "diagnostics/StatusConversion.h"
#include "platform/win32/LastError.h"
#include "platform/win32/WinError.h"

#define QM_STRINGIFY_(x) #x
#define QM_REPORTING() (::qm_log::get_report_level(0) >= 1)

// Condition check: when cond is false, report it and return hrOnFailure.
#define QMCheckCondition(cond, hrOnFailure)                                                       \
    do {                                                                                          \
        if (!(cond)) {                                                                            \
            if (QM_REPORTING())                                                                   \
                ::qm_log::_report_condW0(0, 1, __FILE__, __LINE__, QM_WIDEN(QM_STRINGIFY_(cond)), \
                                         TEXT("QMCheckCondition: "));                             \
            return (hrOnFailure);                                                                 \
        }                                                                                         \
    } while (0)

// HRESULT check: a failed hr is reported and returned.
#define QMCheckHRESULT(expr)                                             \
    do {                                                                 \
        const HRESULT qmHr_ = (expr);                                    \
        if (FAILED(qmHr_)) {                                             \
            if (QM_REPORTING())                                          \
                ::qm_log::_report_errW0(0, 1, __FILE__, __LINE__, qmHr_, \
                                        TEXT("QMCheckHRESULT: "));       \
            return qmHr_;                                                \
        }                                                                \
    } while (0)

// HRESULT log: a failed hr is reported; the flow carries on. Evaluates to hr.
#define QMLogHRESULT(expr) ::qm::detail::LogHResult((expr), __FILE__, __LINE__)

// Codec status check: a status whose HRESULT is a failure is reported and returned.
#define QMCheckHRESULTUMC(status)                                                             \
    do {                                                                                      \
        const int32_t qmStatus_ = (status);                                                   \
        const HRESULT qmHr_ = ::qm::HResultFromCodecStatus(qmStatus_);                        \
        if (qmStatus_ != 0 && FAILED(qmHr_)) {                                                \
            if (QM_REPORTING())                                                               \
                ::qm_log::_report_errW(0, 1, __FILE__, __LINE__, qmHr_,                       \
                                       TEXT("QMCheckHRESULTUMC (code=%d):"), int(qmStatus_)); \
            return qmHr_;                                                                     \
        }                                                                                     \
    } while (0)

// Kernel status check: as the codec form, with the kernel conversion.
#define QMCheckHRESULTKERNELSTATUS(status)                                            \
    do {                                                                              \
        const int32_t qmStatus_ = (status);                                           \
        const HRESULT qmHr_ = ::qm::HResultFromKernelStatus(qmStatus_);               \
        if (qmStatus_ != 0 && FAILED(qmHr_)) {                                        \
            if (QM_REPORTING())                                                       \
                ::qm_log::_report_errW(0, 1, __FILE__, __LINE__, qmHr_,               \
                                       TEXT("QMCheckHRESULTKERNELSTATUS (code=%d):"), \
                                       int(qmStatus_));                               \
            return qmHr_;                                                             \
        }                                                                             \
    } while (0)

// Kernel status log: reported with the HRESULT-log prefix; the flow carries on. Evaluates to
// the converted HRESULT (S_OK for status 0).
#define QMLogHRESULTKERNELSTATUS(status) ::qm::detail::LogKernelStatus((status), __FILE__, __LINE__)

// Last-error condition: when cond is false, report it with the thread's last system error and
// return that error as an HRESULT (E_FAIL when the error does not make a failure code).
#define CheckLastErrorCondition(cond)                                                \
    do {                                                                             \
        if (!(cond)) {                                                               \
            HRESULT qmHr_ = ::qm::HResultFromSystemError(int32_t(::GetLastError())); \
            if (QM_REPORTING())                                                      \
                ::qm_log::_report_err_condW0(0, 1, __FILE__, __LINE__, qmHr_,        \
                                             QM_WIDEN(QM_STRINGIFY_(cond)),          \
                                             TEXT("CheckLastErrorCondition: "));     \
            return FAILED(qmHr_) ? qmHr_ : E_FAIL;                                   \
        }                                                                            \
    } while (0)

// A formatted report (category 0, level 1) when reporting is on; the flow carries on.
#define QMReport(format, ...)                                                                \
    do {                                                                                     \
        if (QM_REPORTING())                                                                  \
            ::qm_log::_reportW(0, 1, __FILE__, __LINE__, format __VA_OPT__(, ) __VA_ARGS__); \
    } while (0)

namespace qm::detail {

inline HRESULT LogHResult(HRESULT hr, const char* file, int line) {
    if (FAILED(hr) && QM_REPORTING())
        ::qm_log::_report_errW0(0, 1, file, line, hr, TEXT("QMLogHRESULT: "));
    return hr;
}

inline HRESULT LogKernelStatus(int32_t status, const char* file, int line) {
    const HRESULT hr = status == 0 ? S_OK : HResultFromKernelStatus(status);
    if (status != 0 && FAILED(hr) && QM_REPORTING())
        ::qm_log::_report_errW0(0, 1, file, line, hr, TEXT("QMLogHRESULT: "));
    return hr;
}

}  // namespace qm::detail
