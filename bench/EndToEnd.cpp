// tam_bench_e2e: the plug-in as a host runs it. Loads tam.so through its
// entry, hands it generated responses of 1, 27 and 117 partitions through
// the file-name parameters, and measures CPU seconds per second of stereo
// 44.1 kHz audio and the time of every host block, for host blocks of 64 and
// 512 frames. When zita-convolver is installed, the same response and input
// go through it in the same run (uniform 8192-frame partitions, and its
// low-latency layout), the outputs are checked against each other and the
// CPU ratio is printed.
//
// CPU per audio second is the process's CPU time (CLOCK_PROCESS_CPUTIME_ID,
// so zita's worker threads count) over one measured stretch, read once at
// each end; the block figures (wall clock and the calling thread's CPU time
// per host call) come from a second stretch of the same length that follows.
#include "BenchSupport.h"
#include "engine/TransformLayout.h"
#include "wav/WaveFileWriter.h"
#include "host/HostedEffect.h"
#include "fft/Fft.h"
#include "fft/InstructionSet.h"
#include "core/FileNameCodec.h"
#include "impulse/TWAVfile.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <time.h>

#if defined(TAM_HAVE_FFTW)
#include <fftw3.h>
#endif

#if defined(TAM_HAVE_ZITA_CONVOLVER)
#include <sched.h>
#include <zita-convolver.h>
#endif

