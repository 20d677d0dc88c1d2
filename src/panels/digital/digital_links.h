// The protocol objects behind the digital I/O panels. A panel and its Modbus
// variant share the form and the data area; how the states are read and the
// outputs, the input inversion and the over-current errors written is one of these
// objects, chosen by the protocol the module speaks and set up per model from a
// table.
#pragma once

#include "points/digital_rules.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavo {

class TavoComPort;
class TavoMR550;
class TavoMR560;
class TavoRDigitalInput;

// The protocol a panel talks to its module in; the Modbus variants of the panels
// are the same forms with the Modbus protocol object behind them.
enum class DigitalProtocol { Ascii, Modbus };

class DigitalIoLink {
public:
    virtual ~DigitalIoLink() = default;

    // Whether the general settings, the safe value and the protocol can be changed
    // through this protocol (Modbus variants only show them).
    virtual bool Configurable() const = 0;
    virtual int PollIntervalMs() const = 0;
    virtual const QString& PollingText() const = 0;
    virtual const QString& PollFailedText() const = 0;
    // Whether polls read the outputs and the inputs in turns rather than together.
    virtual bool ReadsInTurns() const { return false; }

    // One poll. `tick` is the heartbeat digit the poll shows on success (0 or 1):
    // a protocol that reads in turns reads the outputs on 1 and the inputs on 0.
    // `withFaults`: the over-current groups are read first (a failed read of them
    // alone leaves `out.faults` empty), in the same request as the outputs where
    // the map has them next to each other.
    virtual bool Poll(int tick, bool withFaults, DioReading& out) = 0;
    virtual bool WriteOutput(int channel, bool on) = 0;
    virtual bool ReadFirmware(std::string& out) = 0;
    // The input inversion mask (bit n = input n) of the R520.
    virtual bool ReadInvert(unsigned& mask) = 0;
    virtual bool WriteInvert(unsigned mask) = 0;
    // Whether a successful invert Update reads the mask back into the boxes (the
    // Modbus variant does; the ASCII panel keeps what was sent).
    virtual bool RereadsInvertAfterUpdate() const { return false; }
    // Clears the over-current groups of the R560SO.
    virtual bool ClearFaults() = 0;
};

// ASCII: "$AA6" cut in the model's layout, "#AA1c0d" (or "#AA1c000d" on the
// twelve-output models), "$AAF", "$AAV", "$AAE0"/"$AAE1". `reader` sends the state
// read; the objects are the panel's and outlive the link.
std::unique_ptr<DigitalIoLink> MakeAsciiDigitalLink(std::string_view model,
                                                    TavoRDigitalInput& reader, TavoMR550& mr550,
                                                    TavoMR560& mr560);

// Modbus: coils 00001 up (inputs) and 00017 up (outputs) read with function 01 and
// outputs written with 05; the firmware in register 213, the R520's inversion in
// register 231 (03/06), the R560SO's errors in coils 00029..00031 (01/0F). Requests
// go through the TavoModbusCOM of `mr550` to the slave of `address`; the poll
// interval follows the port's time-out as it is now.
std::unique_ptr<DigitalIoLink> MakeModbusDigitalLink(std::string_view model, TavoMR550& mr550,
                                                     const std::string& address);

} // namespace tavo
