// The K-series rack: the system controller (K100, K100E) with its slot table, watchdog
// and Modbus address map, and the slot modules reached through the controller's
// address plus a slot selector ("S0" to "S7").
//
// A slot command is <lead><controller address><selector><rest>, for example $01S2B.
// Slot model classes are put together from TavoKBase and the slot families they
// need; all parts share one TavoKLink (a virtual base), so the address and the
// selector can never disagree between them.
#pragma once

#include "r_base.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tavo {

// The port, the controller's address and the slot selector of one slot, and the
// command helpers every slot class uses. Commands fail without sending while the
// port is absent, the address is not two hexadecimal digits or the selector is not
// S0 to S7.
class TavoKLink {
public:
    TavoKLink(TavoComPort* port, const std::string& address, const std::string& slot);
    virtual ~TavoKLink();
    TavoKLink(const TavoKLink&) = delete;
    TavoKLink& operator=(const TavoKLink&) = delete;

    // First two characters (the wire form, "00" for a rack in its INIT state).
    void SetAddress(const std::string& address);
    void SetSlot(const std::string& slot);
    void GetAddress(std::string& out) const { out = address_; }
    const std::string& Address() const { return address_; }
    const std::string& Slot() const { return slot_; }
    TavoComPort* GetPort() const { return port_; }
    // The slot digit 0..7, or -1 when the selector is not one of S0..S7.
    int SlotNumber() const;

    // Highest channel number a channel command accepts.
    static constexpr int kMaxChannel = 15;

protected:
    // <lead><address><body>: commands that place the selector themselves.
    bool ControllerCommand(char lead, std::string_view body, std::string& reply);
    // <lead><address><selector><rest>.
    bool SlotCommand(char lead, std::string_view rest, std::string& reply);
    bool SlotResult(char lead, std::string_view rest);
    // Data of a '!' reply (after "!AA").
    bool SlotData(char lead, std::string_view rest, std::string& data);
    // Data of a '>' reply (after '>'); a '!' reply fails.
    bool SlotValue(char lead, std::string_view rest, std::string& data);
    // The same with "C{c}" before `rest`; fail without sending for c outside 0..15.
    bool ChannelCommand(char lead, int c, std::string_view rest, std::string& reply);
    bool ChannelResult(char lead, int c, std::string_view rest);
    bool ChannelData(char lead, int c, std::string_view rest, std::string& data);
    bool ChannelValue(char lead, int c, std::string_view rest, std::string& data);
    // A '!' reply carrying a type code and a format byte (characters 3-4 and 5-6),
    // both two hexadecimal digits; outputs untouched otherwise.
    bool SlotCodes(std::string_view rest, std::string& tt, std::string& ff);
    bool ChannelCodes(int c, std::string_view rest, std::string& tt, std::string& ff);
    // #AAS{S}1{x}0{v}: one digital output, x the channel as one hexadecimal digit.
    bool WriteOutputBit(int channel, bool on);

private:
    bool Send(std::string line, std::string& reply);

    TavoComPort* port_;
    std::string address_;
    std::string slot_;
};

// Per-slot base: the type code and format byte of the slot (or of one channel) as
// last read or set.
class TavoKBase : public virtual TavoKLink {
public:
    TavoKBase(TavoComPort* port, const std::string& address, const std::string& slot);
    ~TavoKBase() override;

    // $AAS{S}A{TT}{FF}; fails without sending unless TT and FF are held.
    bool WriteSlotConfig();
    // $AAS{S}C{c}A{TT}{FF}.
    bool WriteChannelConfig(int c);
    // $AAS{S}B: TT = characters 3-4, FF = 5-6, kept.
    bool ReadSlotConfig();
    // $AAS{S}C{c}B.
    bool ReadChannelConfig(int c);

    void SetSlotType(const std::string& tt) { type_ = tt; }
    void SetSlotFormat(const std::string& ff) { format_ = ff; }
    // Bits 1-0 from the two characters, bits 5-2 from the four, bit 7 ('1' sets).
    void SetFormatBits10(const std::string& bits);
    void SetFormatBits52(const std::string& bits);
    void SetFormatBit7(char bit);

