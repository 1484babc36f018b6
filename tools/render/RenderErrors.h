// Exit codes of tam-render and the error that carries one to main().
#pragma once

#include <stdexcept>
#include <string>

namespace tam::render {

enum class ExitCode : int
{
    success = 0,
    internalError = 1, ///< anything unexpected (out of memory, ...)
    usage = 2,         ///< bad command line
    badInput = 3,      ///< input missing, unreadable or unusable (rate, channels)
    badResponse = 4,   ///< response missing, unreadable or not transferable to the plug-in
    pluginFailure = 5, ///< plug-in not loadable, no entry, no effect, or it did not take the response
    outputFailure = 6, ///< output cannot be written
    interrupted = 130, ///< stopped by SIGINT/SIGTERM; no output written
};

class RenderError : public std::runtime_error
{
public:
    RenderError(ExitCode exitCode, const std::string& message) : std::runtime_error(message), exit(exitCode) {}
    ExitCode code() const { return exit; }

private:
    ExitCode exit;
};

} // namespace tam::render
