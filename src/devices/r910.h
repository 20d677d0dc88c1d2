// The R910 addressable RS-232 to RS-422/485 converter.
#pragma once

#include "r_base.h"

#include <string>

namespace tavo {

// The converter's configuration is a string of 10 characters:
//   0-1  address (hex)            2-3  type field as read (sent back unchanged)
//   4    RS-232 baud code 1..A    5    RS-422/485 baud code 1..A
//        (300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)
//   6    flags: bit 3 non-addressable, bit 1 RS-485 (clear: RS-422)
//   7    '1' appends CR ("Add (cr)")
//   8-9  RS-232 format byte: bits 1-0 data bits (5..8), bit 2 1.5 stop bits,
//        bits 4-3 parity: 00 none, 01 odd, 10 or 11 even
// The characters after the address are held between a read and the next write;
// the field setters change them one at a time.
class TavoMR910 : public TavoRBase {
public:
    TavoMR910(TavoComPort* port, const std::string& address);

    // $AA2: !AA{type}{232 baud}{485 baud}{flags}{add CR}{format}, kept.
    bool ReadConverterConfig();
    // %{previous}{10 characters}: to the address the converter still has, the new
    // address and the held fields. Fails without sending when no address or no
    // configuration is held. On success no address change is pending any more.
    bool WriteConverterConfig();
    // The write of the panels' Update groups: WriteConverterConfig, and once more
    // after 60 ms when it fails. A converter in its INIT state (`initState`) is
    // addressed as 00 afterwards; after a failure in normal mode the address it
    // still has is held again, so that later commands reach it.
    bool Update(bool initState);
    // Forgets the held configuration; the next getter reads it again.
    void ClearConverterConfig();
    // Talks to `address` from now on, with no change of address pending (a write
    // that failed leaves the converter where it was).
    void HoldAddress(const std::string& address);
    // The 10 characters WriteConverterConfig would send.
    bool GetConfigString(std::string& out);

    bool SetIdentification(const std::string& text); // $AA6{text}, at most 24 characters
    bool ReadIdentification(std::string& out);       // $AA7
    bool SetDelimiter(char delimiter);               // $AAC{x}: one of : [ ] ^ { | } ~
    bool ReadDelimiter(std::string& out);            // $AAD, first character
    bool SetGateTime(long units);                    // $AA3{"%04X"}, 0..65535 (10 ms units)
    bool ReadGateTime(std::string& out);             // $AA4, hexadecimal

    // Field setters: they work on the held configuration (read once first when none
    // is held) and fail, changing nothing, when none can be had or the value is out
    // of range.
    bool SetRS232Baud(int code); // 1..10
    bool SetRS485Baud(int code); // 1..10
    bool SetAddCR(bool on);
    bool SetFormatByte(int format); // 0x00..0x1F
    bool SetNonAddressable(bool on);
    bool SetRS485(bool on);

    // Field getters, from the held configuration (read once first when none is held).
    bool GetTypeField(std::string& out);
    bool GetRS232Baud(int& code);
    bool GetRS485Baud(int& code);
    bool GetFlags(int& flags);
    bool GetNonAddressable(bool& on);
    bool GetRS485(bool& on);
    bool GetAddCR(bool& on);
    bool GetFormatByte(int& format);

    // RS-232 format byte from the panel's list positions: data bits 0..3 ("5 bits" to
    // "8 bits"), parity 0 none, 1 odd, 2 even, stop bits 0 ("1") or 1 ("1.5").
    static int MakeFormatByte(int dataBits, int parity, int stopBits);
    // And back; parity codes 10 and 11 both read as even.
    static void SplitFormatByte(int format, int& dataBits, int& parity, int& stopBits);

    static constexpr int kRetryPauseMs = 60;
    static constexpr std::size_t kMaxIdentification = 24;

private:
    bool Held();
    bool SetDigit(std::size_t at, int value);
    bool GetDigit(std::size_t at, int& value);
};

} // namespace tavo
