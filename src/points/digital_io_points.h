// The points of the digital I/O modules (R510 ... R630) and, on the same state
// read, of the universal modules (R850/R860); the counters (R710, R710D) have their
// own class. Internal to the points layer: MakeDigitalPoints (families.h) is the way
// in.
#pragma once

#include "digital_rules.h"
#include "module_points.h"
#include "request_parts.h"

#include <memory>
#include <string>
#include <vector>

namespace tavo {

// Points di0 ... (inputs), then do0 ... (outputs), then what a member adds.
//
// Quality: a channel's reading is the state the module reports, so it is good or
// failed (no state read, or one that was not exactly four hexadecimal digits / the
// coils asked for). An output whose group tripped on over-current (R560SO) reads
// what the module reports for it: off.
class DigitalIoPoints : public ModulePoints {
public:
    DigitalIoPoints(const DigitalIoModel& row, const ModuleLocation& where,
                    std::vector<PointInfo> more = {});

protected:
    bool Take(const PortExchange& exchange) override;
    bool ConfigurationKnown() const override { return true; }
    void ReadConfiguration(TavoComPort&) override {}
    void ReadValues(TavoComPort& port) override;
    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override;

    // A member's own commands and requests (the plain modules have none).
    virtual void TakeAscii(const AsciiRequest&, const PortExchange&) {}
    virtual void TakeModbus(const ModbusRequest&, const PortExchange&) {}
    // After each state read the member renews what it derives from it.
    virtual void StateTaken() {}
    // Why the module refused a write of output `channel`, asked of the module after
    // the refusal; empty when nothing more can be said.
    virtual std::string RefusalReason(TavoComPort& port, int channel);

    bool Modbus() const { return Location().protocol == PointProtocol::Modbus; }
    const DigitalIoModel& Row() const { return row_; }
    int OutputIndex(int channel) const { return row_.inputs + channel; }

private:
    void TakeState(const PortExchange& exchange);
    void TakeCoils(const ModbusRequest& request, const PortExchange& exchange);

    const DigitalIoModel& row_;
};

// Points cnt<c> and freq<c> beside the state of the universal modules.
std::unique_ptr<ModulePoints> MakeUniversalPoints(const DigitalIoModel& row,
                                                  const ModuleLocation& where);
// cnt0, cnt1, freq0, freq1, do0, do1 of the R710 and R710D.
std::unique_ptr<ModulePoints> MakeCounterPoints(std::string_view model,
                                                const ModuleLocation& where);

// A digital point (0 or 1, no unit).
PointInfo DigitalPoint(std::string name, PointKind kind);
// A count (32 bits, no unit) and a frequency in Hz up to `max`, given with `decimals`.
PointInfo CountPoint(std::string name);
PointInfo FrequencyPoint(std::string name, double max, int decimals);

// One line for a write the module did not take: "R550 at 09 did not take do3 = 1:
// the module refused it" with `reason` after it when there is one. `failure` is the
// port's error of the write; `modbusException` the exception code of a Modbus
// refusal (0 for none).
std::string WriteFailure(const ModulePoints& points, const std::string& name, double value,
                         const PortError& failure, int modbusException, const std::string& reason);

} // namespace tavo
