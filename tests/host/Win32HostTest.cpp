// tam.dll as a Windows host of its architecture sees it: the export table,
// the effect record byte by byte, every entry called with the stack as a
// foreign 32-bit host leaves it, the settings in the registry, and impulse
// responses in coded formats decoded by the audio compression manager.
#include "impulse/WaveReader.h"
#include "support/FileNameParameters.h"
#include "support/PluginHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace tam;
using namespace tam::test;

namespace {

constexpr int latency = 8960;

/// Byte offsets of the effect record as a host of this architecture reads
/// them, written out rather than taken from the header under test.
struct RecordLayout
{
    std::size_t dispatcher, process, setParameter, getParameter, numPrograms, flags, resvd1, resvd2, initialDelay,
        ioRatio, object, user, uniqueID, version, processReplacing, future, size;
};
#if defined(_WIN64)
constexpr const char* hostEntry = "VSTPluginMain";
constexpr RecordLayout layout{8, 16, 24, 32, 40, 56, 64, 72, 80, 92, 96, 104, 112, 116, 120, 128, 192};
#else
constexpr const char* hostEntry = "main";
constexpr RecordLayout layout{4, 8, 12, 16, 20, 36, 40, 44, 48, 60, 64, 68, 72, 76, 80, 84, 144};
#endif
const char* const settingsKey = "Software\\Veldrana_Software\\TAM";

const PluginModule& module()
{
    return builtModule();
}

std::uint32_t word(const vst::AEffect* fx, std::size_t offset)
{
    std::uint32_t value = 0;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(fx) + offset, sizeof value);
    return value;
}

/// A pointer-sized field of the record.
std::uintptr_t pointerAt(const vst::AEffect* fx, std::size_t offset)
{
    std::uintptr_t value = 0;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(fx) + offset, sizeof value);
    return value;
}