    // From the held codes, reading the slot configuration first when none is held.
    bool GetSlotType(std::string& out);
    bool GetSlotFormat(std::string& out);
    bool GetFormatBit(int n, std::string& out);
    bool GetFormatBits10(std::string& out);
    bool GetFormatBits52(std::string& out);
    bool GetFormatBit7(std::string& out);

    const std::string& SlotType() const { return type_; }
    const std::string& SlotFormat() const { return format_; }
    TavoModbusCOM* GetModbus() const { return modbus_.get(); }

private:
    void SetBits(int high, const std::string& bits);
    bool GetBits(int high, int count, std::string& out);

    std::string type_;
    std::string format_;
    std::unique_ptr<TavoModbusCOM> modbus_;
};

// Analog input slots (K210, K220, K220H, K220UH, K230, K230P and generic ones).
class TavoKAnalogInput : public virtual TavoKLink {
public:
    TavoKAnalogInput(TavoComPort* port, const std::string& address, const std::string& slot);

    bool ReadAll(std::string& out);            // #AAS{S}, data after '>'
    bool ReadChannel(int c, std::string& out); // #AAS{S}C{c}
    bool SetChannelEnable(int mask);           // $AAS{S}5{mask "%02X"}, mask 0..FF
    bool ReadChannelEnable(std::string& out);  // $AAS{S}6
    bool SpanCalibrate();                      // $AAS{S}0
    bool ZeroCalibrate();                      // $AAS{S}1
    bool SpanCalibrateChannel(int c);          // $AAS{S}C{c}0
    bool ZeroCalibrateChannel(int c);          // $AAS{S}C{c}7
    // $AAS{S}9{sign}{hhhh}: sign '+' or '-', four hexadecimal digits.
    bool SetCJCOffset(char sign, const std::string& hhhh);
    bool ReadCJC(std::string& out); // $AAS{S}3, data after '>'
    bool SendER();                  // $AAS{S}ER
    // $AAAV0{slot digit}FF: the two eight-character values at characters 4-11 and
    // 13-20 (K230P). The selector itself is left as it is.
    bool ReadAV(std::string& first, std::string& second);
    bool SetAT(const std::string& x); // #AAS{S}AT{x} (K220UH)
    bool ReadAT(std::string& out);    // $AAS{S}AT
};

// Analog output slots (K310) and the outputs of the Z-series I/O modules.
class TavoKAnalogOutput : public virtual TavoKLink {
public:
    TavoKAnalogOutput(TavoComPort* port, const std::string& address, const std::string& slot);

    // #AAS{S}C{c}{value}; the value text as the panel formats it ("04.500").
    bool WriteChannel(int c, const std::string& value);
    bool SetStartupToCurrent(int c);              // $AAS{S}C{c}4
    bool Calibrate4mAChannel(int c);              // $AAS{S}C{c}0
    bool Calibrate20mAChannel(int c);             // $AAS{S}C{c}1
    bool Trim(int c, const std::string& nn);      // $AAS{S}C{c}3{nn}, two hex digits
    bool ReadLastOutput(int c, std::string& out); // $AAS{S}C{c}6
};

// Channel alarms of the analog input and counter slots. `x` is 'H' (high alarm) or
// 'L' (low alarm); anything else fails without sending.
class TavoKAnalogAlarm : public virtual TavoKLink {
public:
    TavoKAnalogAlarm(TavoComPort* port, const std::string& address, const std::string& slot);

    // $AAS{S}C{c}A{x}{mode}: mode 'M' momentary or 'L' latch.
    bool SetAlarmMode(int c, char x, char mode);
    bool EnableAlarm(int c, char x);     // $AAS{S}C{c}A{x}EE
    bool DisableAlarm(int c, char x);    // $AAS{S}C{c}A{x}ED
    bool ClearAlarmLatch(int c, char x); // $AAS{S}C{c}C{x}
    // $AAS{S}C{c}A{x}CS{slot}C{output "%X"}: drive a digital output of another slot.
    bool ConnectAlarm(int c, char x, int slot, int output);
    // $AAS{S}C{c}A{x}CS*C*: no output mapping.
    bool DisconnectAlarm(int c, char x);
    bool SetAlarmLimit(int c, char x, const std::string& value); // $AAS{S}C{c}A{x}U{value}
    bool ReadAlarmLimit(int c, char x, std::string& out);        // $AAS{S}C{c}R{x}U
    bool ReadAlarmMode(int c, char x, std::string& out);         // $AAS{S}C{c}A{x}
    // $AAS{S}C{c}R{x}C: slot at character 4, output at character 6 ("*" for none).
    bool ReadAlarmConnection(int c, char x, std::string& slot, std::string& output);
    // $AAS{S}C{c}S: high and low flags at characters 3 and 4.
    bool ReadAlarmStatus(int c, std::string& high, std::string& low);
};

