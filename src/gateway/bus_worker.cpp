#include "bus_worker.h"

#include "devices/modbus_slave.h"
#include "devices/r_base.h"
#include "points/point_text.h"
#include "points/slot_identity.h"
#include "transport/modbus.h"
#include "workspace/core/search_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavo::gateway {
namespace {

bool SameLimit(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

bool SameInfo(const std::vector<PointInfo>& a, const std::vector<PointInfo>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const PointInfo& x, const PointInfo& y) {
        return x.name == y.name && x.kind == y.kind && x.unit == y.unit && SameLimit(x.min, y.min) &&
               SameLimit(x.max, y.max) && x.writable == y.writable && x.decimals == y.decimals;
    });
}

LinkKind LinkOf(PointProtocol protocol) {
    switch (protocol) {
    case PointProtocol::Ascii: return LinkKind::AsciiPlain;
    case PointProtocol::AsciiChecksum: return LinkKind::AsciiChecksum;
    case PointProtocol::Modbus: return LinkKind::ModbusRtu;
    }
    return LinkKind::AsciiPlain;
}

std::string Hex2(int value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

} // namespace

std::string KeyText(const ModuleKey& key) { return key.bus + "/" + LocationText(key.where); }

struct BusWorker::Module {
    ModuleConfig config;
    ModuleKey key;
    std::unique_ptr<ModulePoints> points;
    std::vector<std::string> writable; // the configured ones the model can write
    std::string firmware;
    bool firmwareTried = false;
    bool dropped = false; // identified as a model without points: not polled again
    std::string slotMissingSaid; // the last reason logged why its slot has no module
    std::string noticeSaid;      // the points' last notice logged
    enum class Availability { Unknown, Online, Offline } availability = Availability::Unknown;
    int failures = 0; // polls in a row that got no answer
    bool rereadConfiguration = false;
    bool described = false;
    std::vector<PointInfo> describedPoints;
    std::string describedFirmware;
};

BusWorker::BusWorker(BusConfig config, LogSink log)
    : config_(std::move(config)), log_(std::move(log)),
      port_(std::make_unique<TavoComPort>(config_.port)) {
    for (const ModuleConfig& m : config_.modules) {
        auto module = std::make_unique<Module>();
        module->config = m;
        module->key = {config_.name, m.where};
        modules_.push_back(std::move(module));
    }
}

BusWorker::~BusWorker() { Stop(); }

void BusWorker::AddListener(std::shared_ptr<EventQueue> queue) { listeners_.push_back(std::move(queue)); }

bool BusWorker::Open(std::string& error) {
    const LineSettings& l = config_.line;
    if (!port_->OpenPort()) {
        error = "cannot open " + config_.port + " (bus " + config_.name + "): " + port_->LastError().text;
        return false;
    }
    if (!port_->SetPortState(l.baud, l.dataBits, l.parity, l.stopBits)) {
        error = "cannot set " + config_.port + " (bus " + config_.name + ") to " +
                LineSettingsText(l) + ": " + port_->LastError().text;
        port_->ClosePort();
        return false;
    }
    port_->SetTimeOut(config_.timeoutMs);
    opened_ = true;
    return true;
}

void BusWorker::Start() {
    if (thread_.joinable()) return;
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
}

void BusWorker::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool BusWorker::Submit(WriteRequest request, std::string& error) {
    {
        std::lock_guard lock(mutex_);
        if (stop_) {
            error = "bus " + config_.name + " is stopping";
            return false;
        }
        if (writes_.size() >= kMaxQueuedWrites) {
            error = "bus " + config_.name + " has " + std::to_string(kMaxQueuedWrites) +
                    " commands waiting already; send it again later";
            return false;
        }
        writes_.push_back(std::move(request));
    }
    wake_.notify_all();
    return true;
}

void BusWorker::Send(const BusEvent& event) {
    for (const auto& queue : listeners_) queue->Push(event);
}

