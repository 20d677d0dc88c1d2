// Model command classes of the analog modules: the R-series base plus the family
// objects each model needs, the model's own virtual operations after the base's
// slots, and the commands only one model has (R270P watchdog, R270M data logger,
// R320T loop controller).
#pragma once

#include "alarm_event_counter.h"
#include "analog_input.h"
#include "analog_output.h"
#include "r_base.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavo {

// The family operations a model offers under their own names, each passing straight
// to the contained family object. One of these per family; the model class derives
// from TavoRBase (or another model) first and from these after it.
class AnalogInputOperations {
public:
    bool SpanCalibrate() { return ai_.SpanCalibrate(); }
    bool ZeroCalibrate() { return ai_.ZeroCalibrate(); }
    bool SpanCalibrateChannel(int n) { return ai_.SpanCalibrateChannel(n); }
    bool ZeroCalibrateChannel(int n) { return ai_.ZeroCalibrateChannel(n); }
    bool NegativeCalibrateChannel(int n) { return ai_.NegativeCalibrateChannel(n); }
    bool ReadAll(std::string& out) { return ai_.ReadAll(out); }
    bool ReadChannel(int n, std::string& out) { return ai_.ReadChannel(n, out); }
    bool SetChannelEnable(int mask) { return ai_.SetChannelEnable(mask); }
    bool ReadChannelEnable(std::string& out) { return ai_.ReadChannelEnable(out); }
    bool SetChannelRange(int n, int code) { return ai_.SetChannelRange(n, code); }
    bool ReadChannelRange(int n, std::string& out) { return ai_.ReadChannelRange(n, out); }
    bool ReadChannelStatus(std::string& out) { return ai_.ReadChannelStatus(out); }
    bool ReadCJC(std::string& out) { return ai_.ReadCJC(out); }
    bool SetCJCOffset(char sign, const std::string& hhhh) { return ai_.SetCJCOffset(sign, hhhh); }
    bool SetWireCompensation(int ch, char sign, const std::string& hhhh) {
        return ai_.SetWireCompensation(ch, sign, hhhh);
    }
    bool ReadWireCompensation(int ch, std::string& out) {
        return ai_.ReadWireCompensation(ch, out);
    }
    bool SendS0() { return ai_.SendS0(); }
    bool SendS1() { return ai_.SendS1(); }
    bool Locate() { return ai_.Locate(); }
    bool ReadMP(std::string& out) { return ai_.ReadMP(out); }
    bool ReadMC(std::string& out) { return ai_.ReadMC(out); }
    bool SetFilterRate(int ppp) { return ai_.SetFilterRate(ppp); }
    bool ReadFilterRate(int& out) { return ai_.ReadFilterRate(out); }
    bool SetBurnOut(int x) { return ai_.SetBurnOut(x); }
    bool ReadBurnOut(std::string& out) { return ai_.ReadBurnOut(out); }
    bool SetAT(int x) { return ai_.SetAT(x); }
    bool ReadAT(std::string& out) { return ai_.ReadAT(out); }
    bool ReadOD(std::string& out) { return ai_.ReadOD(out); }
    bool SetThermoMode(int x) { return ai_.SetThermoMode(x); }

    TavoRAnalogInput& AnalogInput() { return ai_; }

protected:
    AnalogInputOperations(TavoComPort* port, const std::string& address) : ai_(port, address) {}
    ~AnalogInputOperations() = default;
    TavoRAnalogInput ai_;
};

class AlarmEventCounterOperations {
public:
    bool EnableAlarm(char x) { return aec_.EnableAlarm(x); }
    bool DisableAlarm() { return aec_.DisableAlarm(); }
    bool ClearAlarmLatch() { return aec_.ClearAlarmLatch(); }
    bool SetDO(int dd) { return aec_.SetDO(dd); }
    bool SetHighLimit(const std::string& v) { return aec_.SetHighLimit(v); }
    bool SetLowLimit(const std::string& v) { return aec_.SetLowLimit(v); }
    bool ClearEventCounter() { return aec_.ClearEventCounter(); }
    bool ReadAlarmStatus(std::string& mode, std::string& dout, std::string& din) {
        return aec_.ReadAlarmStatus(mode, dout, din);
    }
    bool ReadHighLimit(std::string& out) { return aec_.ReadHighLimit(out); }
    bool ReadLowLimit(std::string& out) { return aec_.ReadLowLimit(out); }
    bool ReadEventCounter(std::string& out) { return aec_.ReadEventCounter(out); }