namespace {

using tam::bench::BenchNoise;

constexpr int rate = 44100;
constexpr int partitionFrames = tam::partitionLength;
constexpr int zitaMaxPartition = 8192; // Convproc::MAXPART of zita-convolver 4
constexpr int zitaMinPartition = 64;   // Convproc::MINPART
constexpr float wetFactor = 0.1f;      // the plug-in's wet gain with Autogain off
constexpr int parameterCount = 173;
constexpr double agreementTolerance = 1e-4; // of the output's peak
constexpr std::uint64_t inputSeed = 0xE2E1;

struct Settings
{
    double seconds = 20.0;
    std::vector<int> partitions = {1, 27, 117};
    std::vector<int> blocks = {64, 512};
    std::string plugin = TAM_PLUGIN_PATH;
    bool zita = true;
    int rounds = 0; ///< > 0: the summary table, medians of this many alternating rounds
    std::string reference; ///< another build of the plug-in whose output the summary compares with
};

/// One engine's run over the whole input.
struct Result
{
    std::string engine;
    double cpuPerSecond = 0.0;   ///< process CPU seconds per second of audio (measured part)
    double threadShare = 1.0;    ///< share of that CPU time spent on the calling thread
    double meanBlockUs = 0.0;  ///< wall clock per host call
    double worstBlockUs = 0.0; ///< wall clock: includes the machine's preemptions
    double p999BlockUs = 0.0;
    double meanBlockCpuUs = 0.0;  ///< calling thread's CPU time per host call
    double worstBlockCpuUs = 0.0; ///< the same, worst call: the work of the heaviest block
    std::vector<float> left, right; ///< the whole output
    int latency = 0;                ///< frames of output delay relative to the input
    double maxDifference = -1.0;    ///< against the plug-in, relative to its peak (zita rows)
};

double processCpu()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double threadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Signal
{
    std::vector<float> left, right;
    std::size_t frames() const { return left.size(); }
};

/// Runs `block(offset, frames)` over the input in host blocks: the warm-up,
/// then two measured parts of `measuredFrames` each. The first is timed as a
/// whole (one clock read at each end: CPU per audio second); the second
/// reads the clocks around every block (mean and worst block). A thread CPU
/// clock read is a system call of about 1.4 µs here, which per block would
/// weigh as much as a small block's work on both sides of the ratio.
void timeBlocks(Result& result, std::size_t warmFrames, std::size_t measuredFrames, int blockSize,
                const std::function<void(std::size_t, std::size_t)>& block)
{
    const auto step = static_cast<std::size_t>(blockSize);
    const std::size_t wholeEnd = warmFrames + measuredFrames, totalFrames = wholeEnd + measuredFrames;
    const auto run = [&](std::size_t from, std::size_t to) {
        for (std::size_t at = from; at < to; at += step)
            block(at, std::min(step, to - at));
    };
    run(0, warmFrames);
    const double cpuStart = processCpu(), threadStart = threadCpu();
    run(warmFrames, wholeEnd);
    const double thread = threadCpu() - threadStart, cpu = processCpu() - cpuStart;
    result.cpuPerSecond = cpu / (static_cast<double>(measuredFrames) / rate);
    result.threadShare = cpu > 0.0 ? thread / cpu : 1.0;

    std::vector<double> times;
    double cpuSum = 0.0, cpuWorst = 0.0;
    for (std::size_t at = wholeEnd; at < totalFrames; at += step)
    {
        const double blockCpuStart = threadCpu();
        const auto begin = std::chrono::steady_clock::now();
        block(at, std::min(step, totalFrames - at));
        const auto end = std::chrono::steady_clock::now();
        const double blockCpu = 1e6 * (threadCpu() - blockCpuStart);
        times.push_back(std::chrono::duration<double, std::micro>(end - begin).count());
        cpuSum += blockCpu;
        cpuWorst = std::max(cpuWorst, blockCpu);
    }
    double sum = 0.0;
    for (const double t : times)
        sum += t;
    result.meanBlockUs = sum / static_cast<double>(times.size());
    result.meanBlockCpuUs = cpuSum / static_cast<double>(times.size());
    result.worstBlockCpuUs = cpuWorst;
    std::sort(times.begin(), times.end());
    result.worstBlockUs = times.back();
    result.p999BlockUs = times[static_cast<std::size_t>(0.999 * static_cast<double>(times.size() - 1))];
}

/// Every parameter in index order, as a host restoring a project: a plain
/// convolution (Dry 0, Wet 1, Autogain off, neutral shaping, flat EQ) with
/// the response passed by name.
void restorePlainConvolution(tam::host::HostedEffect& fx, const std::string& responsePath)
{
    std::array<float, parameterCount> state{};
    for (int i = 0; i < parameterCount; ++i)
        state[static_cast<std::size_t>(i)] = fx.getParameter(i);
    const std::pair<int, float> plain[] = {{0, 0.0f},  {1, 1.0f},  {2, 0.0f},  {4, 1.0f},  {5, 0.0f},
                                           {6, 0.0f},  {7, 1.0f},  {8, 0.0f},  {9, 0.5f},  {10, 0.0f},
                                           {12, 1.0f}, {13, 1.0f}, {41, 0.0f}, {42, 0.0f}, {43, 0.0f}};
    for (const auto& [index, value] : plain)
        state[static_cast<std::size_t>(index)] = value;
    for (int i = 16; i <= 31; ++i)
        state[static_cast<std::size_t>(i)] = 0.0f;
    const auto name = tam::fileNameToValues(responsePath);
    state[45] = tam::fileNameChecksum(responsePath);
    for (int i = 0; i < tam::fileNameValueCount; ++i)
        state[static_cast<std::size_t>(46 + i)] = name[static_cast<std::size_t>(i)];
    for (int i = 0; i < parameterCount; ++i)
        fx.setParameter(i, state[static_cast<std::size_t>(i)]);
}

Result runPlugin(const tam::host::PluginLibrary& library, const std::string& responsePath, const Signal& input,
                 std::size_t warmFrames, int blockSize)
{
    Result result;
    result.engine = "TAM";
    tam::host::HostedEffect fx(library, static_cast<float>(rate), blockSize);
    restorePlainConvolution(fx, responsePath);
    fx.resume();
    result.latency = fx.latency();
    const std::size_t total = input.frames();
    result.left.assign(total, 0.0f);
    result.right.assign(total, 0.0f);
    timeBlocks(result, warmFrames, (total - warmFrames) / 2, blockSize, [&](std::size_t at, std::size_t frames) {
        float* in[2] = {const_cast<float*>(input.left.data() + at), const_cast<float*>(input.right.data() + at)};
        float* out[2] = {result.left.data() + at, result.right.data() + at};
        fx.process(in, out, static_cast<int>(frames));
    });
    return result;
}

#if defined(TAM_HAVE_ZITA_CONVOLVER)

/// zita-convolver with quantum `quantum`, partitions from `minPart` to
/// 8192, the response scaled by the plug-in's wet factor. Host blocks are
/// collected into quanta; process(true) waits for late worker levels, so the
/// output is exact whatever the machine's load.
Result runZita(const std::string& label, const std::vector<float>& responseInterleaved, const Signal& input,
               std::size_t warmFrames, int blockSize, int quantum, int minPart)
{
    Result result;
    result.engine = label;
    const std::size_t responseFrames = responseInterleaved.size() / 2;
    std::vector<float> h[2] = {std::vector<float>(responseFrames), std::vector<float>(responseFrames)};
    for (std::size_t i = 0; i < responseFrames; ++i)
    {
        h[0][i] = wetFactor * responseInterleaved[2 * i];
        h[1][i] = wetFactor * responseInterleaved[2 * i + 1];
    }
    Convproc conv;
    conv.set_options(Convproc::OPT_FFTW_MEASURE);
    // Density 0.5: two of the four input-output pairs carry a response.
    if (conv.configure(2, 2, static_cast<uint32_t>(responseFrames), static_cast<uint32_t>(quantum),
                       static_cast<uint32_t>(minPart), zitaMaxPartition, 0.5f) != 0)
        throw std::runtime_error("zita-convolver refused its configuration");
    for (unsigned c = 0; c < 2; ++c)
        conv.impdata_create(c, c, 1, h[c].data(), 0, static_cast<int32_t>(responseFrames));
    if (conv.start_process(0, SCHED_OTHER) != 0)
        throw std::runtime_error("zita-convolver did not start");

    const std::size_t total = input.frames();
    result.left.assign(total, 0.0f);
    result.right.assign(total, 0.0f);
    std::size_t filled = 0;     // frames of the current quantum collected
    std::size_t quantumAt = 0;  // stream position of the current quantum
    timeBlocks(result, warmFrames, (total - warmFrames) / 2, blockSize, [&](std::size_t at, std::size_t frames) {
        std::memcpy(conv.inpdata(0) + filled, input.left.data() + at, frames * sizeof(float));
        std::memcpy(conv.inpdata(1) + filled, input.right.data() + at, frames * sizeof(float));
        filled += frames;
        if (filled == static_cast<std::size_t>(quantum))
        {
            conv.process(true);
            std::memcpy(result.left.data() + quantumAt, conv.outdata(0), filled * sizeof(float));
            std::memcpy(result.right.data() + quantumAt, conv.outdata(1), filled * sizeof(float));
            quantumAt += filled;
            filled = 0;
        }
    });
    conv.stop_process();
    while (!conv.check_stop())
        sched_yield();
    conv.cleanup();
    return result;
}

/// Largest difference of `other` against the plug-in's output, both aligned
/// to the input, relative to the plug-in's peak; over the measured part.
double compare(const Result& plugin, Result& other, std::size_t warmFrames)
{
    double worst = 0.0, peak = 0.0;
    const std::size_t end = plugin.left.size() - static_cast<std::size_t>(plugin.latency);
    for (std::size_t n = warmFrames; n < end; ++n)
    {
        const std::size_t p = n + static_cast<std::size_t>(plugin.latency);
        const std::size_t z = n + static_cast<std::size_t>(other.latency);
        if (z >= other.left.size())
            break;
        peak = std::max({peak, std::fabs(static_cast<double>(plugin.left[p])),
                         std::fabs(static_cast<double>(plugin.right[p]))});
        worst = std::max({worst, std::fabs(static_cast<double>(plugin.left[p]) - static_cast<double>(other.left[z])),
                          std::fabs(static_cast<double>(plugin.right[p]) - static_cast<double>(other.right[z]))});
    }
    return peak > 0.0 ? worst / peak : worst;
}

/// zita's output delay is its quantum when its smallest partition equals
/// the quantum, and 0 for the collected-quantum layout; found by comparison.
void alignAndCompare(const Result& plugin, Result& other, std::size_t warmFrames, std::initializer_list<int> offsets)
{
    double best = 1e30;
    int bestOffset = 0;
    for (const int offset : offsets)
    {
        other.latency = offset;
        const double difference = compare(plugin, other, warmFrames);
        if (difference < best)
        {
            best = difference;
            bestOffset = offset;
        }
    }
    other.latency = bestOffset;
    other.maxDifference = best;
}

#endif

std::string cpuModel()
{
    std::FILE* f = std::fopen("/proc/cpuinfo", "r");
    if (f == nullptr)
        return "unknown";
    char line[512];
    std::string model = "unknown";
    while (std::fgets(line, sizeof line, f) != nullptr)
    {
        if (std::strncmp(line, "model name", 10) == 0)
        {
            const char* colon = std::strchr(line, ':');
            model = colon != nullptr ? colon + 2 : line;
            model.erase(model.find_last_not_of("\r\n") + 1);
            break;
        }
    }
    std::fclose(f);
    return model;
}

std::vector<int> parseList(const char* text)
{
    std::vector<int> values;
    for (const char* p = text; *p != '\0';)
    {
        char* end = nullptr;
        values.push_back(static_cast<int>(std::strtol(p, &end, 10)));
        p = *end == ',' ? end + 1 : end;
        if (end == p && *end != '\0')
            break;
    }
    return values;
}

void printRow(const Result& r, const Result* plugin, int partitions, int block)
{
    std::printf("%5d %6d  %-24s %9.4f %6.2f%% %8.1f %8.1f %8.1f %7.2f %8.1f %8.1f %7.2f %6.2f", partitions, block,
                r.engine.c_str(), r.cpuPerSecond, 100.0 * r.cpuPerSecond, r.meanBlockUs, r.p999BlockUs,
                r.worstBlockUs, r.worstBlockUs / r.meanBlockUs, r.meanBlockCpuUs, r.worstBlockCpuUs,
                r.worstBlockCpuUs / r.meanBlockCpuUs, r.threadShare);
    if (plugin != nullptr)
        std::printf(" %9.3f %9.1e %6d", plugin->cpuPerSecond / r.cpuPerSecond, r.maxDifference, r.latency);
    std::printf("\n");
    std::fflush(stdout);
}


double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0.0 : (n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]));
}

