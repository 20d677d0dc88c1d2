// Common part of the family objects (analog input, analog output, alarm and event
// counter, excitation voltage, ...): the port they talk through and their own copy
// of the module address, kept in step by the model class that contains them.
#pragma once

#include "transport/com_port.h"

#include <string>

namespace tavo {

class TavoRFamilyObject {
public:
    TavoRFamilyObject(TavoComPort* port, const std::string& address);
    TavoRFamilyObject(const TavoRFamilyObject&) = delete;
    TavoRFamilyObject& operator=(const TavoRFamilyObject&) = delete;

    // Replaces the address (first two characters); nothing is sent.
    void SetAddress(const std::string& address);
    const std::string& Address() const { return address_; }
    TavoComPort* GetPort() const { return port_; }

protected:
    ~TavoRFamilyObject() = default;

    // One transaction of "<lead><address><body>" + CR. Fails without sending when
    // there is no port or address, or when the body holds anything but printable
    // ASCII or would not fit the command buffer: text from an edit field can never
    // end a line early or smuggle in a second command.
    bool Command(char lead, const std::string& body, std::string& reply,
                 std::size_t maxLen = TavoComPort::kReplyLimit);
    bool Command(char lead, const std::string& body);
    // Characters `from` to n - 2 of the reply (empty when it is shorter).
    bool Tail(char lead, const std::string& body, std::size_t from, std::string& out);
    // The reply's data field: after "!AA", or after ">" for a data reply.
    bool Data(char lead, const std::string& body, std::string& out);

private:
    TavoComPort* port_;
    std::string address_;
};

// Formatting of the numeric command fields.
std::string DecimalText(int value);              // "%d"
std::string HexText(unsigned value, int digits); // upper case, zero padded

// A channel number as the commands write it: one decimal digit.
inline bool IsChannelDigit(int n) {
    return n >= 0 && n <= 9;
}
bool IsHexField(const std::string& text, std::size_t digits);
// A command body that may go on the wire: printable ASCII only, and short enough to
// leave room for lead, address, checksum and CR in the 64-character command buffer.
bool IsCommandText(const std::string& body);

} // namespace tavo
