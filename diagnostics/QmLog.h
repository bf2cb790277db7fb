// The report library. The system hands it the pieces of a report and never formats reports
// itself; this implementation writes to stderr when its level is 1 or more (default 0: off),
// and can hand every report to a capture sink instead (tests use that).
#pragma once

#include <functional>
#include <string>

#include "platform/win32/WinTypes.h"

namespace qm_log {

int get_report_level(uint32_t category);
int _reportW0(uint32_t category, int level, const char* file, int line, const WCHAR* text);
int _reportW(uint32_t category, int level, const char* file, int line, const WCHAR* format, ...);
int _report_condW0(uint32_t category, int level, const char* file, int line,
                   const WCHAR* condition, const WCHAR* prefix);
int _report_errW0(uint32_t category, int level, const char* file, int line, HRESULT hr,
                  const WCHAR* prefix);
int _report_errW(uint32_t category, int level, const char* file, int line, HRESULT hr,
                 const WCHAR* format, ...);
int _report_err_condW0(uint32_t category, int level, const char* file, int line, HRESULT hr,
                       const WCHAR* condition, const WCHAR* prefix);

// Control of this implementation (not called by the decoders).
void set_report_level(uint32_t category, int level);

// One report as the library received it; texts are converted to UTF-8.
struct Report {
    uint32_t category = 0;
    int level = 0;
    std::string file;
    int line = 0;
    bool hasHr = false;
    HRESULT hr = 0;
    std::string prefix;     // the prefix argument, or empty
    std::string condition;  // the condition argument, or empty
    std::string text;       // the plain or formatted message, or empty
    std::string Line() const;  // the combined line that stderr would get
};

// Replaces stderr as the destination while set; pass an empty function to go back to stderr.
void set_capture(std::function<void(const Report&)> sink);

// Formats with the platform's wide printf conventions (%d %u %x %s=wide %S=narrow %c %I64d
// %I64u %lld %f %lf %.Nlf %p %%); exposed for its tests.
std::string FormatWide(const WCHAR* format, ...);
std::string ToUtf8(const WCHAR* text);

}  // namespace qm_log