/// What a block's CPU figure shows for an empty block: the part of a thread
/// CPU clock read that falls between its two readings; median of 1001.
double clockReadingUs()
{
    std::vector<double> readings;
    for (int i = 0; i < 1001; ++i)
    {
        const double start = threadCpu();
        readings.push_back(1e6 * (threadCpu() - start));
    }
    return median(readings);
}

/// Calling thread's CPU microseconds per call of `work`, over `calls` calls.
template <class Work>
double cpuMicroseconds(int calls, Work work)
{
    const double start = threadCpu();
    for (int i = 0; i < calls; ++i)
        work();
    return 1e6 * (threadCpu() - start) / calls;
}

/// The engine's transform (16384 complex points, one forward and one
/// backward) against FFTW's single-precision in-place plans made with
/// FFTW_MEASURE; medians of alternating rounds. reference is 0 without FFTW.
void timeTransforms(int rounds, double& tamUs, double& referenceUs)
{
    constexpr int floats = tam::spectrumFloats;
    constexpr int calls = 400;
    std::vector<float> data(floats);
    BenchNoise noise(77);
    for (float& v : data)
        v = noise.next();
    auto tables = std::make_unique<tam::FftTables>();
    std::vector<double> tamTimes, referenceTimes;
    // Forward then backward returns N = 2^14 times the input: every seventh
    // pair (2^98 at most) the values are scaled back, a cost both sides share.
    int pairs = 0;
    const auto rescale = [&](float* values) {
        if (++pairs % 7 != 0)
            return;
        for (int i = 0; i < floats; ++i)
            values[i] *= 0x1p-98f;
    };
#if defined(TAM_HAVE_FFTW)
    auto* buffer = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * floats / 2));
    fftwf_plan forward = fftwf_plan_dft_1d(floats / 2, buffer, buffer, FFTW_FORWARD, FFTW_MEASURE);
    fftwf_plan backward = fftwf_plan_dft_1d(floats / 2, buffer, buffer, FFTW_BACKWARD, FFTW_MEASURE);
    std::memcpy(buffer, data.data(), sizeof(float) * floats);
