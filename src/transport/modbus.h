// Modbus RTU master over a TavoComPort.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

class TavoComPort;

// Each operation is a request step and a response step that callers call back to
// back. Register and coil numbers are one-based; the frame carries number - 1.
// Everything answers only true/false; a silent slave, a short frame, a CRC mismatch,
// an exception response, a frame from another slave, a byte count that is not the
// request's and an echo that is not the request all fail (LastException() tells the
// exception apart).
class TavoModbusCOM {
public:
    static constexpr int kDefaultTurnaroundMs = 20;
    static constexpr std::size_t kFrameLimit = 1200;

    explicit TavoModbusCOM(TavoComPort* port) : port_(port), turnaroundMs_(NewTurnaround()) {}

    // The turnaround new objects start with (20 ms unless changed). The port settings
    // panel and `--turnaround` set it for the program; tests against the simulator may
    // shorten it. Slow slaves on real buses need the pause.
    static void SetDefaultTurnaroundDelay(int ms) { DefaultTurnaround() = ms; }
    static int GetDefaultTurnaroundDelay() { return DefaultTurnaround(); }
    // The turnaround of objects made on the calling thread from now on, over the
    // program's default (a negative value: the default again). A thread that owns
    // a bus of its own (the gateway's) keeps that bus's pause this way, whatever the
    // other buses use.
    static void SetThreadTurnaroundDelay(int ms) { ThreadTurnaround() = ms; }

    TavoComPort* GetPort() const { return port_; }

    // Pause before each request is written and before each response is read, in ms.
    void SetTurnaroundDelay(int ms) { turnaroundMs_ = ms; }
    int GetTurnaroundDelay() const { return turnaroundMs_; }

    bool ReadCoils(int slave, int first, int count);
    bool ReadHoldingRegisters(int slave, int first, int count);
    bool ReadFunction32(int slave, int first, int count);
    bool WriteSingleCoil(int slave, int coil, bool on);
    bool WriteSingleRegister(int slave, int reg, int value);
    // `data` holds `byteCount` bytes (0 to 255).
    bool WriteMultipleCoils(int slave, int first, int count, int byteCount,
                            const std::uint8_t* data);
    bool WriteMultipleRegisters(int slave, int first, int count, int byteCount,
                                const std::uint8_t* data);

    // Response of functions 1, 3 and 32: on success `data` holds the data bytes.
    bool ReadResponse(std::vector<std::uint8_t>& data);
    // Response of functions 5, 6, 15 and 16: the 8-byte echo.
    bool WriteResponse();

    // Last request / response frame without CRC, upper-case hexadecimal.
    const std::string& RequestText() const { return requestText_; }
    const std::string& ResponseText() const { return responseText_; }
    // Exception code of the last response if it was an exception (else 0).
    int LastException() const { return lastException_; }

    // Two hexadecimal characters per byte; returns the number of bytes (length / 2).
    static std::size_t HexToBytes(std::string_view text, std::uint8_t* bytes);
    static std::string BytesToHex(const std::uint8_t* bytes, std::size_t count);
    // The two CRC bytes in transmission order (low byte first).
    static std::array<std::uint8_t, 2> CalcCRC(const std::uint8_t* bytes, std::size_t count);
    // Fails for length <= 2; on success removes the CRC (length - 2).
    static bool CheckCRC(const std::uint8_t* frame, std::size_t& length);

private:
    bool Request(std::string text);
    bool Collect(std::size_t fixedLength, std::vector<std::uint8_t>& frame);
    void Turnaround() const;
    // Byte i of the last request frame (0 past its end).
    std::uint8_t RequestByte(std::size_t i) const;
    bool Failed();
    bool CheckReadResponse(std::vector<std::uint8_t>& frame);
    // The end of a response step: the port's watcher hears the exchange, and a
    // failure arms the quiet wait. Returns `ok`.
    bool Finished(const std::vector<std::uint8_t>& frame, bool ok);

    static int& DefaultTurnaround() {
        static int ms = kDefaultTurnaroundMs;
        return ms;
    }
    static int& ThreadTurnaround() {
        thread_local int ms = -1;
        return ms;
    }
    static int NewTurnaround() {
        const int own = ThreadTurnaround();
        return own >= 0 ? own : DefaultTurnaround();
    }

    TavoComPort* port_;
    int turnaroundMs_;
    std::string requestText_;
    std::string responseText_;
    int lastException_ = 0;
    bool awaitingAnswer_ = false;
};

} // namespace tavo
