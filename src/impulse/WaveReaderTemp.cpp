// Provisional reader (canonical float and 16-bit PCM files only); replaced by
// the full reader with its platform layers.
#include "impulse/WaveReader.h"
#include <cstring>
#include <fstream>
#include <iterator>
namespace tam {
std::vector<float> ReadWaveFile(const std::string& fileName, std::int32_t& sampleRate, std::int32_t& channels, std::int32_t& sampleCount)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw WaveError(24, "Error 24: Cannot open file.");
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), {});
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) throw WaveError(13, "Error 13: Not a wave file!");
    auto u16 = [&](size_t o) { return b[o] | (b[o+1] << 8); };
    auto u32 = [&](size_t o) { return (unsigned)(b[o] | (b[o+1] << 8) | (b[o+2] << 16) | ((unsigned)b[o+3] << 24)); };
    size_t pos = 12; int tag = 0, bits = 0; size_t dataOff = 0, dataSize = 0;
    while (pos + 8 <= b.size()) {
        unsigned size = u32(pos + 4);
        if (!std::memcmp(&b[pos], "fmt ", 4)) { tag = u16(pos+8); channels = u16(pos+10); sampleRate = (int)u32(pos+12); bits = u16(pos+22); }
        if (!std::memcmp(&b[pos], "data", 4)) { dataOff = pos + 8; dataSize = size; }
        pos += 8 + size + (size & 1);
    }
    std::vector<float> out;
    if (tag == 3) { out.resize(dataSize / 4); std::memcpy(out.data(), &b[dataOff], dataSize); }
    else if (tag == 1 && bits == 16) { for (size_t i = 0; i + 1 < dataSize; i += 2) { short s = (short)u16(dataOff + i); out.push_back(s > 0 ? s / 32767.0f : s / 32768.0f); } }
    else throw WaveError(26, "Error 26: Cannot suggest pcm format.");
    sampleCount = (int)out.size();
    return out;
}
}
