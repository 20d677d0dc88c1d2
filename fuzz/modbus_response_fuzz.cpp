// Modbus responses of every function code from any bytes, in any chunk sizes, with
// time-outs and I/O errors. Data are handed out only from a frame that is really
// there: the request's slave and function, the byte count the request asks for (or
// the request's echo), and a valid CRC.
#include "scripted_backend.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes WithCrc(Bytes frame) {
    const auto crc = tavo::TavoModbusCOM::CalcCRC(frame.data(), frame.size());
    frame.push_back(crc[0]);
    frame.push_back(crc[1]);
    return frame;
}

// Whether `frame` came over the line as it is.
bool Served(const Bytes& served, const Bytes& frame) {
    return std::search(served.begin(), served.end(), frame.begin(), frame.end()) != served.end();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    auto owned = std::make_unique<tavo::fuzz::ScriptedBackend>(data + 4, size - 4);
    tavo::fuzz::ScriptedBackend* line = owned.get();
    tavo::TavoComPort port("fuzz", std::move(owned));
    if (!port.OpenPort()) return 0;
    port.SetTimeOut(1);
    tavo::TavoModbusCOM modbus(&port);
    modbus.SetTurnaroundDelay(0);
    const int slave = data[0] % 4 + 1; // a few slaves, so that fuzzed frames hit them
    const int first = data[2] % 8 + 1;
    const int count = data[3] % 8 + 1;
    const std::uint8_t values[2] = {data[2], data[3]};
    static const int kFunctions[] = {0x01, 0x03, 0x20, 0x05, 0x06, 0x0F, 0x10};
    const int function = kFunctions[data[1] % std::size(kFunctions)];
    bool sent = false;
    switch (function) {
    case 0x01: sent = modbus.ReadCoils(slave, first, count); break;
    case 0x03: sent = modbus.ReadHoldingRegisters(slave, first, count); break;
    case 0x20: sent = modbus.ReadFunction32(slave, first, count); break;
    case 0x05: sent = modbus.WriteSingleCoil(slave, first, data[3] & 1); break;
    case 0x06: sent = modbus.WriteSingleRegister(slave, first, data[3]); break;
    case 0x0F: sent = modbus.WriteMultipleCoils(slave, first, count, 1, values); break;
    case 0x10: sent = modbus.WriteMultipleRegisters(slave, first, 1, 2, values); break;
    }
    if (!sent) return 0;
    const auto s = static_cast<std::uint8_t>(slave);
    const auto f = static_cast<std::uint8_t>(function);
    if (function == 0x01 || function == 0x03 || function == 0x20) {
        std::vector<std::uint8_t> got;
        if (!modbus.ReadResponse(got)) return 0;
        const std::size_t expected = function == 0x01 ? (count + 7) / 8 : 2 * count;
        if (got.size() != expected) std::abort();
        Bytes frame{s, f, static_cast<std::uint8_t>(got.size())};
        frame.insert(frame.end(), got.begin(), got.end());
        if (!Served(line->served, WithCrc(frame))) std::abort();
    } else {
        if (!modbus.WriteResponse()) return 0;
        // The echo is the request's first six bytes.
        Bytes echo;
        for (std::size_t i = 0; i < 6; ++i)
            echo.push_back(static_cast<std::uint8_t>(
                std::stoi(modbus.RequestText().substr(2 * i, 2), nullptr, 16)));
        if (echo[0] != s || echo[1] != f || !Served(line->served, WithCrc(echo))) std::abort();
    }
    return 0;
}
