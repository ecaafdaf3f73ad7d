#include "interface.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

void StandardError(DWORD, const char* title, const char* text) { std::fprintf(stderr, "%s: %s\n", title, text); }

LogHandler& Handler()
{
    static LogHandler handler = StandardError;
    return handler;
}

class ApplicationLog : public LogSys {
public:
    void LogEntry(DWORD type, BOOL dialogue, const MCHAR* title, const MCHAR* format, ...) override
    {
        (void)dialogue;
        if (!format)
            return;
        va_list args, copy;
        va_start(args, format);
        va_copy(copy, args);
        int n = std::vsnprintf(nullptr, 0, format, copy);
        va_end(copy);
        std::string text(size_t(n > 0 ? n : 0), '\0');
        std::vsnprintf(text.data(), text.size() + 1, format, args);
        va_end(args);
        Handler()(type, title ? title : "", text.c_str());
    }
};

} // namespace

void SetLogHandler(LogHandler handler) { Handler() = handler ? std::move(handler) : LogHandler(StandardError); }

LogSys* GetApplicationLog()
{
    static ApplicationLog log;
    return &log;
}
