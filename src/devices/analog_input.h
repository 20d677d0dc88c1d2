// Analog input commands (values, channel enable and ranges, calibration, cold
// junction, lead-wire compensation, the R810 family's extra settings) and the
// excitation voltage of the strain-gauge input module.
#pragma once

#include "family_object.h"

#include <string>

namespace tavo {

// Every operation is one transaction and returns false when it fails or when an
// argument cannot be put on the wire as it is (channel outside 0..9, hex fields of
// the wrong shape, a value text with control characters); outputs change only on
// success. "Data" below is the reply's data field: after "!AA", or after ">".
class TavoRAnalogInput : public TavoRFamilyObject {
public:
    using TavoRFamilyObject::TavoRFamilyObject;

    bool SpanCalibrate();                           // $AA0
    bool ZeroCalibrate();                           // $AA1
    bool SpanCalibrateChannel(int n);               // $AA0C{n}
    bool ZeroCalibrateChannel(int n);               // $AA1C{n}
    bool NegativeCalibrateChannel(int n);           // $AANC{n}
    bool ReadAll(std::string& out);                 // #AA, characters 1 to n - 2
    bool ReadChannel(int n, std::string& out);      // #AA{n}, characters 1 to n - 2
    bool SetChannelEnable(int mask);                // $AA5{mask as %02X}, bit i = channel i
    bool ReadChannelEnable(std::string& out);       // $AA6, characters 3 to n - 2
    bool SetChannelRange(int n, int code);          // $AA7C{n}R{code as %02X}
    bool ReadChannelRange(int n, std::string& out); // $AA8C{n}, characters 6 to n - 2
    bool ReadChannelStatus(std::string& out);       // $AAB, characters 3 to n - 2
    bool ReadCJC(std::string& out);                 // $AA3, characters 1 to n - 2
    // sign '+' or '-', hhhh four hex digits of |offset| in 0.009 degC steps.
    bool SetCJCOffset(char sign, const std::string& hhhh); // $AA9{sign}{hhhh}
    // hhhh four hex digits of |resistance| in 0.1 ohm.
    bool SetWireCompensation(int ch, char sign, const std::string& hhhh); // $AAR{ch}{sign}{hhhh}
    bool ReadWireCompensation(int ch, std::string& out);                  // $AAR{ch}, data
    bool SendS0();                                                        // $AAS0
    bool SendS1();                                                        // $AAS1

    // R810 family.
    bool Locate();                 // #AAMM
    bool ReadMP(std::string& out); // $AAMP, data
    bool ReadMC(std::string& out); // $AAMC, data
    bool SetFilterRate(int ppp);   // #AAMK{ppp as %03X}
    // $AAMD; the data's leading hexadecimal digits (at most three, "%03X").
    bool ReadFilterRate(int& out);
    // The burn-out choice is written twice, with $AAD and #AAAT, as two hex digits
    // of the option index ("00" disable, "01" up scale, "02" down scale). Two
    // digits keep the write apart from the read $AAD2.
    bool SetBurnOut(int x);             // $AAD{x as %02X}
    bool ReadBurnOut(std::string& out); // $AAD2, data
    bool SetAT(int x);                  // #AAAT{x as %02X}
    bool ReadAT(std::string& out);      // $AAAT, data
    bool ReadOD(std::string& out);      // $AAOD, data
    bool SetThermoMode(int x);          // #AAOD{x as %02X}
};

// Excitation (output) voltage of the strain-gauge input module.
class TavoRExcitationVoltage : public TavoRFamilyObject {
public:
    using TavoRFamilyObject::TavoRFamilyObject;

    bool SetExcitation(const std::string& value); // $AA7{value}, e.g. "05.000"
    bool SetStartupExcitation();                  // $AAS
    bool TrimExcitation(const std::string& nn);   // $AAE{nn}, two hex digits
    bool Calibrate0V();                           // $AAA
    bool Calibrate10V();                          // $AAB
    bool ReadExcitation(std::string& out);        // $AA6, data
};

// Cold-junction offset in degC (-99.9 to +99.9) as the sign and the "%04X" count of
// 0.009 degC steps that SetCJCOffset sends (-1.0 gives '-' and "006F"). The value is
// taken in single precision and the count truncated toward zero. False, with the
// outputs untouched, for a value outside the range or not a number.
bool EncodeCJCOffset(double celsius, char& sign, std::string& hhhh);

// Lead-wire compensation in ohms (-6553.5 to +6553.5) as the sign and "%04X" count
// of 0.1 ohm that SetWireCompensation sends (12.34 gives '+' and "007B").
bool EncodeWireCompensation(double ohms, char& sign, std::string& hhhh);

// The data of ReadWireCompensation (hex count of 0.1 ohm, optionally signed) in
// ohms; false for anything else.
bool DecodeWireCompensation(const std::string& data, double& ohms);

} // namespace tavo
