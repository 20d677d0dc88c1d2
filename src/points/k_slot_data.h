// What the rack's digital and counter slot panels accept from a slot's replies and
// from their edit fields. A reply that is not exactly what the slot sends (short,
// too long, not hexadecimal: most often an answer meant for another slot or a
// garbled one) is refused here, so that it is shown as a failure, never as a value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavo {

// A digital slot's state or mask: exactly four hexadecimal digits.
std::optional<unsigned> SlotWord(std::string_view data);

// The "0x" texts of a digital slot's state digits: characters 1-2 (high byte) and
// 3-4 (low byte), as received.
std::string HighByteText(std::string_view word);
std::string LowByteText(std::string_view word);

// A counter channel's reading as the panels show it. `format` is the slot's format
// byte (2 = hexadecimal: at most eight hexadecimal digits, shown "0x" + reply),
// `type` its mode (2 = frequency: at most ten decimal digits in hundredths of a
// hertz, shown with two decimals); counts are at most ten decimal digits, shown as
// received.
std::optional<std::string> CounterValueText(std::string_view reply, unsigned type, unsigned format);

// A counter channel's reading as a number: counts, or in frequency mode (type 2)
// hertz (the slot sends hundredths of a hertz, in decimal or, with format 2, in
// hexadecimal digits). nullopt for every reply CounterValueText refuses.
std::optional<double> CounterValue(std::string_view reply, unsigned type, unsigned format);

// The counter slot's mode (TT: 0 bi-direction, 1 up/down, 2 frequency) and data
// format (FF: 2 hexadecimal, anything else decimal) from the two codes of its
// configuration reply; a mode the slot does not have is refused.
struct CounterSetup {
    unsigned type = 0;
    unsigned format = 0;
};
std::optional<CounterSetup> CounterConfig(std::string_view tt, std::string_view ff);
inline constexpr unsigned kCounterModes = 3;
inline constexpr unsigned kCounterFrequencyMode = 2;

// A counter alarm flag: "0" or "1".
std::optional<bool> AlarmFlag(std::string_view flag);
// An alarm mode reply: 'M' momentary, 'L' latch, 'D' disabled.
std::optional<char> AlarmMode(std::string_view data);
// An alarm's output mapping as read: slot digit 0-7 and output 0-15, or none (both
// "*"). False for anything else.
struct AlarmMapping {
    bool mapped = false;
    int slot = 0;
    int output = 0;
};
std::optional<AlarmMapping> ParseAlarmMapping(std::string_view slot, std::string_view output);

// A counter limit or initial value the user typed: digits only (blanks around them
// are ignored), at most ten, at most 4294967295. The wire form is "%010.0f".
std::optional<unsigned long long> CounterNumber(std::string_view text);
std::string CounterNumberText(unsigned long long value);
// A stored counter number read back: one to ten decimal digits.
std::optional<unsigned long long> StoredCounterNumber(std::string_view data);

// The digital filter scale: an integer; nullopt when the text is none, else the
// value (which may lie outside 8..65000).
std::optional<long long> FilterScale(std::string_view text);
constexpr long long kMinFilterScale = 8;
constexpr long long kMaxFilterScale = 65000;

// What one member of the rack's digital slots is (the rows are K510 to K630).
struct KDigitalMember {
    const char* model;    // "K510"
    bool readsDIPSwitch;  // $AASi7 at attach
    bool readsAlarmMask;  // $AASiM at attach
    bool hasWatchdog;     // the watchdog group is shown
    int watchdogCount;    // watchdog outputs
    int firstBit;         // state bit of button 0
    int buttons;          // channel buttons shown
    const char* captions; // one letter per button before any read: 'O' "DO n", 'I' "DI n"
    bool buttonsEnabled;  // as on the form
};
// The row of `model`; the K510's for a model the table does not have.
const KDigitalMember& KDigitalMemberOf(const char* model);
// The row of `model`, or null.
const KDigitalMember* FindKDigitalMember(std::string_view model);

// "S2" -> 2; -1 for anything but S0..S7.
int SlotDigit(std::string_view slot);
// "CH 3" -> 3; -1 for anything but "CH " + one decimal digit below `count`.
int ChannelOfNode(std::string_view channel, int count);

} // namespace tavo
