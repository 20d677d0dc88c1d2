// Model command classes of the analog modules: the R-series base plus the family
// objects each model needs (TavoRFamilyModel), the model's own virtual operations
// after the base's slots, and the commands only one model has (R270P watchdog, R270M
// data logger, R320T loop controller).
#pragma once

#include "alarm_event_counter.h"
#include "analog_input.h"
#include "analog_output.h"
#include "digital_io.h"
#include "family_object.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavo {

// ---- Single-channel analog inputs -------------------------------------------------

class TavoMR230 : public TavoRFamilyModel<TavoRBase, TavoRAnalogInput> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;
    TavoRAnalogInput& AnalogInput() { return *this; }
};

class TavoMR210 : public TavoRFamilyModel<TavoMR230, TavoRAlarmEventCounter> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;
    TavoRAlarmEventCounter& AlarmEventCounter() { return *this; }

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
class TavoMR250 : public TavoRFamilyModel<TavoMR220, TavoRExcitationVoltage> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;
    TavoRExcitationVoltage& ExcitationVoltage() { return *this; }

    bool ReadEventCounter(std::string& out) override;
    bool ClearEventCounter() override;
};

// ---- Multi-channel analog inputs with per-channel ranges --------------------------

class TavoMR240 : public TavoRFamilyModel<TavoRBase, TavoRAnalogInput> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;
    TavoRAnalogInput& AnalogInput() { return *this; }

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

class TavoMR260 : public TavoRFamilyModel<TavoRBase, TavoRAnalogInput> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;
    TavoRAnalogInput& AnalogInput() { return *this; }

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
    // @AAR{index as %04X}: the whole data after "!AA", for a caller that checks the
    // record's form itself (ParseRecordData).
    bool ReadRecordData(int index, std::string& data);
    // @AAB{n}: two six-character limits at characters 3-8 and 9-14.
    bool ReadChannelAlarm(int n, std::string& high, std::string& low);
    bool SetChannelAlarm(int n, const std::string& high, const std::string& low); // @AAA{n}{a}{b}
};

// ---- Analog outputs ----------------------------------------------------------------

class TavoMR310 : public TavoRFamilyModel<TavoRBase, TavoRAnalogOutput> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;
    TavoRAnalogOutput& AnalogOutput() { return *this; }
};

// The R330 keeps its protocol selection in bit 7 of the format byte.
class TavoMR330 : public TavoRFamilyModel<TavoRBase, TavoRAnalogOutput> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;
    TavoRAnalogOutput& AnalogOutput() { return *this; }

    void SetProtocolBit(char bit) override;
    bool GetProtocolBit(std::string& out) override;
};

// ---- Loop controller ---------------------------------------------------------------

// Two-loop PID controller with four analog inputs, two analog outputs and two digital
// inputs and outputs. n is a loop, output or channel number (decimal digit). Besides
// its own commands below it offers the analog input and digital output families.
class TavoMR320T : public TavoRFamilyModel<TavoRBase, TavoRAnalogInput, TavoRDigitalOutput> {
public:
    // Largest number of table entries one ReadParameters can bring within the
    // 1024-character reply limit.
    static constexpr int kMaxParameterCount = 127;
    static constexpr std::size_t kParameterReplyLimit = 1024;

    using TavoRFamilyModel::TavoRFamilyModel;
    TavoRAnalogInput& AnalogInput() { return *this; }
    TavoRDigitalOutput& DigitalOutput() { return *this; }

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
    using TavoRDigitalOutput::WriteDO;
    bool WriteDO(int n, bool on); // #AA1{n}0{1|0}, n decimal
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