    TavoRAlarmEventCounter& AlarmEventCounter() { return aec_; }

protected:
    AlarmEventCounterOperations(TavoComPort* port, const std::string& address)
        : aec_(port, address) {}
    ~AlarmEventCounterOperations() = default;
    TavoRAlarmEventCounter aec_;
};

class ExcitationVoltageOperations {
public:
    bool SetExcitation(const std::string& value) { return ev_.SetExcitation(value); }
    bool SetStartupExcitation() { return ev_.SetStartupExcitation(); }
    bool TrimExcitation(const std::string& nn) { return ev_.TrimExcitation(nn); }
    bool Calibrate0V() { return ev_.Calibrate0V(); }
    bool Calibrate10V() { return ev_.Calibrate10V(); }
    bool ReadExcitation(std::string& out) { return ev_.ReadExcitation(out); }

    TavoRExcitationVoltage& ExcitationVoltage() { return ev_; }

protected:
    ExcitationVoltageOperations(TavoComPort* port, const std::string& address)
        : ev_(port, address) {}
    ~ExcitationVoltageOperations() = default;
    TavoRExcitationVoltage ev_;
};

class AnalogOutputOperations {
public:
    bool WriteOutput(const std::string& value) { return ao_.WriteOutput(value); }
    bool SetStartupToCurrent() { return ao_.SetStartupToCurrent(); }
    bool Trim(const std::string& nn) { return ao_.Trim(nn); }
    bool Calibrate4mA() { return ao_.Calibrate4mA(); }
    bool Calibrate20mA() { return ao_.Calibrate20mA(); }
    bool ReadLastOutput(std::string& out) { return ao_.ReadLastOutput(out); }
    bool ReadReadback(std::string& out) { return ao_.ReadReadback(out); }
    bool WriteChannel(int n, const std::string& value) { return ao_.WriteChannel(n, value); }
    bool SetStartupValue(int n, const std::string& value) { return ao_.SetStartupValue(n, value); }
    bool SetEmergencyValue(int n, const std::string& value) {
        return ao_.SetEmergencyValue(n, value);
    }
    bool Calibrate4mAChannel(int n) { return ao_.Calibrate4mAChannel(n); }
    bool Calibrate20mAChannel(int n) { return ao_.Calibrate20mAChannel(n); }
    bool SetChannelRange(int n, int code) { return ao_.SetChannelRange(n, code); }
    bool SetEmergencyInput(int n, bool enabled) { return ao_.SetEmergencyInput(n, enabled); }
    bool SetCommSafety(int tenths) { return ao_.SetCommSafety(tenths); }
    bool ReadCommSafety(std::string& out) { return ao_.ReadCommSafety(out); }
    bool ReadChannelOutput(int n, std::string& out) { return ao_.ReadChannelOutput(n, out); }
    bool ReadChannelRange(int n, std::string& out) { return ao_.ReadChannelRange(n, out); }
    bool ReadEmergencyInput(int n, std::string& out) { return ao_.ReadEmergencyInput(n, out); }
    bool ReadStartupValue(int n, std::string& out) { return ao_.ReadStartupValue(n, out); }
    bool ReadEmergencyValue(int n, std::string& out) { return ao_.ReadEmergencyValue(n, out); }
    bool ReadDI(std::string& out) { return ao_.ReadDI(out); }

    TavoRAnalogOutput& AnalogOutput() { return ao_; }

protected:
    AnalogOutputOperations(TavoComPort* port, const std::string& address) : ao_(port, address) {}
    ~AnalogOutputOperations() = default;
    TavoRAnalogOutput ao_;
};

// ---- Single-channel analog inputs -------------------------------------------------

