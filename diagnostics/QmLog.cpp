#include "diagnostics/QmLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/win32/Utf8.h"

namespace qm_log {
namespace {

std::atomic<int> g_level{0};
// Created on first use, so loading the library runs no code.
struct Sink {
    std::mutex mutex;
    std::function<void(const Report&)> capture;
};
Sink& TheSink() {
    static Sink sink;
    return sink;
}

// printf-style formatting of a wide format string, one conversion at a time through snprintf.
std::string FormatV(const WCHAR* format, va_list args) {
    std::string out;
    if (!format) return out;
    const WCHAR* p = format;
    while (*p) {
        if (*p != u'%') {
            qm::AppendUtf8(out, qm::NextCodePoint(p));
            continue;
        }
        ++p;
        if (*p == u'%') {
            out += '%';
            ++p;
            continue;
        }
        // Flags, width and precision are copied into a narrow spec for snprintf.
        std::string spec = "%";
        while (*p && std::string("-+ #0").find(char(*p)) != std::string::npos) spec += char(*p++);
        while (*p >= u'0' && *p <= u'9') spec += char(*p++);
        if (*p == u'.') {
            spec += char(*p++);
            while (*p >= u'0' && *p <= u'9') spec += char(*p++);
        }
        enum { kInt, kLong, kLongLong } size = kInt;
        if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
            size = kLongLong;
            p += 3;
        } else if (p[0] == u'l' && p[1] == u'l') {
            size = kLongLong;
            p += 2;
        } else if (*p == u'l' || *p == u'h' || *p == u'z') {
            if (*p == u'l') size = kLong;
            if (*p == u'z') size = kLongLong;
            ++p;
        }
        char buffer[512];
        const WCHAR conv = *p ? *p++ : u'\0';
        switch (conv) {
            case u'd':
            case u'i':
            case u'u':
            case u'x':
            case u'X':
            case u'o': {
                spec += "ll";
                spec += char(conv);
                long long v;
                bool isSigned = conv == u'd' || conv == u'i';
                if (size == kLongLong)
                    v = isSigned ? va_arg(args, long long)
                                 : (long long)va_arg(args, unsigned long long);
                else if (size == kLong)
                    v = isSigned ? va_arg(args, long) : (long long)va_arg(args, unsigned long);
                else
                    v = isSigned ? va_arg(args, int) : (long long)va_arg(args, unsigned int);
                std::snprintf(buffer, sizeof(buffer), spec.c_str(), v);
                out += buffer;
                break;
            }
            case u'f':
            case u'F':
            case u'e':
            case u'E':
            case u'g':
            case u'G': {
                spec += char(conv);
                std::snprintf(buffer, sizeof(buffer), spec.c_str(), va_arg(args, double));
                out += buffer;
                break;
            }
            case u'c':
                qm::AppendUtf8(out, char32_t(va_arg(args, int)));
                break;
            case u's': {  // wide string on this platform's conventions
                const WCHAR* s = va_arg(args, const WCHAR*);
                out += s ? ToUtf8(s) : "(null)";
                break;
            }
            case u'S': {  // narrow string
                const char* s = va_arg(args, const char*);
                out += s ? s : "(null)";
                break;
            }
            case u'p': {
                std::snprintf(buffer, sizeof(buffer), "%p", va_arg(args, void*));
                out += buffer;
                break;
            }
            default:  // unknown conversion: keep it visible rather than guess an argument
                out += spec;
                if (conv) qm::AppendUtf8(out, conv);
                break;
        }
    }
    return out;
}

void Deliver(Report&& report) {
    Sink& sink = TheSink();
    std::lock_guard<std::mutex> lock(sink.mutex);
    if (sink.capture) {
        sink.capture(report);
        return;
    }
    std::string line = report.Line();
    std::fprintf(stderr, "%s\n", line.c_str());
}

Report Make(uint32_t category, int level, const char* file, int line) {
    Report r;
    r.category = category;
    r.level = level;
    r.file = file ? file : "";
    r.line = line;
    return r;
}

}  // namespace

std::string ToUtf8(const WCHAR* text) {
    return qm::WideToUtf8(text);
}

std::string FormatWide(const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    std::string s = FormatV(format, args);
    va_end(args);
    return s;
}

std::string Report::Line() const {
    char head[64];
    std::string out = file + "(" + std::to_string(line) + "): ";
    out += prefix;
    if (!condition.empty()) out += condition;
    if (!text.empty()) {
        if (!prefix.empty() || !condition.empty()) out += ' ';
        out += text;
    }
    if (hasHr) {
        std::snprintf(head, sizeof(head), " hr=0x%08X", unsigned(hr));
        out += head;
    }
    return out;
}

int get_report_level(uint32_t /*category*/) {
    return g_level.load(std::memory_order_relaxed);
}

void set_report_level(uint32_t /*category*/, int level) {
    g_level.store(level, std::memory_order_relaxed);
}

void set_capture(std::function<void(const Report&)> sink) {
    Sink& state = TheSink();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.capture = std::move(sink);
}

int _reportW0(uint32_t category, int level, const char* file, int line, const WCHAR* text) {
    Report r = Make(category, level, file, line);
    r.text = ToUtf8(text);
    Deliver(std::move(r));
    return 0;
}

int _reportW(uint32_t category, int level, const char* file, int line, const WCHAR* format, ...) {
    Report r = Make(category, level, file, line);
    va_list args;
    va_start(args, format);
    r.text = FormatV(format, args);
    va_end(args);
    Deliver(std::move(r));
    return 0;
}

int _report_condW0(uint32_t category, int level, const char* file, int line, const WCHAR* condition,
                   const WCHAR* prefix) {
    Report r = Make(category, level, file, line);
    r.condition = ToUtf8(condition);
    r.prefix = ToUtf8(prefix);
    Deliver(std::move(r));
    return 0;
}

int _report_errW0(uint32_t category, int level, const char* file, int line, HRESULT hr,
                  const WCHAR* prefix) {
    Report r = Make(category, level, file, line);
    r.hasHr = true;
    r.hr = hr;
    r.prefix = ToUtf8(prefix);
    Deliver(std::move(r));
    return 0;
}

int _report_errW(uint32_t category, int level, const char* file, int line, HRESULT hr,
                 const WCHAR* format, ...) {
    Report r = Make(category, level, file, line);
    r.hasHr = true;
    r.hr = hr;
    va_list args;
    va_start(args, format);
    r.text = FormatV(format, args);
    va_end(args);
    Deliver(std::move(r));
    return 0;
}

int _report_err_condW0(uint32_t category, int level, const char* file, int line, HRESULT hr,
                       const WCHAR* condition, const WCHAR* prefix) {
    Report r = Make(category, level, file, line);
    r.hasHr = true;
    r.hr = hr;
    r.condition = ToUtf8(condition);
    r.prefix = ToUtf8(prefix);
    Deliver(std::move(r));
    return 0;
}

}  // namespace qm_log
