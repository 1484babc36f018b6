// The plug-in object: owns everything one instance uses (engine, impulse-
// response store, program record, editor bridge, background worker) and
// answers the host's requests.
//
// Threading:
// - host main/UI thread: construction, dispatcher requests, editor.
// - audio thread: process/processReplacing; may also set parameters
//   (automation). It never waits: a file load or recomputation requested
//   from it is handed to this instance's worker thread. A thread counts as
//   such when the host reports it real-time (audioMasterGetCurrentProcessLevel)
//   or, where the host does not say, when it is not the creating thread.
// - any thread may set parameters. Loads, recomputations and batches of
//   parameters (program application, the editor's multi-value edits) are
//   serialised by one lock that only this class takes and the audio thread
//   never does; everything else the threads share is atomic.
#pragma once

#include "core/APluginProgram.h"
#include "core/Parameters.h"
#include "engine/ConvolutionEngine.h"
#include "frame/AEffEditor.h"
#include "frame/AudioEffectX.h"
#include "core/FileNameCodec.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

namespace tam {

class TMemman;
class TWAVfile;
class BackgroundWorker;

/// One value of a batch of parameter changes.
struct ParameterValue
{
    int index;
    float value;
};

/// Whether the host hears of changes as automation.
enum class Automate
{
    no,
    yes
};

class APlugin : public AudioEffectX
{
public:
    static constexpr vst::VstInt32 latencySamples = ConvolutionEngine::latencySamples;
    static constexpr int maxDelaySamples = ConvolutionEngine::historyLength - 1;
    static constexpr float autogainOffFactor = ConvolutionEngine::autogainOffFactor;
    static constexpr float maxPredelayMs = 300.0f;

    explicit APlugin(vst::audioMasterCallback hostCallback);
    ~APlugin() override;

    /// Gives the plug-in its editor; the module assembles the two, so core
    /// knows only the frame's editor interface. Called before the host sees
    /// the instance. windowSupported: whether this build can show a window.
    void attachEditor(std::unique_ptr<AEffEditor> newEditor, bool windowSupported);

    // Host requests.
    void setSampleRate(float rate) override;
    float getVu() override { return 0.0f; }
    void suspend() override;
    void resume() override;
    void process(float** inputs, float** outputs, vst::VstInt32 sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, vst::VstInt32 sampleFrames) override;

    void setParameter(vst::VstInt32 index, float value) override;
    float getParameter(vst::VstInt32 index) override;
    void getParameterName(vst::VstInt32 index, char* text) override;
    void getParameterLabel(vst::VstInt32 index, char* label) override;
    void getParameterDisplay(vst::VstInt32 index, char* text) override;

