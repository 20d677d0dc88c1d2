#include "digital_io_points.h"

#include "families.h"
#include "point_text.h"

#include "devices/modbus_slave.h"
#include "devices/models_digital.h"
#include "transport/modbus.h"

namespace tavo {
namespace {

std::vector<PointInfo> ChannelPoints(const DigitalIoModel& row, std::vector<PointInfo> more) {
    std::vector<PointInfo> points;
    for (int c = 0; c < row.inputs; ++c)
        points.push_back(DigitalPoint("di" + std::to_string(c), PointKind::DigitalInput));
    for (int c = 0; c < row.outputs; ++c)
        points.push_back(DigitalPoint("do" + std::to_string(c), PointKind::DigitalOutput));
    points.insert(points.end(), std::make_move_iterator(more.begin()),
                  std::make_move_iterator(more.end()));
    return points;
}

bool IsCounterModel(std::string_view model) {
    return model == "R710" || model == "R710D";
}

} // namespace

PointInfo DigitalPoint(std::string name, PointKind kind) {
    PointInfo info;
    info.name = std::move(name);
    info.kind = kind;
    info.min = 0;
    info.max = 1;
    info.writable = kind == PointKind::DigitalOutput;
    info.decimals = 0;
    return info;
}

PointInfo CountPoint(std::string name) {
    PointInfo info;
    info.name = std::move(name);
    info.kind = PointKind::Counter;
    info.min = 0;
    info.max = 4294967295.0;
    info.decimals = 0;
    return info;
}

PointInfo FrequencyPoint(std::string name, double max, int decimals) {
    PointInfo info;
    info.name = std::move(name);
    info.kind = PointKind::Frequency;
    info.unit = "Hz";
    info.min = 0;
    info.max = max;
    info.decimals = decimals;
    return info;
}

std::string WriteFailure(const ModulePoints& points, const std::string& name, double value,
                         const PortError& failure, int modbusException, const std::string& reason) {
    std::string what;
    if (modbusException != 0)
        what = "the module refused it (Modbus exception " + std::to_string(modbusException) + ")";
    else if (failure.kind == PortError::Kind::Refused)
        what = "the module refused it";
    else if (failure.kind == PortError::Kind::Timeout)
        what = "the module did not answer";
    else if (!failure.text.empty())
        what = failure.text;
    else
        what = "the module's answer was not the one the write asks for";
    return points.Model() + " at " + LocationText(points.Location()) + " did not take " + name +
           " = " + FormatPointNumber(value, 9) + ": " + what +
           (reason.empty() ? "" : "; " + reason);
}

// ---------------------------------------------------------------- the state

DigitalIoPoints::DigitalIoPoints(const DigitalIoModel& row, const ModuleLocation& where,
                                 std::vector<PointInfo> more)
    : ModulePoints(std::string(row.model), where, ChannelPoints(row, std::move(more))), row_(row) {}

bool DigitalIoPoints::Take(const PortExchange& exchange) {
    // A Modbus slave and an ASCII module may share a number on a mixed bus: only
    // this module's protocol is its own.
    if (exchange.modbus != Modbus()) return false;
    if (exchange.modbus) {
        const auto request = ParseModbusRequest(exchange);
        if (!request || request->slave != Location().address) return false;
        if (request->function == 0x01) TakeCoils(*request, exchange);
        TakeModbus(*request, exchange);
        return true;
    }
    const auto request = ParseAsciiRequest(exchange);
    if (!request || request->address != Location().address) return false;
    if (request->lead == '$' && request->body == "6")
        TakeState(exchange);
    else
        TakeAscii(*request, exchange);
    return true;
}

void DigitalIoPoints::TakeState(const PortExchange& exchange) {
    // The state read's reply carries its data right after the '!', no address.
    const auto data = exchange.ok ? ReplyDataAfter(exchange.reply, '!', 1) : std::nullopt;
    DioReading reading;
    const bool ok = data && DecodeDioState(row_.layout, *data, reading);
    for (int c = 0; c < row_.inputs; ++c) {
        if (ok && reading.inputs)
            SetGood(c, (*reading.inputs >> c) & 1);
        else
            SetBad(c, PointQuality::Failed);
    }
    for (int c = 0; c < row_.outputs; ++c) {
        if (ok && reading.outputs)
            SetGood(OutputIndex(c), (*reading.outputs >> c) & 1);
        else
            SetBad(OutputIndex(c), PointQuality::Failed);
    }
    StateTaken();
}

// Coils are decoded by number, whatever block they came in.
void DigitalIoPoints::TakeCoils(const ModbusRequest& request, const PortExchange& exchange) {
    const auto data = ModbusReadData(exchange, request);
    bool any = false;
    for (int i = 0; i < request.count; ++i) {
        const int coil = request.first + i;
        int index = -1;
        if (coil >= kFirstInputCoil && coil < kFirstInputCoil + row_.inputs)
            index = coil - kFirstInputCoil;
        else if (coil >= kFirstOutputCoil && coil < kFirstOutputCoil + row_.outputs)
            index = OutputIndex(coil - kFirstOutputCoil);
        if (index < 0) continue;
        any = true;
        if (data)
            SetGood(index, ((*data)[static_cast<std::size_t>(i / 8)] >> (i % 8)) & 1);
        else
            SetBad(index, PointQuality::Failed);
    }
    if (any) StateTaken();
}

void DigitalIoPoints::ReadValues(TavoComPort& port) {
    if (!Modbus()) {
        TavoMR550 device(&port, AddressText());
        std::string data;
        device.ReadDIO(data);
        return;
    }
    // The blocks the Modbus panel reads, each once: outputs, then inputs.
    TavoModbusCOM modbus(&port);
    ModbusSlave slave(&modbus, Location().address);
    std::uint32_t bits = 0;
    if (row_.modbusOutputCoils > 0) slave.ReadCoils(kFirstOutputCoil, row_.modbusOutputCoils, bits);
    if (row_.modbusInputCoils > 0) slave.ReadCoils(kFirstInputCoil, row_.modbusInputCoils, bits);
}

bool DigitalIoPoints::WritePoint(TavoComPort& port, int index, double value, std::string& error) {
    const int channel = index - row_.inputs;
    const bool on = value != 0.0;
    const std::string& name = Points()[static_cast<std::size_t>(index)].name;
    if (channel < 0 || channel >= row_.outputs) {
        error = name + " is an input and cannot be written";
        return false;
    }
    bool ok = false;
    int exception = 0;
    if (Modbus()) {
        // What the Modbus panel's output button sends: function 5 on the channel's coil.
        TavoModbusCOM modbus(&port);
        ModbusSlave slave(&modbus, Location().address);
        ok = slave.WriteCoil(kFirstOutputCoil + channel, on);
        exception = modbus.LastException();
    } else if (row_.longWrite) {
        ok = TavoMR560(&port, AddressText()).WriteDO(channel, on ? 1 : 0);
    } else {
        ok = TavoMR550(&port, AddressText()).WriteDO(channel, on ? 1 : 0);
    }
    if (ok) return true;
    const PortError failure = port.LastError();
    const bool refused = exception != 0 || (!Modbus() && failure.kind == PortError::Kind::Refused);
    // Asked only now, so that an accepted write costs the line nothing more.
    const std::string reason = refused ? RefusalReason(port, channel) : std::string();
    error = WriteFailure(*this, name, value, failure, exception, reason);
    return false;
}

std::string DigitalIoPoints::RefusalReason(TavoComPort& port, int channel) {
    if (!row_.overCurrent) return {};
    unsigned groups = 0;
    if (Modbus()) {
        TavoModbusCOM modbus(&port);
        ModbusSlave slave(&modbus, Location().address);
        std::uint32_t bits = 0;
        if (!slave.ReadCoils(kFirstFaultCoil, 3, bits)) return {};
        groups = bits;
    } else {
        std::string text;
        const auto value =
            TavoMR560(&port, AddressText()).ReadError(text) ? HexValue(text) : std::nullopt;
        if (!value) return {};
        groups = *value;
    }
    const int group = channel / 4;
    if (!((groups >> group) & 1)) return {};
    return "outputs " + std::to_string(4 * group) + " to " + std::to_string(4 * group + 3) +
           " are switched off after an over-current: clear the error status first";
}

// ---------------------------------------------------------------- the family

FamilyAnswer MakeDigitalPoints(std::string_view model, const ModuleLocation& where) {
    const DigitalIoModel* row = FindDigitalIoModel(model);
    const bool counter = IsCounterModel(model);
    if (!row && !counter) return {};
    FamilyAnswer answer;
    if (where.slot >= 0) {
        answer.refusal = std::string(model) + " is a module of its own: it has no slot " +
                         std::to_string(where.slot);
    } else if (where.protocol == PointProtocol::Modbus && (counter || !row->modbus)) {
        answer.refusal = std::string(model) + " does not speak Modbus RTU";
    } else if (counter) {
        answer.points = MakeCounterPoints(model, where);
    } else if (row->universal) {
        answer.points = MakeUniversalPoints(*row, where);
    } else {
        answer.points = std::make_unique<DigitalIoPoints>(*row, where);
    }
    return answer;
}

} // namespace tavo
