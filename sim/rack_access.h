// What tests reach of a simulated rack controller, through SimModule::Find. Kept
// apart from rack_slots.h so that code that also sees Qt's keywords can use it.
#pragma once

#include "module.h"

namespace tavo::sim {

class Rack;
class SimSlot;

class RackAccess {
public:
    virtual ~RackAccess() = default;
    virtual Rack& rack() = 0;
    // The slot module in slot i, or null.
    virtual SimSlot* slot(int i) = 0;
    // Sets what slot i's inputs see from `start` on (SimSlot::SetInputs); false,
    // with the reason in `why`, for an empty slot or a text it cannot take.
    virtual bool SetSlotInputs(int i, std::string_view text, TimePoint start, std::string& why) = 0;
    // The communication watchdog: time-out in seconds, slot mask, and how often it
    // has run out so far.
    virtual int WatchdogSeconds() const = 0;
    virtual unsigned WatchdogMask() const = 0;
    virtual int WatchdogTrips() const = 0;
    // Brings the time-dependent state (the watchdog) up to `now` as if the master
    // had said nothing since its last command: a test's way to let time pass.
    virtual void Idle(TimePoint now) = 0;
    // Slot i's module is pulled out (it and the controller stay silent for it) or
    // put back with the state it had.
    virtual void SetSlotPulled(int i, bool pulled) = 0;
};

} // namespace tavo::sim