void BusWorker::Run() {
    // Device objects made on this thread (by the points and the probe) take the
    // bus's own Modbus pause.
    TavoModbusCOM::SetThreadTurnaroundDelay(config_.turnaroundMs);
    port_->SetLinkListener([this](bool lost, const std::string& why) { PortLost(lost, why); });
    for (auto& m : modules_) {
        if (m->config.model.empty()) continue;
        std::string why;
        auto points = MakeModulePoints(m->config.model, m->config.where, why);
        if (points) {
            Adopt(*m, std::move(points));
        } else {
            log_(KeyText(m->key) + ": " + why + "; it is left out");
            m->dropped = true;
        }
    }
    while (true) {
        {
            std::lock_guard lock(mutex_);
            if (stop_) break;
        }
        const auto start = Clock::now();
        Cycle();
        if (!WaitForWrites(start + std::chrono::milliseconds(config_.pollMs))) break;
    }
    port_->SetLinkListener(nullptr);
}

bool BusWorker::WaitForWrites(Clock::time_point until) {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (!writes_.empty()) {
            lock.unlock();
            DoWrites();
            lock.lock();
            continue;
        }
        if (wake_.wait_until(lock, until) == std::cv_status::timeout && writes_.empty())
            return !stop_;
    }
    return false;
}

bool BusWorker::EnsureOpen() {
    if (opened_) return true;
    std::string error;
    if (Open(error)) {
        if (openFailureSaid_) log_("bus " + config_.name + ": port " + config_.port + " is open");
        return true;
    }
    if (!openFailureSaid_) {
        log_("bus " + config_.name + ": " + error + "; trying again every poll cycle");
        openFailureSaid_ = true;
        for (auto& m : modules_) SetOnline(*m, false);
    }
    return false;
}

void BusWorker::Cycle() {
    if (!EnsureOpen()) return;
    for (auto& m : modules_) {
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
        }
        DoWrites();
        Poll(*m, false);
    }
    DoWrites();
}

void BusWorker::Poll(Module& m, bool afterWrite) {
    if (m.dropped) return;
    if (!m.points && !Identify(m)) {
        SetOnline(m, false);
        return;
    }
    const bool ok = m.points->ReadAll(*port_, m.rereadConfiguration);
    if (ok) m.rereadConfiguration = false;
    ModuleState state;
    state.key = m.key;
    state.time = std::chrono::system_clock::now();
    state.readings = m.points->Readings();
    state.answered = ok;
    state.afterWrite = afterWrite;
    if (m.points->Notice() != m.noticeSaid) {
        m.noticeSaid = m.points->Notice();
        if (!m.noticeSaid.empty()) log_(KeyText(m.key) + ": " + m.noticeSaid);
    }
    // The description first: the state's readings follow its points.
    Describe(m);
    Send(state);
    SetOnline(m, ok);
    if (ok && !m.firmwareTried) {
        ReadFirmware(m);
        Describe(m);
    }
}

bool BusWorker::Identify(Module& m) {
    const ModuleLocation& where = m.config.where;
    std::string designation;
    if (where.slot >= 0) {
        // The rack says what sits in the slot, and in the name its points are made by.
        SlotLookup lookup = SlotLookup::NoAnswer;
        std::string error;
        const auto slot = IdentifySlot(*port_, where, lookup, error);
        if (!slot) {
            if (lookup != SlotLookup::NoAnswer && error != m.slotMissingSaid)
                log_(KeyText(m.key) + ": " + error + "; asking again every cycle");
            m.slotMissingSaid = lookup == SlotLookup::NoAnswer ? std::string() : error;
            return false;
        }
        m.slotMissingSaid.clear();
        designation = slot->model;
    } else {
        // The name, as the search asks for it; the tree's slot and channel nodes are
        // of no use here.
        TavoRBase prober(port_.get());
        const auto name =
            IdentifyModule(prober, where.address, static_cast<int>(LinkOf(where.protocol)));
        port_->CancelQuietWait();
        if (!name) return false;
        designation = *name;
    }
    std::string why;
    auto points = MakeModulePoints(designation, where, why);
    if (!points) {
        log_(KeyText(m.key) + ": " + why + "; it is left out");
        m.dropped = true;
        return false;
    }
    log_(KeyText(m.key) + ": the module is a " + designation);
    Adopt(m, std::move(points));
    return true;
}

void BusWorker::Adopt(Module& m, std::unique_ptr<ModulePoints> points) {
    m.points = std::move(points);
    m.writable.clear();
    for (const PointInfo& info : m.points->Points()) {
        if (std::find(m.config.writable.begin(), m.config.writable.end(), info.name) ==
            m.config.writable.end())
            continue;
        if (info.writable) m.writable.push_back(info.name);
        else log_(KeyText(m.key) + ": " + info.name + " of the " + m.points->Model() +
                  " cannot be written; it stays read-only");
    }
    for (const std::string& name : m.config.writable)
        if (m.points->IndexOf(name) < 0)
            log_(KeyText(m.key) + ": the " + m.points->Model() + " has no point " + name +
                 " to make writable");
    Describe(m);
}

