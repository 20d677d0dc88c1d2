#include "sim_bus.h"

#include <stdexcept>

namespace tavo::test {

Exchange Send(TavoComPort& port, const std::string& command) {
    std::string line = command + "\r", reply;
    // A bare "#AA" is the data read, answered by a '>' reading.
    const bool read = command.size() == 3 && command[0] == '#';
    const bool ok = port.SendCommand(line, TavoComPort::kReplyLimit, &reply,
                                     read ? ReplyLayout::Value : ReplyLayout::Addressed);
    return {ok, reply};
}

SimBus::SimBus(const std::string& busText) {
    std::string error;
    if (!sim::LoadBusText(busText, bus_, error)) throw std::runtime_error("bus text: " + error);
    server_ = std::make_unique<sim::PtyServer>(bus_);
    if (!server_->Start(error)) throw std::runtime_error(error);
}

SimBus::~SimBus() {
    tcp_.reset();
    server_->Stop();
}

std::string SimBus::ServeTcp() {
    if (!tcpPort_) tcpPort_ = std::make_unique<ReservedPort>();
    tcp_ = std::make_unique<sim::TcpServer>(bus_);
    std::string error;
    if (!tcp_->Start(error, tcpPort_->number())) throw std::runtime_error(error);
    return "tcp://127.0.0.1:" + std::to_string(tcp_->Port());
}

sim::SimModule& SimBus::module(unsigned address) {
    sim::SimModule* m = bus_.Find(address);
    if (!m) throw std::runtime_error("no simulated module at that address");
    return *m;
}

std::unique_ptr<TavoComPort> SimBus::Open(int timeoutMs, std::uint32_t baud) {
    auto port = std::make_unique<TavoComPort>(path());
    if (!port->OpenPort() || !port->SetPortState(baud, 8, kParityNone, kOneStopBit))
        throw std::runtime_error("cannot open simulated port: " + port->LastError().text);
    port->SetTimeOut(timeoutMs);
    return port;
}

} // namespace tavo::test