    void setProgram(vst::VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(vst::VstInt32 category, vst::VstInt32 index, char* text) override;

    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    vst::VstInt32 getVendorVersion() override { return 1; }
    vst::VstInt32 canDo(char* text) override;
    bool getOutputProperties(vst::VstInt32 index, vst::VstPinProperties* properties) override;
    vst::VstInt32 processEvents(vst::VstEvents* events) override;

    // Operations of the plug-in used by its editor.
    /// Clears the convolution state (the dry signal goes on).
    void resetEngine();
    /// Has the engine choose the auto gain factor from the Autogain value, as
    /// a change of Autogain does. Only the engine writes the factor (it
    /// applies it); the plug-in owns the switch alone.
    void selectAutogainFactor() { engine->requestAutogainSelection(); }
    float getAutogainFactor() const { return engine->getAutogainFactor(); }
    /// Switches silence skipping and stores the choice in the settings.
    void setDcc(bool on);
    bool getDcc() const { return engine->getDynamicCpu(); }
    /// The configured default file, or "<none>".
    std::string getDefaultFileText() const;
    void setDefaultFile(const std::string& name);
    /// Shapes and partitions the response from the current parameter values;
    /// false when nothing had to be done.
    bool recalculate();
    /// Sets the values in the order given, each with its full effect, but
    /// shapes the response only once, after the last one, whatever else runs
    /// on other threads meanwhile. With Automate::yes the host hears of every
    /// value as automation once the batch is done. From the audio thread the
    /// values are queued like single sets (their recalculations coalesce).
    void setParameters(std::span<const ParameterValue> values, Automate automate);
    /// Loads a response file the way the editor opens one: read (the previous
    /// response stays on failure), carry its name in the file-name parameters,
    /// reset the engine and shape it once.
    struct FileLoadResult
    {
        bool loaded = false;
        bool tooLong = false;  ///< cut at the store's capacity
        bool clipped = false;  ///< samples beyond full scale
        std::string errorText; ///< the reader's message when not loaded
    };
    FileLoadResult openFile(const std::string& path);
    /// The file the parameters name when their checksum holds (trailing
    /// spaces removed), else empty.
    std::string requestedFileName() const;
    /// Runs `reader` on the store while no load or calculation can change
    /// it; false, without running it, while one is in progress (the caller
    /// tries again later instead of waiting).
    bool tryReadResponse(const std::function<void(const TWAVfile&)>& reader) const;
    /// The file name assembled from parameters 46..172 (255 characters).
    std::string pendingFileName() const;
    std::string getLoadedFileName() const;

    TWAVfile& store() { return *wavFile; }
    ConvolutionEngine& getEngine() { return *engine; }
    EngineControls& getControls() { return controls; }
    std::int32_t getSampleRateHz() const { return sampleRateHz.load(std::memory_order_relaxed); }
    bool isLoading() const { return controls.loading.load(std::memory_order_acquire); }
    void setLoading(bool value) { controls.loading.store(value, std::memory_order_release); }
    /// Set after a file arrived through the parameters; the editor clears it.
    std::atomic<bool> fileChanged{false};
    /// 1 after the editor window was destroyed, 0 from the moment it opens.
    std::atomic<bool> editorClosed{false};
    /// True while work handed to the worker thread is not finished.
    bool backgroundWorkPending() const;

private:
    enum Task : unsigned
    {
        taskRecompute = 1u,
        taskFileCheck = 2u,
        taskProgram = 4u,
        taskRateChange = 8u,
    };

    std::atomic<float>* valueSlot(int index);
    const std::atomic<float>* valueSlot(int index) const;
    /// Stores a value and runs its light effects; returns the heavy tasks it needs.
    unsigned storeParameter(int index, float value);
    /// The batch itself; the caller holds storeMutex.
    void applyBatch(std::span<const ParameterValue> values);
    /// recalculate() for a caller that holds storeMutex.
    bool shapeResponse();
    void updateDelaySamples(bool rewriteCappedValue);
    /// Runs heavy work now, or hands it to the worker when called from the
    /// audio thread.
    void runHeavy(unsigned tasks);
    void performTasks(unsigned tasks);
    void applyProgram();
    void fileCheck();
    /// Reloads the response and recounts the pre-delay at a new host rate.
    void followSampleRate();
    /// Loads a response file and shapes it, with the audio side on the dry
    /// path meanwhile; false (previous response kept) when it cannot be read.
    FileLoadResult loadResponse(const std::string& path);
    /// Whether the calling thread must never wait for heavy work.
    bool onAudioThread();
    void runPendingTasks();
    void editorUpdate();

    EngineControls controls;
    // Parameter values not read by the engine.
    std::atomic<float> predelay{0.0f};
    std::atomic<float> fileChecksum{0.0f};
    std::atomic<float> envelope{0.0f};
    std::atomic<float> length{1.0f};
    std::atomic<float> stereo{1.0f};
    std::atomic<float> attackLevel{1.0f};
    std::atomic<float> attackTime{0.0f};
    std::atomic<float> reverse{0.0f};
    std::atomic<float> stretch{0.5f};
    std::array<std::atomic<float>, 16> eqPoints{};
    std::array<std::atomic<float>, fileNameValueCount> fileNameValues{};

    std::string defaultFile;
    std::string loadedFileName; ///< padded name of the file in use (under storeMutex)
    std::atomic<std::int32_t> sampleRateHz{44100};

    std::unique_ptr<APluginProgram> programs[1];
    std::unique_ptr<TWAVfile> wavFile;
    std::unique_ptr<TMemman> memman;
    std::unique_ptr<ConvolutionEngine> engine;

    mutable std::mutex storeMutex; ///< never held while calling the host or waiting for another thread
    const std::thread::id creatorThread; ///< the thread that built the object
    std::atomic<bool> constructed{false}; ///< the host may be asked about its threads
    std::atomic<unsigned> pendingTasks{0};
    std::unique_ptr<BackgroundWorker> worker; ///< last: its job uses everything above
};

} // namespace tam
