// Common ground of the family command objects (digital I/O, counter, LED display):
// each holds the port and its own copy of the module address, builds one command
// line per operation and cuts its result out of the reply.
#pragma once

#include "transport/com_port.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tavo {

class TavoRIoFamily {
public:
    TavoRIoFamily(TavoComPort* port, const std::string& address);
    TavoRIoFamily(const TavoRIoFamily&) = delete;
    TavoRIoFamily& operator=(const TavoRIoFamily&) = delete;

    // Stores the first two characters; nothing is sent.
    void SetAddress(const std::string& address);
    void GetAddress(std::string& out) const { out = address_; }
    const std::string& Address() const { return address_; }
    TavoComPort* GetPort() const { return port_; }

    // Channel numbers go on the wire as one decimal digit: more digits would run
    // into the value that follows them.
    static bool IsChannelDigit(int channel);
    static std::string Decimal(int value);
    // Upper-case hexadecimal with zeros to `digits` ("%0*X"); empty when the value
    // does not fit.
    static std::string HexDigits(std::uint64_t value, int digits);
    // A short code sent as given (a mode letter or digit): 1 to 4 letters or digits.
    static bool IsCodeText(const std::string& text);

protected:
    // Model classes combine families with the base; nobody deletes through this.
    ~TavoRIoFamily() = default;

    // One transaction of "<lead><address><body>" + CR. Refuses without sending when
    // there is no port or the body holds anything but printable characters.
    bool Command(char lead, const std::string& body, std::string& reply);
    bool Command(char lead, const std::string& body);
    // As Command, and the reply must begin with `first` ('!' or '>').
    bool CommandExpecting(char lead, const std::string& body, char first, std::string& reply);
    bool CommandExpecting(char lead, const std::string& body, char first);
    // Data after "!AA": characters 3 to n - 2 (empty for a reply too short to hold it).
    bool Data(char lead, const std::string& body, std::string& data);

    // Fixed fields of the reply (positions from 0 at its first character, both ends
    // included); fails unless the reply holds all of them and, when `first` is not
    // 0, begins with it. `out` gets one text per span, only on success.
    struct Span {
        std::size_t from, to;
    };
    bool Fields(char lead, const std::string& body, char first, std::initializer_list<Span> spans,
                std::vector<std::string>& out);
    bool Field(char lead, const std::string& body, char first, Span span, std::string& out);

private:
    TavoComPort* port_;
    std::string address_;
};

} // namespace tavo
