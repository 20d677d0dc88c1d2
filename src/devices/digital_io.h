// Digital input and output commands: input and output state, single outputs, the
// communication safety value, the over-current status of the sink/source output
// modules and the per-channel functions of the universal R850/R860 modules.
#pragma once

#include "family_object.h"

#include <cstdint>
#include <string>

namespace tavo {

// Channel numbers c go out as one decimal digit (0 to 9); operations given anything
// else, or a value that does not fit its field, fail without sending. Operations
// marked '!' or '>' fail unless the reply begins with that character, although the
// transaction accepts either.
class TavoRDigitalInput : public TavoRFamilyObject {
public:
    using TavoRFamilyObject::TavoRFamilyObject;

    // $AA6: the reply carries its data right after the '!' (no address): out =
    // characters 1 to n - 2. The model classes split it into bytes.
    bool ReadDIO(std::string& out);
    // $AAV{tttt} / $AAV: the R520 input inversion mask, four hex digits.
    bool SetV(unsigned mask);
    bool ReadV(std::string& out);

    // '!' $AACIC{c} -> characters 3-4; $AACIC{c}{mm}.
    bool ReadInputMode(int c, std::string& out);
    bool SetInputMode(int c, unsigned mode);
    // '!' $AA0C{c} -> the two minimum signal widths of the input filter (0.1 ms),
    // characters 3-10 and 11-18; set in the same order, eight hex digits each.
    bool ReadInputWidths(int c, std::string& low, std::string& high);
    bool SetInputWidths(int c, std::uint32_t low, std::uint32_t high);
    // '>' #AA{c} -> counter or frequency value, characters 1 to n - 2.
    bool ReadCounter(int c, std::string& out);
    // '!' $AA5{c} -> counting state, character 3.
    bool ReadCounting(int c, std::string& out);
    bool StartCounting(int c); // $AA5{c}1
    bool StopCounting(int c);  // $AA5{c}0
    bool ClearCounter(int c);  // $AA6{c}
    bool ClearLatch(int c);    // @AACAC{c}
};

class TavoRDigitalOutput : public TavoRFamilyObject {
public:
    using TavoRFamilyObject::TavoRFamilyObject;

    // #AA{bb}{dd}: both hexadecimal text; the model classes build them per channel.
    bool WriteDO(const std::string& bb, const std::string& dd);
    // $AAX0{tttt}{value}: time-out in 0.1 s (0 to 65535) and the outputs applied
    // when it runs out, as `valueDigits` hex digits (two; four on 12-output modules).
    bool SetSafety(unsigned timeoutTenths, unsigned value, int valueDigits = 2);
    // $AAX1: time-out = characters 1-4, value = characters 5-8 (the reply carries
    // no address, like the state read).
    bool ReadSafety(std::string& timeout, std::string& value);
    bool ClearError();                // $AAE1
    bool ReadError(std::string& out); // $AAE0 -> character 3

    // '!' $AACOC{c} -> characters 3-4; $AACOC{c}{mm}.
    bool ReadOutputMode(int c, std::string& out);
    bool SetOutputMode(int c, unsigned mode);
    // '!' $AA9{c} -> four eight-digit timing values (0.1 ms) at characters 3-10,
    // 11-18, 19-26, 27-34: low width, high width, low-to-high delay, high-to-low delay.
    bool ReadPulseWidths(int c, std::string& w1, std::string& w2, std::string& w3, std::string& w4);
    bool SetPulseWidths(int c, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3,
                        std::uint32_t w4);
    // '>' #AAERFF{cc}{vvvvvvvv}: pulses to put out on channel cc (0 = without end).
    bool SetPulseCount(unsigned cc, std::uint32_t count);
    // '>' $AAERFF{cc} -> state = character 3, remaining count = characters 4-11.
    bool ReadPulseCount(unsigned cc, std::string& state, std::string& count);
    // $AAD: asks the module's boot loader to take a firmware image.
    bool StartDownload();
};

} // namespace tavo
