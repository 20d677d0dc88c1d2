#include "pause.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace tavo {
namespace {
std::atomic<PauseHook> g_hook{nullptr};
} // namespace

void Pause(int ms) {
    if (ms <= 0) return;
    if (const PauseHook hook = g_hook.load()) hook(ms);
    else LineWait(ms);
}

PauseHook SetPauseHook(PauseHook hook) { return g_hook.exchange(hook); }

void LineWait(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace tavo
