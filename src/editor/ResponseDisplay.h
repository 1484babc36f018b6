// The waveform area and the information line: the shaped response of both
// channels as peak columns, the envelope of its shaping laid over it, its
// duration and the file's rate; while a shaping slider is dragged, a preview
// of the envelope for the values not yet sent.
//
// The editor copies what it shows from the store once per response change
// (ResponseSnapshot, with the peak columns already computed), so a repaint
// never walks the samples and never touches the store.
//
// UI thread only; drawing goes through the Canvas.
#pragma once

#include "editor/Canvas.h"
#include "impulse/TWAVfile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tam
{

/// One drawn column: the largest absolute values (in pixels) of each
/// channel gathered since the previously drawn column.
struct PeakColumn
{
    int x = 0;
    int left = 0;  ///< channel 1, up from the middle line
    int right = 0; ///< channel 2, up from the bottom line
};

struct ResponseSnapshot
{
    std::int32_t generation = -1;
    bool ready = false;
    std::int32_t destLength = 0;   ///< last destination index
    std::int32_t sourceLength = 0; ///< last source index
    float destSeconds = 0.0f;
    float hostRate = 44100.0f;
    float fileRate = 0.0f;
    float attackMaxSamples = 0.0f;
    std::string fileName;
    ShapingInputs shaping; ///< of the last calculation
    std::vector<PeakColumn> peaks;
};

/// Plot geometry of an area of width W and height H.
struct WaveformGeometry
{
    static constexpr int textColumn = 75; ///< right-hand part kept for the texts
    int width = 0;
    int height = 0;
    int plotWidth() const { return width - textColumn; }
};

/// The peak columns of channels c1 and c2 (samples 0 .. lastIndex). A
/// one-sample response (lastIndex 0) gives one column at the left edge.
std::vector<PeakColumn> peakColumns(const float* c1, const float* c2, std::int32_t lastIndex,
                                    const WaveformGeometry& geometry);

/// Copies what the displays need from the store, computing the peaks.
ResponseSnapshot takeSnapshot(const TWAVfile& store, const WaveformGeometry& geometry);

/// The full picture from a snapshot (the hint text when nothing is ready).
void drawWaveform(Canvas& canvas, const ResponseSnapshot& response);
/// The envelope for values being dragged, over the background alone.
void drawEnvelopePreview(Canvas& canvas, const ResponseSnapshot& response, const ShapingInputs& shape);
/// A text right-aligned 10 pixels inside the area.
void drawInformationLine(Canvas& canvas, const std::string& text);

/// Whether the shaping leaves the response as it is (no overlay drawn).
bool neutralShaping(const ShapingInputs& shape);
/// The duration the preview shows: the source stretched and cut.
double previewSeconds(const ResponseSnapshot& response, const ShapingInputs& shape);
/// Seconds as "0.00" followed by " sec. ".
std::string durationText(double seconds);

inline constexpr const char* noResponseHint = ">> Click the \"Open File\" button to import an impulse response <<";

} // namespace tam
