#include "core/APlugin.h"

#include "core/FileSystem.h"
#include "core/Settings.h"
#include "core/BackgroundWorker.h"
#include "engine/TMemman.h"
#include "impulse/TWAVfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace tam {

namespace {

constexpr const char* effectName = "TAM";
constexpr const char* vendorName = "Veldrana";
constexpr const char* productName = "TAM Impulse Response Processor";
constexpr const char* programName = "Programm";
constexpr const char* noDefaultFile = "<none>";

void copyText(char* destination, const char* text)
{
    std::strcpy(destination, text);
}

float clampParameter(float value)
{
    if (!(value >= 0.0f)) // below zero or not a number
        return 0.0f;
    return value > 1.0f ? 1.0f : value;
}

} // namespace

APlugin::APlugin(vst::audioMasterCallback hostCallback)
    : AudioEffectX(hostCallback, 1, parameterCount), creatorThread(std::this_thread::get_id())
{
    memman = std::make_unique<TMemman>();

    bool dynamicCpu = false;
    const std::int32_t storedDcc = ReadSettingInt("using_dcc");
    if (storedDcc == -1)
        WriteSettingInt("using_dcc", 0);
    else
        dynamicCpu = storedDcc != 0;
    defaultFile = ReadSettingString("default_file");

    hasVu(false);
    setNumInputs(2);
    setNumOutputs(2);
    canMono(true);
    canProcessReplacing(true);
    isSynth(false);
    setUniqueID(vst::fourCharCode('4', '5', '6', 'c'));
    setInitialDelay(latencySamples);

    programs[0] = std::make_unique<APluginProgram>(defaultFile);
    engine = std::make_unique<ConvolutionEngine>(*memman, controls);
    wavFile = std::make_unique<TWAVfile>(engine->partitionWriter());
    engine->setDynamicCpu(dynamicCpu);

    worker = std::make_unique<BackgroundWorker>([this] { runPendingTasks(); });

    resetEngine();
    suspend();
    programs[0]->setName(programName);
    curProgram = 0;
    setProgram(0);
    // Gains start at their targets, without a fade.
    engine->setSuspended(true);
    constructed.store(true, std::memory_order_release);
}

void APlugin::attachEditor(std::unique_ptr<AEffEditor> newEditor, bool windowSupported)
{
    delete editor;
    setEditor(newEditor.release());
    // The host must not ask for a window this build cannot show.
    setFlag(vst::effFlagsHasEditor, windowSupported);
    editorUpdate();
}

APlugin::~APlugin()
{
    worker.reset(); // finishes a job in progress; nothing runs in the background after this
    // The editor (and any open window) goes first: it reads everything else.
    delete editor;
    editor = nullptr;
    wavFile.reset(); // offers its sets to the engine
    engine.reset();
    memman.reset();
    programs[0].reset();
}

// ------------------------------------------------------------ host requests

void APlugin::setSampleRate(float rate)
{
    if (!std::isfinite(rate) || rate < 1.0f || rate > 2.0e6f)
        return;
    const auto hz = static_cast<std::int32_t>(std::lrint(rate));
    if (sampleRateHz.exchange(hz, std::memory_order_relaxed) != hz)
        runHeavy(taskRateChange);
}

void APlugin::followSampleRate()
{
    // The response was resampled and the pre-delay counted at the old rate:
    // both would sound wrong (pitch, timing) at the new one.
    updateDelaySamples(false);
    if (wavFile->isLoaded())
        loadResponse(wavFile->fileName);
}

APlugin::FileLoadResult APlugin::loadResponse(const std::string& path)
{
    // The audio side plays the dry signal alone while the response changes,
    // and again in any case once this is over (also if an allocation fails).
    setLoading(true);
    struct LoadingScope
    {
        APlugin& plugin;
        ~LoadingScope() { plugin.setLoading(false); }
    } loadingScope{*this};
    FileLoadResult result;
    result.loaded = wavFile->loadFromFile(path, sampleRateHz.load(std::memory_order_relaxed), result.tooLong,
                                          result.clipped, result.errorText);
    if (!result.loaded)
        return result; // the previous response stays in use
    shapeResponse();
    selectAutogainFactor();
    updateDelaySamples(false);
    return result;
}

APlugin::FileLoadResult APlugin::openFile(const std::string& path)
{
    FileLoadResult result;
    if (static_cast<int>(path.size()) > maxFileNameLength)
    {
        result.errorText = "The path is longer than the " + std::to_string(maxFileNameLength) +
                           " characters a project can keep.";
        return result;
    }
    {
        std::lock_guard lock(storeMutex);
        result = loadResponse(path);
        if (!result.loaded)
            return result;
        // The parameters carry the name from now on, so the host saves it;
        // the file check then finds it already in use.
        const auto encoded = fileNameToValues(path);
        for (int i = 0; i < fileNameValueCount; ++i)
            storeParameter(param::fileNameFirst + i, encoded[static_cast<std::size_t>(i)]);
        storeParameter(param::fileChecksum, fileNameChecksum(path));
        loadedFileName = pendingFileName();
        engine->requestReset();
    }
    editorUpdate();
    return result;
}

