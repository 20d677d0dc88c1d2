// Family objects (analog input and output, alarm and event counter, excitation
// voltage, digital input and output, counter, LED display): each holds the port and
// its own copy of the module address, builds one command line per operation and cuts
// its result out of the reply. A model class is the R-series base combined with the
// families its module has (TavoRFamilyModel below).
#pragma once

#include "hex_codes.h"
#include "r_base.h"
#include "transport/com_port.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace tavo {

class TavoRFamilyObject {
public:
    TavoRFamilyObject(TavoComPort* port, const std::string& address);
    TavoRFamilyObject(const TavoRFamilyObject&) = delete;
    TavoRFamilyObject& operator=(const TavoRFamilyObject&) = delete;

    // Replaces the address (first two characters); nothing is sent.
    void SetAddress(const std::string& address);
    void GetAddress(std::string& out) const { out = address_; }
    const std::string& Address() const { return address_; }
    TavoComPort* GetPort() const { return port_; }

protected:
    // Model classes combine families with the base; nobody deletes through this.
    ~TavoRFamilyObject() = default;

    // One transaction of "<lead><address><body>" + CR. Fails without sending when
    // there is no port or address, or when the body is not IsCommandBody: text from
    // an edit field can never end a line early or smuggle in a second command.
    bool Command(char lead, const std::string& body, std::string& reply,
                 std::size_t maxLen = TavoComPort::kReplyLimit,
                 ReplyLayout layout = ReplyLayout::Addressed);
    bool Command(char lead, const std::string& body);
    // As Command, and the reply must begin with `first` ('!' or '>'), although the
    // transaction itself accepts either.
    bool CommandExpecting(char lead, const std::string& body, char first, std::string& reply);
    bool CommandExpecting(char lead, const std::string& body, char first);

    // Characters `from` to n - 2 of the reply (empty when it is shorter).
    bool Tail(char lead, const std::string& body, std::size_t from, std::string& out,
              ReplyLayout layout = ReplyLayout::Addressed);
    // The data after "!AA": always characters 3 to n - 2, whatever the reply class.
    bool Query(char lead, const std::string& body, std::string& out);
    // The reply's data field by reply class: after ">" for a data reply, else after "!AA".
    bool Data(char lead, const std::string& body, std::string& out);

    // Fixed fields of the reply (positions from 0 at its first character, both ends
    // included); fails unless the reply holds all of them and, when `first` is not
    // 0, begins with it. `out` gets one text per span, only on success.
    struct Span {
        std::size_t from, to;
    };
    bool Fields(char lead, const std::string& body, char first, std::initializer_list<Span> spans,
                std::vector<std::string>& out, ReplyLayout layout = ReplyLayout::Addressed);
    bool Field(char lead, const std::string& body, char first, Span span, std::string& out,
               ReplyLayout layout = ReplyLayout::Addressed);

private:
    TavoComPort* port_;
    std::string address_;
};

// A channel number as the commands write it: one decimal digit. More digits would
// run into the value that follows.
inline bool IsChannelDigit(int n) {
    return n >= 0 && n <= 9;
}
// A short code sent as given (a mode letter or digit): 1 to 4 letters or digits.
bool IsCodeText(const std::string& text);
// A command body that may go on the wire: printable ASCII only, and short enough to
// leave room for lead, address, checksum and CR in the 64-character command buffer.
bool IsCommandBody(const std::string& body);

// A model class: `Base` (TavoRBase, or a model class it extends) first, then the
// family objects in order, each keeping its own copy of the address. SetAddress
// (slot 0) moves them all together, and so does the base's configuration write,
// which goes through it. The families' operations are the model's under their own
// names; a model's own commands go through the base.
template <class Base, class... Families> class TavoRFamilyModel : public Base, public Families... {
public:
    explicit TavoRFamilyModel(TavoComPort* port) : TavoRFamilyModel(port, "") {}
    TavoRFamilyModel(TavoComPort* port, const std::string& address)
        : Base(port, address), Families(port, address)... {}

    void SetAddress(const std::string& address) override {
        Base::SetAddress(address);
        (Families::SetAddress(Base::Address()), ...);
    }

    using Base::Address;
    using Base::GetAddress;
    using Base::GetPort;

    // The family object itself, for its operations that the model hides (the text
    // forms of the count values of TavoMR710, for instance).
    template <class F> F& Family() { return *this; }

protected:
    using Base::Command;
    using Base::Data;
    using Base::Query;
    using Base::Tail;
};

} // namespace tavo