#endif
    for (int r = 0; r < rounds; ++r)
    {
        pairs = 0;
        tamTimes.push_back(cpuMicroseconds(calls, [&] {
            tam::cdft(floats, -1, data.data(), *tables);
            tam::cdft(floats, 1, data.data(), *tables);
            rescale(data.data());
        }));
#if defined(TAM_HAVE_FFTW)
        pairs = 0;
        referenceTimes.push_back(cpuMicroseconds(calls, [&] {
            fftwf_execute(forward);
            fftwf_execute(backward);
            rescale(reinterpret_cast<float*>(buffer));
        }));
#endif
    }
#if defined(TAM_HAVE_FFTW)
    fftwf_destroy_plan(forward);
    fftwf_destroy_plan(backward);
    fftwf_free(buffer);
#endif
    tamUs = median(tamTimes);
    referenceUs = median(referenceTimes);
}

/// One full recomputation (shaping, partitioning, transforms) of a
/// 117-partition response, in milliseconds of CPU time; median of rounds.
double timeRecomputation(const std::string& folder, int rounds)
{
    const std::string path = folder + "/recompute-117.wav";
    tam::tools::writeWaveFile(path, rate, 2,
                               tam::bench::decayingStereoNoise(117 * partitionFrames - 1000, 900000.0, 0, 11, 0.5f));
    tam::PartitionHandover handover;
    tam::TWAVfile store{handover.writer()};
    bool tooLong = false, clipped = false;
    std::string error;
    if (!store.loadFromFile(path, rate, tooLong, clipped, error))
        throw std::runtime_error(error);
    std::vector<double> times;
    for (int r = 0; r < 2 * rounds + 1; ++r)
    {
        // An attack level that shapes nothing but defeats the unchanged-input shortcut.
        tam::ShapingInputs inputs;
        inputs.attackLevel = r % 2 == 0 ? 0.999f : 1.0f;
        const double start = threadCpu();
        if (!store.calculateDestWave(inputs))
            throw std::runtime_error("no recomputation");
        times.push_back(1e3 * (threadCpu() - start));
    }
    return median(times);
}

