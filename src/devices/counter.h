// Commands of the two-channel counter/frequency modules (R710, R710D) and the LED
// display of the R710D.
#pragma once

#include "family_object.h"

#include <cstdint>
#include <string>

namespace tavo {

// n is a counter channel, one decimal digit (0 or 1 on the modules there are).
// Reads return the reply's data after "!AA" (characters 3 to n - 2) unless said
// otherwise. Codes (gate, input signal, filter, counting state, alarm mode) are one
// to four letters or digits; anything else fails without sending.
class TavoRCounter : public TavoRFamilyObject {
public:
    using TavoRFamilyObject::TavoRFamilyObject;

    // Count values go out as eight characters made with "%8X": blank-padded on the
    // left ($AA30 + "      FF" for 255). The text forms send eight characters as
    // given: hexadecimal digits, optionally after leading blanks.
    static std::string CountText(std::uint32_t value);
    static bool IsCountText(const std::string& text);

    bool SetInputSignal(const std::string& x);    // $AAB{x}: 0 TTL, 1 photo
    bool ReadInputSignal(std::string& out);       // $AAB
    bool SetGate(const std::string& x);           // $AAA{x}: 0 low, 1 high, 2 disabled
    bool ReadGate(std::string& out);              // $AAA
    bool SetMaxCount(int n, std::uint32_t value); // $AA3{n}{v}
    bool SetMaxCount(int n, const std::string& text);
    bool ReadMaxCount(int n, std::string& out);     // $AA3{n}
    bool SetCounting(int n, const std::string& x);  // $AA5{n}{x}: 1 start, 0 stop
    bool ReadCounting(int n, std::string& out);     // $AA5{n}
    bool ClearCount(int n);                         // $AA6{n}
    bool ReadCount(int n, std::string& out);        // '>' #AA{n} -> characters 1 to n - 2
    bool ReadOverflowFlag(int n, std::string& out); // $AA7{n}
    bool SetFilter(const std::string& x);           // $AA4{x}
    bool ReadFilter(std::string& out);              // $AA4
    // Minimum input signal widths in microseconds, five decimal digits (0 to 65535).
    bool SetHighWidth(unsigned us); // $AA0H{v}
    bool SetLowWidth(unsigned us);  // $AA0L{v}
    bool ReadHighWidth(std::string& out);
    bool ReadLowWidth(std::string& out);
    // Trigger levels of the non-isolated input in 0.1 V, two decimal digits (0 to 99).
    bool SetHighTrigger(unsigned tenthsVolt); // $AA1H{v}
    bool SetLowTrigger(unsigned tenthsVolt);  // $AA1L{v}
    bool ReadHighTrigger(std::string& out);
    bool ReadLowTrigger(std::string& out);
    // @AADO{dd}: the two outputs directly, bit 0 = DO0, bit 1 = DO1, two hex digits.
    bool SetAlarmOutput(unsigned outputs);
    bool SetPreset(int n, std::uint32_t value); // @AAP{n}{v}
    bool SetPreset(int n, const std::string& text);
    bool EnableAlarmChannel(int n);            // @AAEA{n}
    bool DisableAlarmChannel(int n);           // @AADA{n}
    bool EnableAlarm(const std::string& mode); // @AAEA{x}: M momentary, L latch
    bool DisableAlarm();                       // @AADA
    bool ClearAlarm();                         // @AACA
    // @AASA{v} for the high limit, @AAPA{v} for the low one.
    bool SetAlarmLimit(bool high, std::uint32_t value);
    bool SetAlarmLimit(bool high, const std::string& text);
    bool ReadAlarmLimit(bool high, std::string& out); // @AARA / @AARP
    // @AADI: status = character 3, outputs = characters 4-5.
    bool ReadAlarmState(std::string& status, std::string& outputs);
    bool ReadG(int n, std::string& out); // @AAG{n}

private:
    bool SetCode(const std::string& body, const std::string& x);
    bool SendCount(char lead, const std::string& body, const std::string& text);
};

class TavoRMappingLED : public TavoRFamilyObject {
public:
    using TavoRFamilyObject::TavoRFamilyObject;

    // What the display shows: 0 counter 0, 1 counter 1, 2 the value sent with $AA9.
    bool SetLEDSource(const std::string& x); // $AA8{x}
    bool ReadLEDSource(std::string& out);    // $AA8 -> character 3
    // $AA9{value}: six characters, "%6.1f" of a value from 0 to 9999.9 with every
    // character but digits and '.' turned into '0' (7.5 goes out as 0007.5; larger
    // values as 9999.9). Negative or not-a-number values fail without sending.
    bool WriteLEDData(double value);
    // Six characters as given: digits and at most one '.'.
    bool WriteLEDData(const std::string& text);
    static std::string LEDText(double value); // empty for a value that cannot be shown
};

} // namespace tavo