std::string APlugin::requestedFileName() const
{
    const std::string pending = pendingFileName();
    if (!checksumMatches(pending, fileChecksum.load(std::memory_order_relaxed)))
        return {};
    const auto last = pending.find_last_not_of(' ');
    if (last == std::string::npos)
        return {};
    return pending.substr(0, last + 1);
}

bool APlugin::tryReadResponse(const std::function<void(const TWAVfile&)>& reader) const
{
    std::unique_lock lock(storeMutex, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    reader(*wavFile);
    return true;
}

void APlugin::suspend()
{
    engine->setSuspended(true);
}

void APlugin::resume()
{
    engine->setSuspended(false);
    wantEvents(0);
}

void APlugin::process(float** inputs, float** outputs, vst::VstInt32 sampleFrames)
{
    engine->process(inputs, outputs, sampleFrames, ConvolutionEngine::Mode::add);
}

void APlugin::processReplacing(float** inputs, float** outputs, vst::VstInt32 sampleFrames)
{
    engine->process(inputs, outputs, sampleFrames, ConvolutionEngine::Mode::replace);
}

// --------------------------------------------------------------- parameters

std::atomic<float>* APlugin::valueSlot(int index)
{
    return const_cast<std::atomic<float>*>(std::as_const(*this).valueSlot(index));
}

const std::atomic<float>* APlugin::valueSlot(int index) const
{
    switch (index)
    {
    case param::dry:
        return &controls.dry;
    case param::wet:
        return &controls.wet;
    case param::add12dB:
        return &controls.add12dB;
    case param::attackLevel:
        return &attackLevel;
    case param::attackTime:
        return &attackTime;
    case param::envelope:
        return &envelope;
    case param::length:
        return &length;
    case param::predelay:
        return &predelay;
    case param::stretch:
        return &stretch;
    case param::reverse:
        return &reverse;
    case param::stereoRouting:
        return &controls.stereoRouting;
    case param::stereo:
        return &stereo;
    case param::bypass:
        return &controls.bypass;
    case param::muteDry:
        return &controls.muteDry;
    case param::autogain:
        return &controls.autogain;
    case param::fileChecksum:
        return &fileChecksum;
    default:
        break;
    }
    if (index >= param::eqFirst && index <= param::eqLast)
        return &eqPoints[static_cast<std::size_t>(index - param::eqFirst)];
    if (index >= param::fileNameFirst && index <= param::fileNameLast)
        return &fileNameValues[static_cast<std::size_t>(index - param::fileNameFirst)];
    return nullptr;
}

void APlugin::setParameter(vst::VstInt32 index, float value)
{
    const unsigned tasks = storeParameter(index, value);
    if (tasks != 0)
        runHeavy(tasks);
    editorUpdate();
}

unsigned APlugin::storeParameter(int index, float value)
{
    std::atomic<float>* slot = valueSlot(index);
    if (slot == nullptr)
        return 0; // reserved: accepted and ignored
    const ParameterEffect effect = parameterInfo(index).effect;
    value = clampParameter(value);
    const float previous = slot->load(std::memory_order_relaxed);
    const bool onlyIfChanged = effect == ParameterEffect::add12dB || effect == ParameterEffect::bypass ||
                               effect == ParameterEffect::muteDry || effect == ParameterEffect::autogain;
    if (onlyIfChanged && previous == value)
        return 0;
    if (effect == ParameterEffect::bypass && previous == 0.0f)
        engine->requestReset();
    slot->store(value, std::memory_order_relaxed);
    programs[0]->setValue(index, value);

    switch (effect)
    {
    case ParameterEffect::dryFade:
    case ParameterEffect::muteDry:
        engine->requestDryFade();
        break;
    case ParameterEffect::wetFade:
    case ParameterEffect::add12dB:
    case ParameterEffect::bypass:
        engine->requestWetFade();
        break;
    case ParameterEffect::autogain:
        engine->requestWetFade();
        selectAutogainFactor();
        break;
    case ParameterEffect::predelay:
        updateDelaySamples(true);
        break;
    case ParameterEffect::recompute:
        return taskRecompute;
    case ParameterEffect::fileChecksum:
    case ParameterEffect::fileName:
        return taskFileCheck;
    case ParameterEffect::storeOnly:
    case ParameterEffect::none:
        break;
    }
    return 0;
}

void APlugin::setParameters(std::span<const ParameterValue> values, Automate automate)
{
    if (onAudioThread())
    {
        for (const ParameterValue& v : values)
            setParameter(v.index, v.value);
    }
    else
    {
        std::lock_guard lock(storeMutex);
        applyBatch(values);
    }
    editorUpdate();
    // Outside the lock: a host may answer an automation with a set of its own.
    if (automate == Automate::yes)
        for (const ParameterValue& v : values)
            callHost(vst::audioMasterAutomate, v.index, 0, nullptr, v.value);
}

void APlugin::applyBatch(std::span<const ParameterValue> values)
{
    // File checks keep their place among the values (the name completes the
    // check); the shaping waits for the last value.
    for (const ParameterValue& v : values)
        performTasks(storeParameter(v.index, v.value) & ~static_cast<unsigned>(taskRecompute));
    shapeResponse();
}

float APlugin::getParameter(vst::VstInt32 index)
{
    const std::atomic<float>* slot = valueSlot(index);
    return slot != nullptr ? slot->load(std::memory_order_relaxed) : 0.0f;
}

void APlugin::getParameterName(vst::VstInt32 index, char* text)
{
    copyText(text, parameterInfo(index).name);
}

void APlugin::getParameterLabel(vst::VstInt32 index, char* label)
{
    (void)index;
    copyText(label, "%");
}

void APlugin::getParameterDisplay(vst::VstInt32 index, char* text)
{
    // Two decimals with a point whatever the process locale says.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, getParameter(index),
                                      std::chars_format::fixed, 2);
    *result.ptr = '\0';
    copyText(text, buffer);
}