struct CaseSummary
{
    int partitions = 0;
    int block = 0;
    std::vector<double> tamCpu, zitaCpu, ratio, tamMean, tamWorst, zitaMean, zitaWorst;
    double worstDifference = 0.0;
};

} // namespace

int main(int argc, char** argv)
{
    Settings settings;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--seconds" && hasValue)
            settings.seconds = std::atof(argv[++i]);
        else if (arg == "--partitions" && hasValue)
            settings.partitions = parseList(argv[++i]);
        else if (arg == "--blocks" && hasValue)
            settings.blocks = parseList(argv[++i]);
        else if (arg == "--plugin" && hasValue)
            settings.plugin = argv[++i];
        else if (arg == "--no-zita")
            settings.zita = false;
        else if (arg == "--summary" && hasValue)
            settings.rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--compare-with" && hasValue)
            settings.reference = argv[++i];
        else
        {
            std::fprintf(stderr,
                         "Usage: tam_bench_e2e [--seconds S] [--partitions 1,27,117] [--blocks 64,512] "
                         "[--plugin PATH] [--no-zita] [--summary ROUNDS] [--compare-with OTHER_PLUGIN]\n");
            return 2;
        }
    }

    // The plug-in's settings stay away from the user's (silence skipping off).
    const std::string folder = tam::bench::makeTemporaryFolder("tam-bench-e2e-");
    setenv("XDG_CONFIG_HOME", (folder + "/user").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (folder + "/machine").c_str(), 1);

    std::printf("tam_bench_e2e: %s\n", cpuModel().c_str());
    std::printf("compiler %s, 2 x %.0f s measured per case at %d Hz after a warm-up of the response's length\n",
                __VERSION__, settings.seconds, rate);
#if defined(TAM_HAVE_ZITA_CONVOLVER)
    std::printf("zita-convolver %d.%d: partitions up to %d (its maximum), FFTW_MEASURE plans\n",
                zita_convolver_major_version(), zita_convolver_minor_version(), zitaMaxPartition);
#else
    settings.zita = false;
    std::printf("zita-convolver not built in\n");