// The four-channel counter/frequency slot (K710).
class TavoKCounter : public virtual TavoKLink {
public:
    TavoKCounter(TavoComPort* port, const std::string& address, const std::string& slot);

    bool SetFilterScale(int scale);                  // $AAS{S}0{"%05d"}, 0..99999
    bool ReadFilterScale(std::string& out);          // $AAS{S}0
    bool SetCounting(int c, bool start);             // $AAS{S}C{c}5{1|0}
    bool ReadCounting(int c, std::string& out);      // $AAS{S}C{c}5
    bool ClearCounter(int c);                        // $AAS{S}C{c}6
    bool SetPreset(int c, const std::string& value); // @AAS{S}C{c}P{value}
    bool ReadPreset(int c, std::string& out);        // @AAS{S}C{c}G
    bool ReadAll(std::string& out);                  // #AAS{S}, data after '>'
    bool ReadCount(int c, std::string& out);         // #AAS{S}C{c}
    bool ReadOverflowFlags(std::string& out);        // $AAS{S}7
};

// Digital slots (K510 to K630) and the inputs of the Z-series I/O modules.
class TavoKDigitalInput : public virtual TavoKLink {
public:
    TavoKDigitalInput(TavoComPort* port, const std::string& address, const std::string& slot);

    bool ReadDIO(std::string& out); // $AAS{S}6: four hex digits, bit n = channel n
};

class TavoKDigitalOutput : public virtual TavoKLink {
public:
    TavoKDigitalOutput(TavoComPort* port, const std::string& address, const std::string& slot);

    // #AAS{S}{bb}{dd} with the two parts as the caller built them.
    bool WriteDO(const std::string& bb, const std::string& dd);
    // #AAS{S}1{channel "%X"}0{1|0}: one output, channel 0..15.
    bool WriteDOChannel(int channel, bool on);
    bool ReadDIPSwitch(std::string& out);       // $AAS{S}7: bit n set = channel n is an input
    bool ReadAlarmMask(std::string& out);       // $AAS{S}M: outputs driven by an analog alarm
    bool ReadWatchdogOutputs(std::string& out); // $AAX{S}
    bool SetWatchdogOutputs(int mask);          // $AAX{S}D{"%04X"}, mask 0..FFFF
};

// Slot model classes.
class TavoMK220H : public TavoKBase, public TavoKAnalogInput, public TavoKAnalogAlarm {
public:
    TavoMK220H(TavoComPort* port, const std::string& address, const std::string& slot);
};

class TavoMK230 : public TavoKBase, public TavoKAnalogInput, public TavoKAnalogAlarm {
public:
    TavoMK230(TavoComPort* port, const std::string& address, const std::string& slot);
};

class TavoMK230P : public TavoMK230 {
public:
    TavoMK230P(TavoComPort* port, const std::string& address, const std::string& slot);
};

class TavoMK310 : public TavoKBase, public TavoKAnalogOutput {
public:
    TavoMK310(TavoComPort* port, const std::string& address, const std::string& slot);
};

class TavoMK510 : public TavoKBase, public TavoKDigitalInput, public TavoKDigitalOutput {
public:
    TavoMK510(TavoComPort* port, const std::string& address, const std::string& slot);
};

class TavoMK710 : public TavoKBase, public TavoKCounter, public TavoKAnalogAlarm {
public:
    TavoMK710(TavoComPort* port, const std::string& address, const std::string& slot);
};

// What the K100 and the Z350 controllers share: their own configuration reply
// (!AA{CC}{FF}, no type code) and the slot table.
class TavoRackController : public TavoRBase {
public:
    TavoRackController(TavoComPort* port, const std::string& address);

