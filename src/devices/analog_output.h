// Analog output commands of the single-channel R310 and the four-channel R330.
#pragma once

#include "family_object.h"

#include <string>

namespace tavo {

// Values are text already formatted for the module's data format ("04.500",
// "+12.500"); channels are written as one decimal digit. Every operation returns
// false when the transaction fails or an argument cannot be sent as it is.
class TavoRAnalogOutput : public TavoRFamilyObject {
public:
    using TavoRFamilyObject::TavoRFamilyObject;

    // R310.
    bool WriteOutput(const std::string& value); // #AA{value}
    bool SetStartupToCurrent();                 // $AA4
    bool Trim(const std::string& nn);           // $AA3{nn}, two hex digits
    bool Calibrate4mA();                        // $AA0
    bool Calibrate20mA();                       // $AA1
    bool ReadLastOutput(std::string& out);      // $AA6, characters 3 to n - 2
    bool ReadReadback(std::string& out);        // $AA8, characters 3 to n - 2

    // R330.
    bool WriteChannel(int n, const std::string& value);      // #AAC{n}{value}
    bool SetStartupValue(int n, const std::string& value);   // #AASC{n}{value}
    bool SetEmergencyValue(int n, const std::string& value); // #AAEC{n}{value}
    bool Calibrate4mAChannel(int n);                         // $AA0C{n}
    bool Calibrate20mAChannel(int n);                        // $AA1C{n}
    bool SetChannelRange(int n, int code);                   // $AA7C{n}R{code as %02X}
    bool SetEmergencyInput(int n, bool enabled);             // $AAAC{n}{1|0}
    // Time-out in tenths of a second, 0 to 65535.
    bool SetCommSafety(int tenths); // $AAX0{tenths as %04X}
    // $AAX1; characters 1-4 of the reply (four hex digits right after '!').
    bool ReadCommSafety(std::string& out);
    bool ReadChannelOutput(int n, std::string& out);  // $AA6C{n}, characters 3 to n - 2
    bool ReadChannelRange(int n, std::string& out);   // $AA8C{n}, characters 5 to n - 2
    bool ReadEmergencyInput(int n, std::string& out); // $AABC{n}, characters 5 to n - 2
    bool ReadStartupValue(int n, std::string& out);   // $AADC{n}, characters 3 to n - 2
    bool ReadEmergencyValue(int n, std::string& out); // $AAEC{n}, characters 3 to n - 2
    bool ReadDI(std::string& out);                    // $AAI, characters 3 to n - 2
};

} // namespace tavo
