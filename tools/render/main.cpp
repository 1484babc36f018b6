// tam-render: renders a WAV file through the TAM plug-in module, loaded and
// driven exactly as a host does. See usageText() for the command line.
#include "render/RenderErrors.h"
#include "render/RenderJob.h"
#include "render/RenderOptions.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void requestStop(int)
{
    stopRequested.store(true, std::memory_order_relaxed);
}

int fail(tam::render::ExitCode code, const std::string& message)
{
    std::fprintf(stderr, "tam-render: %s\n", message.c_str());
    return static_cast<int>(code);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace tam::render;
    try
    {
        const RenderOptions options = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help)
        {
            std::fputs(usageText().c_str(), stdout);
            return 0;
        }
        const std::string pluginPath = resolvePluginPath(options.pluginPath, argc > 0 ? argv[0] : "");
        if (options.info)
        {
            printInfo(options, pluginPath, stdout);
            return 0;
        }
        // Stop between blocks and remove the partial output instead of dying mid-write.
        std::signal(SIGINT, requestStop);
        std::signal(SIGTERM, requestStop);
#if defined(SIGHUP)
        std::signal(SIGHUP, requestStop);
#endif
#if defined(SIGPIPE)
        // A reader of our messages going away must not kill the render
        // mid-write: the failed write is harmless, the temporary file is not.
        std::signal(SIGPIPE, SIG_IGN);
#endif
        const RenderSummary summary = runRender(options, pluginPath, stopRequested, stderr);
        if (!options.quiet)
            std::printf("%s\n", summaryLine(summary).c_str());
        return 0;
    }
    catch (const RenderError& e)
    {
        return fail(e.code(), e.what());
    }
    catch (const std::bad_alloc&)
    {
        return fail(ExitCode::internalError, "out of memory");
    }
    catch (const std::exception& e)
    {
        return fail(ExitCode::internalError, std::string("internal error: ") + e.what());
    }
}
