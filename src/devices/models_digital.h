// Model command classes of the digital I/O, counter and R8XX modules. Each is an
// R-series base combined with the family objects its module needs
// (TavoRFamilyModel); the family operations are offered under their own names, and
// every change of address reaches all copies of it.
#pragma once

#include "counter.h"
#include "digital_io.h"
#include "family_object.h"

#include <cstdint>
#include <string>

namespace tavo {

// Digital inputs and outputs: base of the R550, R560 and R850 classes.
class TavoMR510 : public TavoRFamilyModel<TavoRBase, TavoRDigitalInput, TavoRDigitalOutput> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;

    using TavoRDigitalInput::ReadDIO;
    // The state read cut in two: characters 1-2 and 3-4 of the reply, hexadecimal
    // (output byte and input byte; on the 12-output modules high and low output byte).
    bool ReadDIO(std::string& first, std::string& second);

    using TavoRDigitalOutput::WriteDO;
    // One output: #AA1{c}0{d}, the channel as one hexadecimal digit (0 to 15), d 0 or 1.
    bool WriteDO(int channel, int value);
};

class TavoMR550 : public TavoMR510 {
public:
    using TavoMR510::TavoMR510;
};

// The 12-output sink/source modules: four-digit output and safety values.
class TavoMR560 : public TavoMR510 {
public:
    using TavoMR510::TavoMR510;

    using TavoMR510::WriteDO;
    // #AA1{c}000{d}.
    bool WriteDO(int channel, int value);
    // $AAX0{tttt}{vvvv}: twelve outputs need four digits.
    bool SetSafety(unsigned timeoutTenths, unsigned value);
};

// Universal digital I/O (R850, R860): the channel functions of both families, and
// the locate (WriteFQ) and boot-loader switch (SendOS) of the base.
class TavoMR850 : public TavoMR510 {
public:
    using TavoMR510::TavoMR510;
};

// Input-only modules.
class TavoMR530 : public TavoRFamilyModel<TavoRBase, TavoRDigitalInput> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;
};

class TavoMR540 : public TavoRFamilyModel<TavoRBase, TavoRDigitalInput> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;
};

// Two-channel counter/frequency module. Its own virtual operations follow the base's
// 23 slots in this order; count values go out with "%8X" (blank-padded).
class TavoMR710 : public TavoRFamilyModel<TavoRBase, TavoRCounter> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;

    virtual bool SetPreset(int n, std::uint32_t value);         // 23
    virtual bool EnableAlarmChannel(int n);                     // 24
    virtual bool DisableAlarmChannel(int n);                    // 25
    virtual bool SetAlarmLimit(bool high, std::uint32_t value); // 26
    virtual bool ReadG(int n, std::string& out);                // 27
    virtual bool ReadAlarmLimit(bool high, std::string& out);   // 28
};

// The counter with LED display and alarm outputs. It has no per-channel preset
// values or preset modes, so slots 23, 24, 25 and 27 do nothing and fail. Its
// alarm limits are the high and low limit of counter 0 and do go to the module:
// the alarm settings cannot be made without them.
class TavoMR710D : public TavoRFamilyModel<TavoMR710, TavoRMappingLED> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;

    bool SetPreset(int n, std::uint32_t value) override;
    bool EnableAlarmChannel(int n) override;
    bool DisableAlarmChannel(int n) override;
    bool ReadG(int n, std::string& out) override;
};

// A module in its boot loader: configuration (baud rate), firmware version, the
// download request (StartDownload, $AAD) and the switch back (SendOS).
class TavoMR8XX : public TavoRFamilyModel<TavoRBase, TavoRDigitalInput, TavoRDigitalOutput> {
public:
    using TavoRFamilyModel::TavoRFamilyModel;
};

} // namespace tavo
