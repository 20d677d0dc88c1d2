// The messages between a bus worker and the front ends that publish its modules
// (MQTT, and any other that listens): what a module is, what a poll read, whether it
// answers, and writes asked for with their answers. A worker sends every event to
// every listener queue it has; a write's answer goes only to the queue that asked.
#pragma once

#include "message_queue.h"

#include "points/module_points.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace tavo::gateway {

struct ModuleKey {
    std::string bus;
    ModuleLocation where;
    friend bool operator==(const ModuleKey&, const ModuleKey&) = default;
};
// "line1/52", "line1/40S2": how logs name a module.
std::string KeyText(const ModuleKey& key);

// What a module is. Sent when it has been identified and again whenever its points'
// units or limits change (its ranges were read) or its firmware became known.
struct ModuleDescription {
    ModuleKey key;
    std::string model;
    std::string firmware; // empty while unknown
    std::string name;     // the configuration's name for it; may be empty
    std::vector<PointInfo> points;
    // The configured writable points the model really can write, in point order.
    std::vector<std::string> writable;
};

// What one poll of a module read. `answered` false: every reading is Failed.
struct ModuleState {
    ModuleKey key;
    std::chrono::system_clock::time_point time; // when the poll ended
    std::vector<PointReading> readings;          // in the order of the description's points
    bool answered = false;
    bool afterWrite = false; // the read that follows a good write: publish it whatever changed
};

// The module answers again (online) or has stopped answering (offline_after polls in
// a row failed, or its port was lost).
struct ModuleAvailability {
    ModuleKey key;
    bool online = false;
};

// The answer to a write: the module took it, or why not.
struct WriteDone {
    ModuleKey key;
    std::string point;
    double value = 0.0;
    bool ok = false;
    std::string error; // one line when !ok
    std::uint64_t tag = 0;
};

using BusEvent = std::variant<ModuleDescription, ModuleState, ModuleAvailability, WriteDone>;
using EventQueue = MessageQueue<BusEvent>;

// A write asked of a worker. The value has been parsed for the point's kind; the
// worker checks it against the configuration and the point's limits again.
struct WriteRequest {
    ModuleKey key;
    std::string point;
    double value = 0.0;
    std::uint64_t tag = 0;                // the sender's own number for it
    std::weak_ptr<EventQueue> replyTo;    // gets the WriteDone; may be gone by then
};

// Where front ends send writes: the worker of the key's bus.
class WriteTarget {
public:
    virtual ~WriteTarget() = default;
    // False with one line in `error` when the request cannot even be queued (nothing
    // is then answered through the queue).
    virtual bool Submit(WriteRequest request, std::string& error) = 0;
};

} // namespace tavo::gateway