void APlugin::updateDelaySamples(bool rewriteCappedValue)
{
    const double samplesPerMs = static_cast<double>(sampleRateHz.load(std::memory_order_relaxed)) / 1000.0;
    const double delay = static_cast<double>(predelay.load(std::memory_order_relaxed)) * static_cast<double>(maxPredelayMs) * samplesPerMs;
    auto samples = static_cast<std::int32_t>(std::nearbyint(delay));
    if (samples > maxDelaySamples)
    {
        samples = maxDelaySamples;
        if (rewriteCappedValue)
        {
            // Keep the stored value in line with the delay actually applied.
            const auto capped = static_cast<float>(maxDelaySamples / (samplesPerMs * static_cast<double>(maxPredelayMs)));
            predelay.store(capped, std::memory_order_relaxed);
            programs[0]->setValue(param::predelay, capped);
        }
    }
    controls.delaySamples.store(samples, std::memory_order_relaxed);
}

std::string APlugin::pendingFileName() const
{
    // The name is exactly what the 127 values decode to; deriving it keeps
    // one source of truth when several threads set name values.
    std::string name(paddedFileNameLength, ' ');
    for (int i = 0; i < fileNameValueCount; ++i)
    {
        const auto chars = valueToChars(fileNameValues[static_cast<std::size_t>(i)].load(std::memory_order_relaxed));
        name[static_cast<std::size_t>(2 * i)] = chars[0];
        name[static_cast<std::size_t>(2 * i + 1)] = chars[1];
    }
    return name;
}

std::string APlugin::getLoadedFileName() const
{
    std::lock_guard lock(storeMutex);
    return loadedFileName;
}

// ------------------------------------------------------------- heavy work

bool APlugin::onAudioThread()
{
    // Where the host tells its threads apart, believe it: real-time (and
    // prefetch) threads never wait, offline and user threads may.
    if (constructed.load(std::memory_order_acquire))
    {
        switch (getCurrentProcessLevel())
        {
        case vst::kVstProcessLevelRealtime:
        case vst::kVstProcessLevelPrefetch:
            return true;
        case vst::kVstProcessLevelUser:
        case vst::kVstProcessLevelOffline:
            return false;
        default:
            break;
        }
    }
    // Otherwise any thread but the one that built us may be an audio thread,
    // from its very first call on; an offline host that processes on the
    // creating thread stays synchronous.
    return std::this_thread::get_id() != creatorThread;
}

void APlugin::runHeavy(unsigned tasks)
{
    if (onAudioThread())
    {
        pendingTasks.fetch_or(tasks, std::memory_order_acq_rel);
        worker->wake();
        return;
    }
    std::lock_guard lock(storeMutex);
    performTasks(tasks);
}

void APlugin::runPendingTasks()
{
    std::lock_guard lock(storeMutex);
    performTasks(pendingTasks.exchange(0, std::memory_order_acq_rel));
}

bool APlugin::backgroundWorkPending() const
{
    return pendingTasks.load(std::memory_order_acquire) != 0 || worker->busy();
}