#if !defined(_WIN64)
/// Calls the cdecl function at `entry` with 32-bit arguments, the stack
/// pointer first aligned to 16 bytes and then lowered by `skew` bytes (hosts
/// built by other compilers guarantee 4-byte alignment only). `unbalanced`
/// receives how far the callee moved the stack pointer: 0 for cdecl.
std::uint32_t callSkewed(std::uint32_t entry, const std::vector<std::uint32_t>& arguments, std::uint32_t skew,
                         std::uint32_t& unbalanced)
{
    std::uint32_t result = reinterpret_cast<std::uintptr_t>(arguments.data());
    std::uint32_t count = static_cast<std::uint32_t>(arguments.size());
    std::uint32_t moved = skew;
    asm volatile("movl %%esp, %%esi\n\t"
                 "andl $-16, %%esp\n\t"
                 "subl %%edx, %%esp\n\t"
                 "1:\n\t"
                 "testl %%ecx, %%ecx\n\t"
                 "jz 2f\n\t"
                 "decl %%ecx\n\t"
                 "pushl (%%eax,%%ecx,4)\n\t"
                 "jmp 1b\n\t"
                 "2:\n\t"
                 "movl %%esp, %%edi\n\t"
                 "call *%%ebx\n\t"
                 "movl %%esp, %%edx\n\t"
                 "subl %%edi, %%edx\n\t"
                 "movl %%esi, %%esp\n\t"
                 : "+a"(result), "+c"(count), "+d"(moved)
                 : "b"(entry)
                 : "esi", "edi", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7");
    unbalanced = moved;
    return result;
}

std::uint32_t bitsOf(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::uint32_t address(const void* p)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}
#endif

/// A value of the settings key under a root, or false when it is absent.
bool queryValue(HKEY root, const char* name, DWORD& type, std::vector<unsigned char>& data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, settingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    bool found = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (found)
    {
        data.assign(size, 0);
        found = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return found;
}

/// The DWORD value, or -2 when absent or of another type.
long long dwordValue(HKEY root, const char* name)
{
    DWORD type = 0;
    std::vector<unsigned char> data;
    if (!queryValue(root, name, type, data) || type != REG_DWORD || data.size() != 4)
        return -2;
    std::int32_t value = 0;
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

void setValue(HKEY root, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, settingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void setText(HKEY root, const char* name, const std::string& text)
{
    setValue(root, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

/// Wet path only, at unity (the plug-in's 0.1 wet scale remains).
void wetOnly(PluginHost& host)
{
    host.setParameter(0, 0.0f);  // dry
    host.setParameter(1, 1.0f);  // wet
    host.setParameter(43, 0.0f); // auto gain off
}

/// Left and right output for a unit impulse, `frames` long.
void impulseResponseOf(PluginHost& host, std::vector<float>& left, std::vector<float>& right, std::size_t frames)
{
    left.assign(frames, 0.0f);
    right.assign(frames, 0.0f);
    left[0] = 1.0f;
    right[0] = 1.0f;
    host.run(left, right, 512);
}

/// Largest difference between the output from the latency on and 0.1 x the
/// response, left and right interleaved in `response`; the last frame is
/// only an interpolation neighbour and is not compared.
double wetDeviation(const std::vector<float>& left, const std::vector<float>& right, const std::vector<float>& response)
{
    double worst = 0.0;
    for (std::size_t n = 0; 2 * (n + 1) < response.size(); ++n)
    {
        worst = std::max(worst, std::fabs(left[latency + n] - 0.1 * response[2 * n]));
        worst = std::max(worst, std::fabs(right[latency + n] - 0.1 * response[2 * n + 1]));
    }
    return worst;
}

struct Win32Host : ::testing::Test
{
    TempDir dir;
    SettingsSandbox settings{dir};
};

} // namespace

TEST(Win32Module, ExportsNoInternalNameAndRefusesAHostThatGivesNoVersion)
{
    EXPECT_NE(module().entry("main"), nullptr);
    EXPECT_EQ(module().entry("tamLegacyMain"), nullptr);
    EXPECT_EQ(module().entry("_tamLegacyMain"), nullptr);
    TempDir dir;
    SettingsSandbox settings(dir);
    PluginHost refused(module(), 0, "main");
    EXPECT_EQ(refused.effect(), nullptr);
}

TEST_F(Win32Host, EffectRecordHoldsEveryFieldAtItsByteOffset)
{
    PluginHost host(module(), 2400, hostEntry);
    const vst::AEffect* fx = host.effect();
    ASSERT_NE(fx, nullptr);
    EXPECT_EQ(word(fx, 0), 0x56737450u); // 'VstP'
    EXPECT_EQ(pointerAt(fx, layout.dispatcher), reinterpret_cast<std::uintptr_t>(fx->dispatcher));
    for (const std::size_t entry :
         {layout.dispatcher, layout.process, layout.setParameter, layout.getParameter, layout.processReplacing})
        EXPECT_NE(pointerAt(fx, entry), 0u) << "entry at " << entry;
    EXPECT_NE(pointerAt(fx, layout.process), pointerAt(fx, layout.processReplacing))
        << "process and processReplacing are distinct entries";
    const std::size_t counts = layout.numPrograms;
    EXPECT_EQ(word(fx, counts), 1u);        // programs
    EXPECT_EQ(word(fx, counts + 4), 173u);  // parameters
    EXPECT_EQ(word(fx, counts + 8), 2u);    // inputs
    EXPECT_EQ(word(fx, counts + 12), 2u);   // outputs
    EXPECT_EQ(word(fx, layout.flags), 0x19u) << "has editor, can mono, can replace";
    EXPECT_EQ(pointerAt(fx, layout.resvd1), 0u);
    EXPECT_EQ(pointerAt(fx, layout.resvd2), 0u);
    EXPECT_EQ(word(fx, layout.initialDelay), 8960u);
    EXPECT_EQ(word(fx, layout.initialDelay + 4), 0u); // real qualities
    EXPECT_EQ(word(fx, layout.initialDelay + 8), 0u); // off qualities
    EXPECT_EQ(word(fx, layout.ioRatio), 1u) << "the integer 1, not 1.0f";
    EXPECT_NE(pointerAt(fx, layout.object), 0u);
    EXPECT_EQ(pointerAt(fx, layout.user), 0u);
    EXPECT_EQ(word(fx, layout.uniqueID), 0x34353663u); // '456c'
    EXPECT_EQ(word(fx, layout.version), 1u);
    for (std::size_t offset = layout.future; offset < layout.size; offset += 4)
        EXPECT_EQ(word(fx, offset), 0u) << "future bytes at " << offset;
}

#if !defined(_WIN64)
TEST_F(Win32Host, EveryEntryIsCdeclAndRunsOnAStackAlignedToFourBytesOnly)
{
    vst::audioMasterCallback callback = &versionOnlyHost;
    const std::uint32_t mainEntry = address(reinterpret_cast<const void*>(module().entry("main")));
    std::vector<float> left(700, 0.0f), right(700, 0.0f);
    left[0] = 1.0f;
    float* channels[2] = {left.data(), right.data()};
    for (const std::uint32_t skew : {0u, 4u, 8u, 12u})
    {
        std::uint32_t unbalanced = 1;
        const std::uint32_t record =
            callSkewed(mainEntry, {address(reinterpret_cast<const void*>(callback))}, skew, unbalanced);
        EXPECT_EQ(unbalanced, 0u) << "main, skew " << skew;
        ASSERT_NE(record, 0u);
        const auto* fx = reinterpret_cast<const vst::AEffect*>(static_cast<std::uintptr_t>(record));
        auto dispatch =
            [&](vst::VstInt32 opcode, vst::VstInt32 index, std::uint32_t value, std::uint32_t ptr, float opt)
        {
            const std::uint32_t answer = callSkewed(word(fx, 4),
                                                    {record, static_cast<std::uint32_t>(opcode),
                                                     static_cast<std::uint32_t>(index), value, ptr, bitsOf(opt)},
                                                    skew, unbalanced);
            EXPECT_EQ(unbalanced, 0u) << "dispatcher " << opcode << ", skew " << skew;
            return answer;
        };
        EXPECT_EQ(dispatch(vst::effIdentify, 0, 0, 0, 0.0f), 0x4E764566u);
        dispatch(vst::effSetSampleRate, 0, 0, 0, 48000.0f);
        dispatch(vst::effSetBlockSize, 0, 700, 0, 0.0f);
        dispatch(vst::effMainsChanged, 0, 1, 0, 0.0f);

        callSkewed(word(fx, 12), {record, 1u, bitsOf(0.25f)}, skew, unbalanced); // setParameter
        EXPECT_EQ(unbalanced, 0u) << "setParameter, skew " << skew;
        EXPECT_FLOAT_EQ(fx->getParameter(const_cast<vst::AEffect*>(fx), 1), 0.25f);
        for (const std::size_t entry : {80u, 8u}) // processReplacing, process
        {
            callSkewed(word(fx, entry), {record, address(channels), address(channels), 700u}, skew, unbalanced);
            EXPECT_EQ(unbalanced, 0u) << "process entry at " << entry << ", skew " << skew;
        }
        EXPECT_EQ(dispatch(vst::effClose, 0, 0, 0, 0.0f), 1u);
    }
    for (const float sample : left)
        EXPECT_TRUE(std::isfinite(sample));
}
#endif

TEST_F(Win32Host, FirstConstructionWritesDynamicCpuOffUnderBothRoots)
{
    EXPECT_EQ(dwordValue(HKEY_LOCAL_MACHINE, "using_dcc"), -2);
    {
        PluginHost host(module());
        ASSERT_NE(host.effect(), nullptr);
    }
    EXPECT_EQ(dwordValue(HKEY_LOCAL_MACHINE, "using_dcc"), 0);
    EXPECT_EQ(dwordValue(HKEY_CURRENT_USER, "using_dcc"), 0);
    DWORD type = 0;
    std::vector<unsigned char> data;
    EXPECT_FALSE(queryValue(HKEY_CURRENT_USER, "default_file", type, data)) << "nothing else is written";

    // A later instance finds the value and writes nothing again.
    const DWORD on = 1;
    setValue(HKEY_CURRENT_USER, "using_dcc", REG_DWORD, &on, sizeof on);
    PluginHost second(module());
    EXPECT_EQ(dwordValue(HKEY_CURRENT_USER, "using_dcc"), 1);
}

TEST_F(Win32Host, DefaultFileFromTheRegistryIsTheResponseOfANewInstance)
{
    std::vector<float> response(2 * 3000);
    for (std::size_t i = 0; i < response.size(); ++i)
        response[i] = (i % 2 == 0 ? 0.5f : -0.3f) * std::exp(-static_cast<float>(i) / 1500.0f) *
                      static_cast<float>(((i * 7919) % 13)) / 13.0f;
    const std::string path = dir.file("default.wav");
    writeFloatWav(path, 44100, 2, response);
    setText(HKEY_CURRENT_USER, "default_file", path);
    // Machine-wide, a value of the wrong type counts as absent and is replaced.
    setText(HKEY_LOCAL_MACHINE, "using_dcc", "1");

    PluginHost host(module());
    ASSERT_NE(host.effect(), nullptr);
    EXPECT_EQ(dwordValue(HKEY_LOCAL_MACHINE, "using_dcc"), 0);
    EXPECT_EQ(dwordValue(HKEY_CURRENT_USER, "using_dcc"), 0);
    host.dispatch(vst::effMainsChanged, 0, 1);
    wetOnly(host);
    std::vector<float> left, right;
    impulseResponseOf(host, left, right, latency + response.size() / 2);
    for (int n = 0; n < latency; ++n)
        ASSERT_EQ(left[static_cast<std::size_t>(n)], 0.0f) << n;
    EXPECT_LT(wetDeviation(left, right, response), 1e-6);
}

TEST(Win32Settings, MachineWideRootThatRefusesWritesIsSkipped)
{
    TempDir dir;
    SettingsSandbox settings(dir, false);
    {
        PluginHost host(module());
        ASSERT_NE(host.effect(), nullptr);
    }
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, settingsKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    EXPECT_EQ(dwordValue(HKEY_CURRENT_USER, "using_dcc"), 0);
}

class CodedResponse : public Win32Host, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(CodedResponse, SoundsLikeSoxsDecodingOfIt)
{
    // The same plug-in loads the coded file (decoded by the audio compression
    // manager) and sox's decoding of it; both pass the same resampling, so
    // the outputs differ only by what the decoders differ by, times 0.1.
    const std::string codec = GetParam();
    const double decoderSteps = codec == "ms-adpcm" ? 328.0 : 0.5; // see CodecFileTest.cpp
    const double tolerance = 0.1 * decoderSteps / 32768.0 * 1.5 + 1e-6;
    std::vector<float> outputs[2][2];
    const std::string files[2] = {std::string(TAM_CODEC_DATA) + "/" + codec + "-2ch.wav",
                                  std::string(TAM_CODEC_DATA) + "/" + codec + "-2ch-sox.wav"};
    for (int f = 0; f < 2; ++f)
    {
        PluginHost host(module());
        host.dispatch(vst::effMainsChanged, 0, 1);
        wetOnly(host);
        sendFileName(host, files[f]);
        impulseResponseOf(host, outputs[f][0], outputs[f][1], latency + 40000);
    }
    double peak = 0.0;
    double worst = 0.0;
    for (int c = 0; c < 2; ++c)
        for (std::size_t n = 0; n < outputs[0][c].size(); ++n)
        {
            peak = std::max(peak, std::fabs(static_cast<double>(outputs[1][c][n])));
            worst = std::max(worst, std::fabs(static_cast<double>(outputs[0][c][n]) - outputs[1][c][n]));
        }
    EXPECT_GT(peak, 0.01) << "the response was loaded and is heard";
    EXPECT_LE(worst, tolerance);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodedResponse, ::testing::Values("a-law", "u-law", "ima-adpcm", "ms-adpcm"),
                         [](const auto& param)
                         {
                             std::string name = param.param;
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

// Run by scripts/test-windows against the prefix's real registry after it
// preset the values with `wine reg add`; skipped otherwise.
TEST(WineRegistry, ValuesPresetWithRegAddAreHonoured)
{
    const char* presetFile = std::getenv("TAM_PRESET_DEFAULT_FILE");
    if (presetFile == nullptr || *presetFile == '\0')
        GTEST_SKIP() << "TAM_PRESET_DEFAULT_FILE is not set";
    std::int32_t rate = 0;
    std::int32_t channels = 0;
    std::int32_t count = 0;
    const std::vector<float> response = ReadWaveFile(presetFile, rate, channels, count);
    ASSERT_EQ(channels, 2);
    ASSERT_EQ(rate, 44100);

    PluginHost host(module());
    ASSERT_NE(host.effect(), nullptr);
    host.dispatch(vst::effMainsChanged, 0, 1);
    wetOnly(host);
    std::vector<float> left, right;
    impulseResponseOf(host, left, right, latency + response.size() / 2);
    EXPECT_LT(wetDeviation(left, right, response), 1e-6);
}
