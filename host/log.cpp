#include "log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

LogHandler& Handler()
{
    static LogHandler handler;
    return handler;
}

class ApplicationLog : public LogSys {
public:
    void LogEntry(DWORD type, BOOL dialogue, const MCHAR* title, const MCHAR* format, ...) override
    {
        (void)dialogue;
        if (!Handler() || !format)
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

void SetLogHandler(LogHandler handler) { Handler() = std::move(handler); }

LogSys* GetApplicationLog()
{
    static ApplicationLog log;
    return &log;
}