#endif
    const bool summary = settings.rounds > 0;
    if (!summary)
        std::printf("\n%5s %6s  %-24s %9s %7s %8s %8s %8s %7s %8s %8s %7s %6s %9s %9s %6s\n", "parts", "block", "engine",
                "cpu/s", "", "wall us", "p99.9", "worst", "w/mean", "cpu us", "worst", "w/mean", "thread", "TAM/this",
                "max diff", "delay");

    bool agreed = true;
    std::vector<CaseSummary> cases;
    tam::host::PluginLibrary library(settings.plugin);
    std::unique_ptr<tam::host::PluginLibrary> referenceLibrary;
    if (!settings.reference.empty())
        referenceLibrary = std::make_unique<tam::host::PluginLibrary>(settings.reference);
    double referenceDifference = 0.0, referencePeak = 0.0;
    for (const int partitions : settings.partitions)
    {
        // Ends 170 frames before its last partition ends, so the plug-in's
        // fade over the last 150 frames touches only zeros; the level keeps
        // the output well inside the plug-in's +-2 limit.
        const std::size_t responseFrames = static_cast<std::size_t>(partitions) * partitionFrames - 160;
        const auto response = tam::bench::decayingStereoNoise(
            responseFrames, static_cast<double>(responseFrames), 10, 1000u + static_cast<unsigned>(partitions),
            static_cast<float>(0.5 * std::sqrt(static_cast<double>(partitionFrames) / responseFrames)));
        const std::string responsePath = folder + "/response-" + std::to_string(partitions) + ".wav";
        tam::tools::writeWaveFile(responsePath, rate, 2, response);

        const std::size_t warm = static_cast<std::size_t>(partitions + 2) * partitionFrames;
        const auto measured = static_cast<std::size_t>(std::ceil(settings.seconds * rate / partitionFrames)) *
                              partitionFrames;
        Signal input;
        BenchNoise noise(inputSeed);
        for (std::size_t i = 0; i < warm + 2 * measured; ++i)
        {
            input.left.push_back(0.25f * noise.next());
            input.right.push_back(0.25f * noise.next());
        }

        for (const int block : settings.blocks)
        {
            if (summary)
            {
                // Alternating rounds: the machine's load falls on both alike.
                CaseSummary c{partitions, block, {}, {}, {}, {}, {}, {}, {}, 0.0};
                for (int r = 0; r < settings.rounds; ++r)
                {
                    const Result tam = runPlugin(library, responsePath, input, warm, block);
                    if (r == 0 && referenceLibrary != nullptr)
                    {
                        const Result other = runPlugin(*referenceLibrary, responsePath, input, warm, block);
                        for (std::size_t k = 0; k < tam.left.size(); ++k)
                        {
                            referencePeak = std::max({referencePeak, std::fabs(static_cast<double>(tam.left[k])),
                                                      std::fabs(static_cast<double>(tam.right[k]))});
                            referenceDifference = std::max(
                                {referenceDifference,
                                 std::fabs(static_cast<double>(tam.left[k]) - static_cast<double>(other.left[k])),
                                 std::fabs(static_cast<double>(tam.right[k]) - static_cast<double>(other.right[k]))});
                        }
                    }
                    c.tamCpu.push_back(tam.cpuPerSecond);
                    c.tamMean.push_back(tam.meanBlockCpuUs);
                    c.tamWorst.push_back(tam.worstBlockCpuUs);
#if defined(TAM_HAVE_ZITA_CONVOLVER)
                    if (settings.zita)
                    {
                        Result uniform = runZita("zita uniform 8192", response, input, warm, block,
                                                 zitaMaxPartition, zitaMaxPartition);
                        alignAndCompare(tam, uniform, warm, {0, zitaMaxPartition});
                        c.zitaCpu.push_back(uniform.cpuPerSecond);
                        c.zitaMean.push_back(uniform.meanBlockCpuUs);
                        c.zitaWorst.push_back(uniform.worstBlockCpuUs);
                        c.ratio.push_back(tam.cpuPerSecond / uniform.cpuPerSecond);
                        c.worstDifference = std::max(c.worstDifference, uniform.maxDifference);
                        agreed = agreed && uniform.maxDifference < agreementTolerance;
                    }
#endif
                }
                cases.push_back(c);
                continue;
            }
            const Result tam = runPlugin(library, responsePath, input, warm, block);
            printRow(tam, nullptr, partitions, block);
#if defined(TAM_HAVE_ZITA_CONVOLVER)
            if (settings.zita)
            {
                Result uniform = runZita("zita uniform 8192", response, input, warm, block, zitaMaxPartition,
                                         zitaMaxPartition);
                alignAndCompare(tam, uniform, warm, {0, zitaMaxPartition});
                printRow(uniform, &tam, partitions, block);
                const int minPart = std::max(block, zitaMinPartition);
                Result lowLatency = runZita("zita low-latency " + std::to_string(minPart) + "-8192", response, input,
                                            warm, block, block, minPart);
                alignAndCompare(tam, lowLatency, warm, {0, block});
                printRow(lowLatency, &tam, partitions, block);
                agreed = agreed && uniform.maxDifference < agreementTolerance &&
                         lowLatency.maxDifference < agreementTolerance;
            }
#endif
        }
    }

    if (summary)
    {
        double transformUs = 0.0, fftwUs = 0.0;
        timeTransforms(settings.rounds, transformUs, fftwUs);
        const double recomputeMs = timeRecomputation(folder, settings.rounds);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        double loads[3] = {};
        const int loadCount = getloadavg(loads, 3);
        std::printf("instruction set %s, load average %.2f, medians of %d alternating rounds\n\n",
                    tam::instructionSetName(tam::activeInstructionSet()), loadCount > 0 ? loads[0] : -1.0,
                    settings.rounds);
        std::printf("| case | TAM | zita uniform 8192 / FFTW | TAM / other | TAM block CPU mean µs | worst µs | "
                    "worst/mean | other block CPU mean µs | worst µs |\n");
        std::printf("|---|---|---|---|---|---|---|---|---|\n");
        double worstDifference = 0.0;
        for (const CaseSummary& c : cases)
        {
            const double tamMean = median(c.tamMean), tamWorst = median(c.tamWorst);
            std::printf("| %d partitions, block %d: CPU per audio second | %.3f %% | ", c.partitions, c.block,
                        100.0 * median(c.tamCpu));
            if (c.zitaCpu.empty())
                std::printf("– | – | ");
            else
                std::printf("%.3f %% | **%.2f** | ", 100.0 * median(c.zitaCpu), median(c.ratio));
            std::printf("%.1f | %.1f | %.2f | ", tamMean, tamWorst, tamWorst / tamMean);
            if (c.zitaCpu.empty())
                std::printf("– | – |\n");
            else
                std::printf("%.1f | %.1f |\n", median(c.zitaMean), median(c.zitaWorst));
            worstDifference = std::max(worstDifference, c.worstDifference);
        }
        std::printf("| transform of 32768 floats, forward + backward: CPU µs | %.1f | ", transformUs);
        if (fftwUs > 0.0)
            std::printf("%.1f | **%.2f** | | | | | |\n", fftwUs, transformUs / fftwUs);
        else
            std::printf("– | – | | | | | |\n");
        std::printf("| full recomputation of 117 partitions: CPU ms | %.1f | | | | | | | |\n", recomputeMs);
        std::printf("\nCPU per audio second: process CPU time (zita's threads included) over audio time, clocks read\n"
                    "once at each end of the stretch; block CPU: the calling thread's CPU time per host call, in a\n"
                    "second stretch of the same length (each includes about %.2f µs of the clock's own reading);\n"
                    "TAM / other: the ratio of the same round, median over rounds; the worst and the mean block\n"
                    "are medians of each round's worst and mean. Outputs agreed to %.1e of their peak.\n",
                    clockReadingUs(), worstDifference);
        if (referenceLibrary != nullptr)
            std::printf("Against %s on the same input: largest output difference %.2e (%.2e of the peak %.3f).\n",
                        settings.reference.c_str(), referenceDifference,
                        referencePeak > 0.0 ? referenceDifference / referencePeak : 0.0, referencePeak);
        if (!agreed)
        {
            std::printf("OUTPUTS DISAGREE: the comparison is not of equal work\n");
            return 1;
        }
        return 0;
    }

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::printf("\ncpu/s: process CPU seconds per second of audio (all threads), clocks read once at each end of the\n"
                "stretch; the block figures come from a second stretch: wall us: mean wall-clock time of a host\n"
                "call, its 99.9th percentile and worst (preemptions included); cpu us: mean and worst CPU time of\n"
                "the calling thread in a host call (the work of one block, plus about %.2f µs of the clock's own\n"
                "reading); thread: share of cpu/s on the\n"
                "calling thread; TAM/this: the plug-in's cpu/s over this row's; max diff: largest output\n"
                "difference from the plug-in's (latency aligned) relative to its peak; delay: frames between a\n"
                "host call's input and the output that belongs to it.\n",
                clockReadingUs());
    if (!agreed)
    {
        std::printf("OUTPUTS DISAGREE: the comparison is not of equal work\n");
        return 1;
    }
    return 0;
}
