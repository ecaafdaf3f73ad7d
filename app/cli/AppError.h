// The one error type of the command-line host, and the one place it is told: what went
// wrong, in which file and where in it, and the exit status the run ends with.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace vek {

// The statuses of a run; the README's table tells what each means for the files.
enum ExitStatus {
    EXIT_EXPORTED = 0,
    EXIT_MARKERS = 1,
    EXIT_NOTHING = 2,
    EXIT_CANCELLED = 3,
    EXIT_EXTRAS = 4, // exported, but something after the commit failed: options, preview, report
    EXIT_NO_PREVIEW = EXIT_EXTRAS,
};

// What begins every line vekexport says of itself: its errors and warnings on standard
// error, the lines that sum up a run.
inline constexpr std::string_view ProgramPrefix = "vekexport: ";

// Thrown where a run cannot go on (and caught where it ends), or returned where the
// caller goes on. A warning is one the run goes on after: its status is EXIT_EXPORTED.
// what() is the text told: "FILE:LINE: reason" for a place that is a line number,
// "FILE: PLACE: reason" for another place, "FILE: reason", or the reason alone. What
// the scene loaders, the module host and the file transaction throw or report already
// names its file and place: it becomes the reason alone.
class AppError : public std::runtime_error {
public:
    explicit AppError(const std::string& reason, std::string inFile = "", std::string atPlace = "",
                      int exitStatus = EXIT_NOTHING)
        : std::runtime_error(Text(reason, inFile, atPlace)), file(std::move(inFile)), place(std::move(atPlace)),
          status(exitStatus)
    {
    }

    const std::string& File() const { return file; }
    const std::string& Place() const { return place; }
    int Status() const { return status; }

private:
    std::string file, place;
    int status;

    static std::string Text(const std::string& reason, const std::string& inFile, const std::string& atPlace)
    {
        if (inFile.empty())
            return reason;
        if (atPlace.empty())
            return inFile + ": " + reason;
        // A line number follows the file as compilers write it.
        const bool line =
            std::all_of(atPlace.begin(), atPlace.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
        return inFile + (line ? ":" : ": ") + atPlace + ": " + reason;
    }
};

// A warning about `file` ("" for none): told, and the run goes on.
inline AppError Warning(const std::string& reason, const std::string& file = "")
{
    return AppError(reason, file, "", EXIT_EXPORTED);
}

// Tells the error on standard error: "vekexport: " and its text, on a line of its own.
inline void Tell(const AppError& error)
{
    std::fprintf(stderr, "%s%s\n", std::string(ProgramPrefix).c_str(), error.what());
}

// Tells the error, and returns its status: for a run that ends with it.
inline int Told(const AppError& error)
{
    Tell(error);
    return error.Status();
}

} // namespace vek