class TavoMR230 : public TavoRBase, public AnalogInputOperations {
public:
    explicit TavoMR230(TavoComPort* port);
    TavoMR230(TavoComPort* port, const std::string& address);
    void SetAddress(const std::string& address) override;
};

class TavoMR210 : public TavoMR230, public AlarmEventCounterOperations {
public:
    explicit TavoMR210(TavoComPort* port);
    TavoMR210(TavoComPort* port, const std::string& address);
    void SetAddress(const std::string& address) override;

    virtual bool SetCJCOffset(char sign, const std::string& hhhh); // 23
    virtual bool ReadCJC(std::string& out);                        // 24
    virtual bool ReadEventCounter(std::string& out);               // 25
    virtual bool ClearEventCounter();                              // 26
};

class TavoMR210D : public TavoMR210 {
public:
    using TavoMR210::TavoMR210;
};

// No cold junction on the R220: slots 23 and 24 do nothing and fail.
class TavoMR220 : public TavoMR210 {
public:
    using TavoMR210::TavoMR210;
    bool SetCJCOffset(char sign, const std::string& hhhh) override;
    bool ReadCJC(std::string& out) override;
};

// Strain-gauge input with excitation output: slots 23 to 26 do nothing and fail.
class TavoMR250 : public TavoMR220, public ExcitationVoltageOperations {
public:
    explicit TavoMR250(TavoComPort* port);
    TavoMR250(TavoComPort* port, const std::string& address);
    void SetAddress(const std::string& address) override;
    bool ReadEventCounter(std::string& out) override;
    bool ClearEventCounter() override;
};

// ---- Multi-channel analog inputs with per-channel ranges --------------------------

class TavoMR240 : public TavoRBase, public AnalogInputOperations {
public:
    explicit TavoMR240(TavoComPort* port);
    TavoMR240(TavoComPort* port, const std::string& address);
    void SetAddress(const std::string& address) override;

    virtual bool ReadChannelStatus(std::string& out); // 23
    virtual bool SendS0();                            // 24
    virtual bool SendS1();                            // 25
};

class TavoMR240T : public TavoMR240 {
public:
    using TavoMR240::TavoMR240;
};

class TavoMR270P : public TavoMR240 {
public:
    using TavoMR240::TavoMR240;
    bool SendS0() override;
    bool SendS1() override;

    // Communication watchdog in tenths of a second, 0 to 9999.
    bool SetWDT(int tenths);        // $AAX{tenths as %04d}
    bool ReadWDT(std::string& out); // $AAY, data (decimal tenths)
};

class TavoMR280 : public TavoMR240 {
public:
    using TavoMR240::TavoMR240;
    bool ReadChannelStatus(std::string& out) override;
    bool SendS0() override;
    bool SendS1() override;
};

class TavoMR810 : public TavoMR240 {
public:
    using TavoMR240::TavoMR240;
    bool SendS0() override;
    bool SendS1() override;
};

// ---- Multi-channel analog inputs with one range for all channels ------------------

class TavoMR260 : public TavoRBase, public AnalogInputOperations {
public:
    explicit TavoMR260(TavoComPort* port);
    TavoMR260(TavoComPort* port, const std::string& address);
    void SetAddress(const std::string& address) override;

    virtual bool ReadChannel(int n, std::string& out); // 23
    virtual bool ReadAll(std::string& out);            // 24
};

class TavoMR270 : public TavoMR260 {
public:
    using TavoMR260::TavoMR260;
};

// Data logger. The reading of all channels at once is not offered (slot 24 does
// nothing and fails); channels are read one by one.
class TavoMR270M : public TavoMR270 {
public:
    using TavoMR270::TavoMR270;
    bool ReadAll(std::string& out) override;

