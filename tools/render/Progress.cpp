#include "render/Progress.h"

#include <algorithm>
#include <string>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tam::render {

Progress::Progress(std::int64_t totalFrames, double sampleRate, bool show)
    : total(std::max<std::int64_t>(totalFrames, 1)), rate(sampleRate), enabled(show),
      start(std::chrono::steady_clock::now()), lastDraw(start)
{
}

Progress::~Progress()
{
    clear();
}

bool Progress::stderrIsTerminal()
{
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void Progress::update(std::int64_t framesDone)
{
    if (!enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start < showAfter || (drawn && now - lastDraw < redrawEvery))
        return;
    lastDraw = now;
    draw(framesDone);
}

void Progress::draw(std::int64_t framesDone)
{
    const double fraction = std::clamp(static_cast<double>(framesDone) / static_cast<double>(total), 0.0, 1.0);
    const int filled = static_cast<int>(fraction * barWidth);
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(barWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %3d%%  %.1f of %.1f s", bar.c_str(), static_cast<int>(fraction * 100.0),
                 static_cast<double>(framesDone) / rate, static_cast<double>(total) / rate);
    std::fflush(stderr);
    drawn = true;
}

void Progress::clear()
{
    if (!drawn)
        return;
    std::fprintf(stderr, "\r%*s\r", barWidth + 40, "");
    std::fflush(stderr);
    drawn = false;
}

} // namespace tam::render