    // $AA2: baud code = characters 3-4, format = 5-6, kept.
    bool ReadSystemConfig();
    // The same, and `address` = characters 1-2 (the address the controller reports).
    bool ReadSystemConfigAddress(std::string& address);
    // %AA00{CC}{FF} with the held codes; the address stays. Fails without sending
    // unless both codes are held.
    bool WriteSystemConfig();

    // $AAT: two characters per slot (8 for a four-slot rack, 16 for eight), kept.
    bool ReadSlotTable(std::string& out);
    // The two characters of slot i from the kept table (read first when none is
    // kept); fails for a slot the table does not have, without a transaction.
    bool GetSlotCode(int i, std::string& out);
    const std::string& SlotTable() const { return slotTable_; }
    void ClearSlotTable() { slotTable_.clear(); }

    // The configuration of a controller is read with ReadSystemConfig.
    bool GetBaudCode(std::string& out) override;
    bool GetFormatBit(int n, std::string& out) override;

    static constexpr int kMaxSlots = 8;

private:
    std::string slotTable_;
};

// The model number codes the racks' Modbus side reports (in the search's model
// registers and at the head of the identification block): the K100E rack with
// Modbus (eight slots) and the Modbus-only K100 (four).
inline constexpr std::uint16_t kK100EModbusCode = 0x2190;
inline constexpr std::uint16_t kK100ModbusCode = 0x2191;

// The K100 system controller (four slots; the K100E has eight).
class TavoMK100 : public TavoRackController {
public:
    explicit TavoMK100(TavoComPort* port, const std::string& address = "");

    // Slots of the rack whose name reply is `designation`: 8 for exactly "K100E",
    // else 4.
    static int SlotCountFor(const std::string& designation) {
        return designation == "K100E" ? 8 : 4;
    }

    // Reads the configuration, changes what is given (cc: two hex digits or empty to
    // keep; checksum and protocol: '1', '0' or 0 to keep) and writes it back.
    bool UpdateSystemConfig(const std::string& cc, char checksum, char protocol);

    // Model designation of the module in slot i: FF (empty slot) fails; 2H gives
    // K220H, 2U K220UH, AI the generic analog input K0AI, any other code c "K" + c + "0".
    bool GetSlotDesignation(int i, std::string& out);
    static bool DesignationForCode(const std::string& code, std::string& out);
    // The designation a slot node of the module tree shows: GetSlotDesignation, but
    // for a generic analog input slot (K0AI) the name the slot module reports
    // ($AAS{i}N) from its sixth character on ("Tavo-K230P" shows "K230P"). Fails for
    // an empty slot, a slot beyond the table, and a generic slot that does not tell
    // its name. `generic` (may be null) says whether the slot is a generic one.
    bool ReadSlotNodeDesignation(int i, std::string& out, bool* generic = nullptr);

    // $AAS{i}N, $AAS{i}N0, N1, N2: reply characters 1 to n - 2. N1 gives an analog
    // input slot's channel count in hexadecimal.
    bool ReadSlotName(int i, std::string& out);
    bool ReadSlotInfo0(int i, std::string& out);
    bool ReadSlotInfo1(int i, std::string& out);
    bool ReadSlotInfo2(int i, std::string& out);
    // The designation in a slot's name ("Tavo-K230P" gives "K230P"); a name without
    // the "Tavo-" prefix is the designation itself.
    static std::string SlotNameDesignation(const std::string& name);

    bool ReadWatchdogTime(std::string& out); // $AAXR, seconds in decimal
    bool ReadWatchdogMask(std::string& out); // $AAXER, bit n = slot n
    bool SetWatchdogTime(int seconds);       // $AAX{"%04d"}, 0..9999
    bool SetWatchdogMask(int mask);          // $AAXEW{"%02X"}, 0..FF

    // $AAPN{kk}FF -> !AA{ssss}{l}: the stored start (four hex digits) and the length
    // code (one hex digit) of slot k. Slots outside 0..7 fail without sending.
    bool ReadMapEntry(int k, int& start, int& lengthCode);
    bool ReadMapMode(std::string& out); // $AAPD, non-zero = user-defined map
    // #AAPN{kk}FF{"%04X"}{"%X"}: start 0..FFFF, length code 0..F, k 0..7.
    bool WriteMapEntry(int k, int start, int lengthCode);
    bool ActivateMap(); // #AAPD

private:
    bool SlotInfo(int i, const char* which, std::string& out);
};

} // namespace tavo
