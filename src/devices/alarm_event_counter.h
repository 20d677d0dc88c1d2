// Alarm and event-counter commands of the single-channel analog input modules
// (R210, R210D, R220, R250).
#pragma once

#include "family_object.h"

#include <string>

namespace tavo {

class TavoRAlarmEventCounter : public TavoRFamilyObject {
public:
    using TavoRFamilyObject::TavoRFamilyObject;

    // x: 'M' momentary or 'L' latch.
    bool EnableAlarm(char x); // @AAEA{x}
    bool DisableAlarm();      // @AADA
    bool ClearAlarmLatch();   // @AACA
    bool SetDO(int dd);       // @AADO{dd as %02X}, bit 0 DO0, bit 1 DO1
    // v: sign and six characters in the range's format ("+05.000").
    bool SetHighLimit(const std::string& v); // @AAHI{v}
    bool SetLowLimit(const std::string& v);  // @AALO{v}
    bool ClearEventCounter();                // @AACE
    // @AADI: mode = character 3 ('0' disable, '1' momentary, '2' latch), dout =
    // characters 4-5, din = characters 6-7. Fails unless the mode is a digit and
    // both bytes are hex.
    bool ReadAlarmStatus(std::string& mode, std::string& dout, std::string& din);
    bool ReadHighLimit(std::string& out);    // @AARH, characters 3 to n - 2
    bool ReadLowLimit(std::string& out);     // @AARL
    bool ReadEventCounter(std::string& out); // @AARE
};

} // namespace tavo