    bool ReadMemoryConfig(std::string& out);    // @AAD, data (nine characters)
    bool SetMemoryConfig(const std::string& x); // @AAC{x}
    bool ReadOperation(std::string& out);       // @AAT, data ("1" recording)
    bool SetOperation(bool record);             // @AAS1 / @AAS0
    bool ReadStandardCount(std::string& out);   // @AAN, data (hex)
    bool ReadEventCount(std::string& out);      // @AAL, data (hex)
    // @AAR{index as %04X}: kind = character 3 (the channel), value = characters 4-8,
    // stamp = characters 9-16 when the reply reaches them (event records), else
    // empty. Fails unless the reply holds the kind and the value.
    bool ReadRecord(int index, std::string& kind, std::string& value, std::string& stamp);
    // @AAB{n}: two six-character limits at characters 3-8 and 9-14.
    bool ReadChannelAlarm(int n, std::string& high, std::string& low);
    bool SetChannelAlarm(int n, const std::string& high, const std::string& low); // @AAA{n}{a}{b}
};

// ---- Analog outputs ----------------------------------------------------------------

class TavoMR310 : public TavoRBase, public AnalogOutputOperations {
public:
    explicit TavoMR310(TavoComPort* port);
    TavoMR310(TavoComPort* port, const std::string& address);
    void SetAddress(const std::string& address) override;
};

// The R330 keeps its protocol selection in bit 7 of the format byte.
class TavoMR330 : public TavoRBase, public AnalogOutputOperations {
public:
    explicit TavoMR330(TavoComPort* port);
    TavoMR330(TavoComPort* port, const std::string& address);
    void SetAddress(const std::string& address) override;
    void SetProtocolBit(char bit) override;
    bool GetProtocolBit(std::string& out) override;
};

// ---- Loop controller ---------------------------------------------------------------

// Two-loop PID controller with four analog inputs, two analog outputs and two digital
// inputs and outputs. n is a loop, output or channel number (decimal digit).
class TavoMR320T : public TavoRBase, public AnalogInputOperations {
public:
    // Largest number of table entries one ReadParameters can bring within the
    // 1024-character reply limit.
    static constexpr int kMaxParameterCount = 127;
    static constexpr std::size_t kParameterReplyLimit = 1024;

    explicit TavoMR320T(TavoComPort* port);
    TavoMR320T(TavoComPort* port, const std::string& address);
    void SetAddress(const std::string& address) override;

    bool ReadStatusB(std::string& out);                // $AAB, data
    bool SetOutputRange(int n, int code);              // $AA9C{n}R{code as %02X}
    bool ReadOutputRange(int n, std::string& out);     // $AA9C{n}, characters 6 to n - 2
    bool ReadOutputs(std::string& out);                // #AAO, characters 1 to n - 2
    bool TrimOutput(int n, int x);                     // #AARC{n}{x as %03X}
    bool SetOutputZero(int n, int x);                  // $AA2C{n}{x as %03X}
    bool ReadOutputZero(int n, std::string& out);      // $AA2C{n}, characters 5 to n - 2
    bool SetOutputSpan(int n, int x);                  // $AA3C{n}{x as %03X}
    bool ReadOutputSpan(int n, std::string& out);      // $AA3C{n}, characters 5 to n - 2
    bool WriteOutput(int n, const std::string& value); // #AAC{n}{value}
    bool WriteDO(int n, bool on);                      // #AA1{n}0{1|0}
    // $AA7: out1 = characters 3-4 (outputs), out2 = characters 5-6 (inputs), hex.
    bool ReadDIO(std::string& out1, std::string& out2);
    // #AAPR{first as %02X}{count as %02X}: the entries as count x 8 hex digits
    // (characters 1 to n - 2), read with the 1024-character reply limit.
    bool ReadParameters(int first, int count, std::string& out);
    bool WriteParameter(int index, std::int32_t value); // #AAPW{%02X}{%08X}
    // $AAS: station = characters 3-4, device = characters 5-10 (hex).
    bool ReadBACnet(std::string& station, std::string& device);
    // Station 0 to 31, device 0 to 4194303; refused without sending otherwise.
    bool SetBACnet(int station, int device); // $AAS{%02X}{%06X}
};

// Splits the text of ReadParameters into `count` signed entries of eight hex digits.
// False (values untouched) when the text is not exactly that.
bool ParseParameterEntries(const std::string& text, int count, std::vector<std::int32_t>& values);

} // namespace tavo
