// Base of every R-series module command class: address, configuration cache
// (type, baud and format codes), the configuration read and write, name and
// firmware reads, and bit access to the format byte.
#pragma once

#include "transport/com_port.h"
#include "transport/modbus.h"

#include <memory>
#include <string>

namespace tavo {

// Every command goes through TavoComPort::SendCommand on the port given at
// construction (not owned; commands fail without sending while it is null).
// Operations return false on any failed transaction and then leave their outputs
// and the held configuration unchanged.
class TavoRBase {
public:
    explicit TavoRBase(TavoComPort* port);
    TavoRBase(TavoComPort* port, const std::string& address);
    virtual ~TavoRBase();
    TavoRBase(const TavoRBase&) = delete;
    TavoRBase& operator=(const TavoRBase&) = delete;

    // Virtual operations in their fixed order; model classes override SetAddress to
    // keep their family objects' address copies in step.
    virtual void SetAddress(const std::string& address);                    // 0
    virtual void SetTypeCode(const std::string& tt);                        // 1
    virtual void SetBaudCode(const std::string& cc);                        // 2
    virtual void SetFormatCode(const std::string& ff);                      // 3
    virtual void SetFormatBits10(const std::string& bits);                  // 4
    virtual void SetFormatBit2(char bit);                                   // 5
    virtual void SetFormatBits52(const std::string& bits);                  // 6
    virtual void SetFormatBit6(char bit);                                   // 7
    virtual void SetFormatBit7(char bit);                                   // 8
    virtual void SetProtocolBit(char bit);                                  // 9
    virtual void SetFormatBit(int n, char bit);                             // 10
    virtual bool SendOS();                                                  // 11
    virtual bool SetComSetting(const std::string& value);                   // 12
    virtual bool GetTypeCode(std::string& out);                             // 13
    virtual bool GetBaudCode(std::string& out);                             // 14
    virtual bool GetFormatBits10(std::string& out);                         // 15
    virtual bool GetFormatBit2(std::string& out);                           // 16
    virtual bool GetFormatBits52(std::string& out);                         // 17
    virtual bool GetFormatBit6(std::string& out);                           // 18
    virtual bool GetFormatBit7(std::string& out);                           // 19
    virtual bool GetProtocolBit(std::string& out);                          // 20
    virtual bool GetFormatBit(int n, std::string& out);                     // 21
    virtual bool ReadComSetting(std::string& out);                          // 22

    bool ReadConfig();
    bool ReadConfigAddress(std::string& address);
    bool ReadConfigText(std::string& out);
    // Sends %{previous}{address}{TT}{CC}{FF}; refuses without sending when no address
    // change is pending. Clears the previous address on success.
    bool WriteConfig();
    // Sends %AA{NNTTCCFF} and on success holds NN, TT, CC and FF.
    bool WriteConfigText(const std::string& nnttccff);
    bool ReadFirmwareVersion(std::string& out);
    bool ReadModuleName(std::string& out);
    bool WriteFQ(const std::string& value);
    // Sends a complete command line (ending in CR) and returns the reply as received.
    bool Transact(const std::string& command, std::size_t maxLen, std::string& reply);

    void GetAddress(std::string& out) const { out = address_; }
    const std::string& Address() const { return address_; }
    const std::string& PreviousAddress() const { return previousAddress_; }
    const std::string& TypeCode() const { return typeCode_; }
    const std::string& BaudCode() const { return baudCode_; }
    const std::string& FormatCode() const { return formatCode_; }
    TavoComPort* GetPort() const { return port_; }
    TavoModbusCOM* GetModbus() const { return modbus_.get(); }

    std::string& ExtraConfiguration() { return extraConfiguration_; }

protected:
    // One transaction of "<lead><address><body>" + CR with the usual reply limit.
    bool Command(char lead, const std::string& body, std::string& reply,
                 std::size_t maxLen = TavoComPort::kReplyLimit,
                 ReplyLayout layout = ReplyLayout::Addressed);
    // Result-only command.
    bool Command(char lead, const std::string& body);
    // The reply's data after "!AA" (characters 3 to n - 2).
    bool Query(char lead, const std::string& body, std::string& data);
    // Characters `from` to n - 2 of the reply (empty when it is shorter).
    bool Tail(char lead, const std::string& body, std::size_t from, std::string& out,
              std::size_t maxLen = TavoComPort::kReplyLimit);
    // The reply's data field: after ">" for a data reply, else after "!AA".
    bool Data(char lead, const std::string& body, std::string& out);

    int FormatValue() const;
    void SetFormatValue(int value);

private:
    std::string address_;
    std::string previousAddress_;
    std::string typeCode_;
    std::string baudCode_;
    std::string formatCode_;
    TavoComPort* port_;
    std::unique_ptr<TavoModbusCOM> modbus_;
    std::string extraConfiguration_;
};

// One transaction of "<lead><address><body>" + CR on `port` (false without a port);
// `reply` is replaced only on success.
bool SendFramed(TavoComPort* port, char lead, const std::string& address,
                const std::string& body, std::string& reply, std::size_t maxLen,
                ReplyLayout layout = ReplyLayout::Addressed);

// First two characters of `address` (the wire form).
std::string AddressPrefix(const std::string& address);

} // namespace tavo
