// Decoders of the compressed wave formats the POSIX build reads itself:
// G.711 A-law and mu-law samples, IMA ADPCM and Microsoft ADPCM blocks, all
// to 16-bit PCM. Pure functions over caller-owned memory; they never read
// outside the block they are given.
#pragma once

#include <cstdint>

namespace tam::codec {

std::int16_t aLawToLinear(std::uint8_t code);
std::int16_t muLawToLinear(std::uint8_t code);

/// Largest number of frames one IMA ADPCM block of blockAlign bytes holds
/// (0 when the block cannot even hold its headers).
int imaFramesPerBlock(int blockAlign, int channels);
/// Decodes the first frames of one IMA ADPCM block into interleaved out
/// (frames x channels). frames must not exceed imaFramesPerBlock.
void decodeImaBlock(const std::uint8_t* block, int channels, int frames, std::int16_t* out);

/// Largest number of frames one Microsoft ADPCM block holds (0 when the
/// block cannot hold its headers).
int msAdpcmFramesPerBlock(int blockAlign, int channels);
/// Decodes the first frames of one Microsoft ADPCM block with the file's
/// predictor coefficient pairs (coefficients holds 2 x coefficientPairs
/// values). False when the block names a predictor the file does not have.
bool decodeMsAdpcmBlock(const std::uint8_t* block, int channels, int frames, const std::int16_t* coefficients,
                        int coefficientPairs, std::int16_t* out);

} // namespace tam::codec
