// The Z-series: the Z350 system controller (Z351, Z352) with its slot table, field
// protocol and BACnet device instance, and its I/O slot modules Z310 and Z320.
#pragma once

#include "k_series.h"

#include <cstdint>
#include <string>

namespace tavo {

// Per-slot base of the Z-series I/O modules: the channel type code and format as
// last read or set. Unlike the K-series slot base it has no Modbus side.
class ZelZBase : public virtual TavoKLink {
public:
    ZelZBase(TavoComPort* port, const std::string& address, const std::string& slot);

    void SetChannelType(const std::string& tt) { type_ = tt; }
    bool GetChannelType(std::string& out) const;
    bool GetChannelFormat(std::string& out) const;

    // $AAS{S}C{c}AI{TT}FF / AO{TT}FF with the held type; fails without sending
    // unless a type of two hex digits is held.
    bool SetAIType(int c);
    bool SetAOType(int c);
    // $AAS{S}C{c}AI / AO: type = characters 3-4, format = 5-6, kept.
    bool ReadAIType(int c);
    bool ReadAOType(int c);

    // #AAS{S}1{channel "%X"}0{0|1}.
    bool WriteDO(int channel, bool on);
    // $AAS{S}6: out1 = data characters 0-1 (outputs), out2 = 2-3 (inputs).
    bool ReadDIO(std::string& out1, std::string& out2);

private:
    bool SetType(int c, const char* kind);
    bool ReadType(int c, const char* kind);

    std::string type_;
    std::string format_;
};

// The Z320 (4 AI, 4 AO, 8 DI, 4 DO) and the Z310 (3, 3, 6, 2) I/O modules.
class ZelMZ320 : public ZelZBase,
                 public TavoKAnalogInput,
                 public TavoKAnalogOutput,
                 public TavoKDigitalInput,
                 public TavoKDigitalOutput {
public:
    ZelMZ320(TavoComPort* port, const std::string& address, const std::string& slot);

    // The port time-out the module's answers want, in ms (its panel holds the port
    // at it while open).
    static constexpr int kTimeOutMs = 1000;

    using TavoKDigitalInput::ReadDIO;
    using TavoKDigitalOutput::WriteDO;
    using ZelZBase::ReadDIO;
    using ZelZBase::WriteDO;

    // Output calibration of channel c: zero $AAS{S}C{c}4, span $AAS{S}C{c}1. The inputs
    // calibrate with ZeroCalibrateChannel ($AAS{S}C{c}7) and SpanCalibrateChannel
    // ($AAS{S}C{c}0).
    bool ZeroCalibrateOutput(int c);
    bool SpanCalibrateOutput(int c);
};

// The Z350 controller.
class ZelMZ350 : public TavoRackController {
public:
    explicit ZelMZ350(TavoComPort* port, const std::string& address = "");

    // Slots of the controller whose name reply is `designation`: 8 for a Z352, else 4.
    static int SlotCountFor(const std::string& designation) {
        return designation == "Z352" ? 8 : 4;
    }

    // FF (empty slot) fails; any other code c gives "Z" + c + "0" (31: Z310, 32: Z320).
    bool GetSlotDesignation(int i, std::string& out);

    bool ReadProtocol(std::string& out);       // $AAKW: "BAC" or "MOD"
    bool SetProtocol(const std::string& x);    // $AAKW{x}
    bool ReadDeviceInstance(std::string& out); // $AABAC: hexadecimal
    // $AABAC{"%06X"}; instances outside 0..4194303 fail without sending.
    bool SetDeviceInstance(std::int64_t instance);

    static constexpr std::int64_t kMaxDeviceInstance = 4194303;

private:
    bool Line(const std::string& body, std::string& data);
};

} // namespace tavo
