#include "editor/APluginEditor.h"

#include "core/APlugin.h"
#include "editor/TPluginEditorWindow.h"

#include <cstdint>

namespace tam
{

namespace
{

constexpr auto tickInterval = std::chrono::milliseconds(TPluginEditorWindow::timerIntervalMs);

} // namespace

APluginEditor::APluginEditor(APlugin* owner) : AEffEditor(owner), plugin(owner), windowFactory(&NativeWindow::create) {}

APluginEditor::~APluginEditor()
{
    retired.clear();
    if (window)
    {
        plugin->editorClosed.store(true, std::memory_order_release);
        window.reset();
        parentWindow = nullptr;
    }
}

void APluginEditor::attachTo(APlugin& plugin)
{
    plugin.attachEditor(std::make_unique<APluginEditor>(&plugin), windowSupported());
}

bool APluginEditor::windowSupported()
{
    return NativeWindow::supported();
}

void APluginEditor::setWindowFactory(NativeWindowFactory factory)
{
    windowFactory = std::move(factory);
}

vst::VstInt32 APluginEditor::getRect(vst::ERect** out)
{
    rect.top = 0;
    rect.left = 0;
    const Size size = window ? window->clientSize() : Size{TPluginEditorWindow::designWidth, TPluginEditorWindow::designHeight};
    rect.bottom = static_cast<std::int16_t>(size.height);
    rect.right = static_cast<std::int16_t>(size.width);
    *out = &rect;
    return 1;
}

vst::VstInt32 APluginEditor::open(void* ptr)
{
    releaseRetired();
    if (openCount == 0 || !window)
    {
        auto created = std::make_unique<TPluginEditorWindow>(*plugin);
        std::unique_ptr<NativeWindow> native =
            windowFactory ? windowFactory(ptr, TPluginEditorWindow::designWidth, TPluginEditorWindow::designHeight, *created) : nullptr;
        if (!native)
            return 0; // no display, or the host's window is not usable: nothing changes
        selfServiced = native->serviceItself(TPluginEditorWindow::timerIntervalMs, [this](bool tick) { service(tick); });
        created->attach(std::move(native));
        window = std::move(created);
        mirrorStale.store(false, std::memory_order_release);
        window->loadMirror();
    }
    parentWindow = ptr;
    ++openCount;
    plugin->editorClosed.store(false, std::memory_order_release);

    window->flush();
    window->showWindow();
    // Every control shows the plug-in's state before the first tick.
    window->updaterTimer();
    window->flush();
    nextTick = Clock::now() + tickInterval;
    return 1;
}

void APluginEditor::close()
{
    if (window)
        window->hideWindow();
    --openCount;
    if (openCount < 0)
        openCount = 0;
    if (openCount == 0)
    {
        plugin->editorClosed.store(true, std::memory_order_release);
        const NativeWindow* native = window ? window->getNativeWindow() : nullptr;
        if (servicing > 0 || (native != nullptr && native->dispatching()))
            retired.push_back(std::move(window)); // a handler of it still runs; hidden above
        window.reset();
        parentWindow = nullptr;
    }
}

void APluginEditor::releaseRetired()
{
    if (servicing > 0)
        return;
    std::erase_if(retired,
                  [](const std::unique_ptr<TPluginEditorWindow>& w)
                  { return w->getNativeWindow() == nullptr || !w->getNativeWindow()->dispatching(); });
}

void APluginEditor::service(bool tick)
{
    releaseRetired();
    TPluginEditorWindow* current = window.get();
    if (current == nullptr)
        return;
    // The refresh never runs inside a handler or inside itself (a message box
    // it shows pumps the timer again); the screen is brought up to date anyway.
    ++servicing;
    if (tick && servicing == 1 && !current->getNativeWindow()->dispatching())
        refresh();
    current->flush(); // still alive: a close meanwhile only retires it
    --servicing;
    releaseRetired();
}

void APluginEditor::idle()
{
    releaseRetired();
    if (!window || selfServiced)
        return;
    window->processEvents();
    const Clock::time_point now = Clock::now();
    if (now >= nextTick)
    {
        refresh();
        // Keep a 100 ms rhythm on average; after a stall start afresh.
        nextTick += tickInterval;
        if (nextTick <= now)
            nextTick = now + tickInterval;
    }
    window->flush();
}

void APluginEditor::refresh()
{
    if (mirrorStale.exchange(false, std::memory_order_acq_rel))
        window->loadMirror();
    window->updaterTimer();
}

vst::VstInt32 APluginEditor::onKeyDown(vst::VstKeyCode& keyCode)
{
    constexpr vst::VstInt32 carriageReturn = '\r';
    if (!window || keyCode.character != carriageReturn || window->currentMessage().empty())
        return -1; // not used: the host keeps the key
    window->onKeyDown(Key::enter);
    return 1;
}

void APluginEditor::update()
{
    mirrorStale.store(true, std::memory_order_release);
}

} // namespace tam