void BusWorker::ReadFirmware(Module& m) {
    m.firmwareTried = true;
    // A slot module's firmware is its own, and the controller's reads would name the
    // controller's.
    if (m.config.where.slot >= 0) return;
    TavoRBase base(port_.get(), Hex2(m.config.where.address));
    std::string firmware;
    bool ok = false;
    if (m.config.where.protocol == PointProtocol::Modbus) {
        ok = ModbusSlave(base.GetModbus(), m.config.where.address).ReadFirmware(firmware);
    } else {
        port_->SetCheckSum(m.config.where.protocol == PointProtocol::AsciiChecksum);
        ok = base.ReadFirmwareVersion(firmware);
    }
    if (ok) m.firmware = firmware;
}

void BusWorker::Describe(Module& m) {
    const auto& points = m.points->Points();
    if (m.described && SameInfo(points, m.describedPoints) && m.firmware == m.describedFirmware) return;
    ModuleDescription d;
    d.key = m.key;
    d.model = m.points->Model();
    d.firmware = m.firmware;
    d.name = m.config.name;
    d.points = points;
    d.writable = m.writable;
    Send(d);
    m.described = true;
    m.describedPoints = points;
    m.describedFirmware = m.firmware;
}

void BusWorker::SetOnline(Module& m, bool online) {
    using A = Module::Availability;
    if (online) {
        m.failures = 0;
        if (m.availability == A::Online) return;
        m.availability = A::Online;
        Send(ModuleAvailability{m.key, true});
        log_(KeyText(m.key) + " is online");
        return;
    }
    ++m.failures;
    if (m.availability == A::Offline || (m.failures < config_.offlineAfter && opened_)) return;
    m.availability = A::Offline;
    m.rereadConfiguration = true;
    Send(ModuleAvailability{m.key, false});
    if (!opened_) return; // the port's line says why
    const std::string why = port_->LastError().text;
    log_(KeyText(m.key) + " is offline: no answer to " + std::to_string(m.failures) +
         " polls in a row" + (why.empty() ? "" : " (" + why + ")"));
}

// Runs on the worker's thread, inside the request that noticed.
void BusWorker::PortLost(bool lost, const std::string& why) {
    if (!lost) {
        log_("bus " + config_.name + ": port " + config_.port + " is back");
        return;
    }
    log_("bus " + config_.name + ": port " + config_.port + " lost (" + why +
         "); its modules are offline until it is back");
    for (auto& m : modules_) {
        if (m->availability == Module::Availability::Offline) continue;
        m->availability = Module::Availability::Offline;
        m->failures = std::max(m->failures, config_.offlineAfter);
        m->rereadConfiguration = true;
        Send(ModuleAvailability{m->key, false});
    }
}

void BusWorker::DoWrites() {
    while (true) {
        WriteRequest request;
        {
            std::lock_guard lock(mutex_);
            if (writes_.empty() || stop_) return;
            request = std::move(writes_.front());
            writes_.pop_front();
        }
        DoWrite(request);
    }
}

void BusWorker::DoWrite(const WriteRequest& request) {
    WriteDone done{request.key, request.point, request.value, false, {}, request.tag};
    Module* m = nullptr;
    for (auto& candidate : modules_)
        if (candidate->config.where == request.key.where) m = candidate.get();
    if (!m) {
        done.error = "there is no module " + LocationText(request.key.where) + " on bus " + config_.name;
    } else if (!m->points) {
        done.error = KeyText(m->key) + (m->dropped ? " has no points" : " has not answered yet, so its model is not known");
    } else if (m->points->CheckWrite(request.point, FormatPointNumber(request.value, 9), done.error)) {
        if (std::find(m->writable.begin(), m->writable.end(), request.point) == m->writable.end())
            done.error = request.point + " of " + KeyText(m->key) +
                         " is not writable here: list it under 'writable' in the configuration";
        else
            done.ok = m->points->Write(*port_, request.point, request.value, done.error);
    }
    if (done.ok) done.error.clear();
    if (auto queue = request.replyTo.lock()) queue->Push(done);
    if (done.ok) Poll(*m, true);
}

} // namespace tavo::gateway