void APlugin::performTasks(unsigned tasks)
{
    // In the order a synchronous caller would have seen them.
    if ((tasks & taskRateChange) != 0)
        followSampleRate();
    if ((tasks & taskProgram) != 0)
        applyProgram();
    if ((tasks & taskFileCheck) != 0)
        fileCheck();
    if ((tasks & taskRecompute) != 0)
        shapeResponse();
}

bool APlugin::recalculate()
{
    std::lock_guard lock(storeMutex);
    return shapeResponse();
}

bool APlugin::shapeResponse()
{
    ShapingInputs inputs;
    for (std::size_t i = 0; i < eqPoints.size(); ++i)
        inputs.eqPoints[i] = eqPoints[i].load(std::memory_order_relaxed);
    inputs.attackLevel = attackLevel.load();
    inputs.attackTime = attackTime.load();
    inputs.envelope = envelope.load();
    inputs.length = length.load();
    inputs.stereo = stereo.load();
    inputs.reverse = reverse.load();
    inputs.stretch = stretch.load();
    return wavFile->calculateDestWave(inputs);
}

void APlugin::fileCheck()
{
    const std::string pending = pendingFileName();
    if (!checksumMatches(pending, fileChecksum.load(std::memory_order_relaxed)))
        return;
    if (pending == loadedFileName)
        return; // already in use
    const std::string path = pending.substr(0, pending.find_last_not_of(' ') + 1);
    if (!fileExists(path))
        return;

    if (!loadResponse(path).loaded)
        return;
    loadedFileName = pending;
    const auto encoded = fileNameToValues(pending);
    for (int i = 0; i < fileNameValueCount; ++i)
        fileNameValues[static_cast<std::size_t>(i)].store(encoded[static_cast<std::size_t>(i)],
                                                           std::memory_order_relaxed);
    fileChanged.store(true, std::memory_order_release);
}

// ----------------------------------------------------------------- programs

void APlugin::setProgram(vst::VstInt32 program)
{
    if (editorClosed.load(std::memory_order_acquire))
        return;
    if (program != 0)
        return;
    curProgram = 0;
    runHeavy(taskProgram);
    editorUpdate();
}

void APlugin::applyProgram()
{
    const APluginProgram& record = *programs[0];
    std::vector<ParameterValue> values;
    values.reserve(parameterCount);
    for (const int index : programApplyOrder)
        values.push_back({index, record.value(index)});
    for (int index = param::eqFirst; index <= param::eqLast; ++index)
        values.push_back({index, record.value(index)});
    for (int index = param::fileNameFirst; index <= param::fileNameLast; ++index)
        values.push_back({index, record.value(index)});
    applyBatch(values);
}

void APlugin::setProgramName(char* name)
{
    programs[0]->setName(name);
    if (!editorClosed.load(std::memory_order_acquire))
        editorUpdate();
}

void APlugin::getProgramName(char* name)
{
    copyText(name, programs[0]->getName());
}

bool APlugin::getProgramNameIndexed(vst::VstInt32 category, vst::VstInt32 index, char* text)
{
    (void)category;
    if (index != 0)
        return false;
    copyText(text, programs[0]->getName());
    return true;
}

// ------------------------------------------------------------- host strings

bool APlugin::getEffectName(char* name)
{
    copyText(name, effectName);
    return true;
}

bool APlugin::getVendorString(char* text)
{
    copyText(text, vendorName);
    return true;
}

bool APlugin::getProductString(char* text)
{
    copyText(text, productName);
    return true;
}

vst::VstInt32 APlugin::canDo(char* text)
{
    if (std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0)
        return 0;
    return -1;
}

bool APlugin::getOutputProperties(vst::VstInt32 index, vst::VstPinProperties* properties)
{
    if (index < 0 || index >= 2)
        return false;
    std::snprintf(properties->label, sizeof properties->label, "TAM  %d", index + 1);
    properties->flags = vst::kVstPinIsActive | vst::kVstPinIsStereo;
    return true;
}

vst::VstInt32 APlugin::processEvents(vst::VstEvents* events)
{
    (void)events;
    return 1;
}

// ------------------------------------------------------- editor operations

void APlugin::resetEngine()
{
    engine->requestReset();
}

void APlugin::setDcc(bool on)
{
    if (on == engine->getDynamicCpu())
        return;
    engine->setDynamicCpu(on);
    WriteSettingInt("using_dcc", on ? 1 : 0);
}

std::string APlugin::getDefaultFileText() const
{
    return defaultFile.empty() ? noDefaultFile : defaultFile;
}

void APlugin::setDefaultFile(const std::string& name)
{
    WriteSettingString("default_file", name);
    defaultFile = name;
}

void APlugin::editorUpdate()
{
    if (editor != nullptr)
        editor->update();
}

} // namespace tam
