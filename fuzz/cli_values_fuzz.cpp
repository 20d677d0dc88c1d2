// What a user types after `tavo read`, `tavo watch` and `tavo write`. Whatever the
// words, the parser refuses them with one line, or gives modules that are real
// places on a bus (an address 0 to 255, a slot 0 to 7 or none, each place
// once, no Modbus broadcast) and values a point can take.
//
// Input: one byte choosing the command, then the words separated by NUL bytes. The
// words' first one is also given, raw, to each of the single-value parsers.
#include "cli/point_options.h"
#include "points/point_text.h"

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace tavo;
using namespace tavo::cli;

void Check(bool ok) {
    if (!ok) std::abort();
}

// A refusal is one line of text that says something.
void CheckRefusal(const UsageError& e) {
    Check(!e.message.empty());
    for (const char c : e.message) Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

bool TwoHexDigits(const std::string& text) {
    return text.size() == 2 && std::isxdigit(static_cast<unsigned char>(text[0])) &&
           std::isxdigit(static_cast<unsigned char>(text[1]));
}

void CheckCommand(PointCommandKind kind, const std::vector<std::string>& words, const PointCommand& c) {
    Check(!c.modules.empty());
    if (kind != PointCommandKind::Watch) Check(c.modules.size() == 1);
    Check(!c.port.port.empty());
    for (std::size_t i = 0; i < c.modules.size(); ++i) {
        const ModuleChoice& m = c.modules[i];
        Check(m.where.address >= 0 && m.where.address <= 255);
        Check(m.where.slot >= -1 && m.where.slot <= 7);
        Check(m.where.protocol != PointProtocol::Modbus || m.where.address != 0);
        for (const char ch : m.model)
            Check(std::isupper(static_cast<unsigned char>(ch)) || std::isdigit(static_cast<unsigned char>(ch)) ||
                  ch == '+');
        for (std::size_t j = 0; j < i; ++j)
            Check(c.modules[j].where.address != m.where.address || c.modules[j].where.slot != m.where.slot);
    }
    Check(c.intervalMs >= 0 && c.intervalMs <= kMaxIntervalMs);
    Check(c.port.timeoutMs >= 1 && c.port.turnaroundMs >= 0 && c.port.turnaroundMs <= 100);
    if (kind == PointCommandKind::Write) {
        // Point and value are two of the words, as typed.
        bool point = false, value = false;
        for (const auto& w : words) {
            point = point || w == c.point;
            value = value || w == c.value;
        }
        Check(point && value);
    } else {
        Check(c.point.empty() && c.value.empty());
    }
    if (kind != PointCommandKind::Watch) Check(c.csvPath.empty() && c.intervalMs == 1000);
}

void SingleValues(const std::string& text) {
    try {
        const int address = ParseModuleAddress(text);
        Check(TwoHexDigits(text));
        char back[4];
        std::snprintf(back, sizeof back, "%02X", address);
        Check(std::toupper(static_cast<unsigned char>(text[0])) == back[0] &&
              std::toupper(static_cast<unsigned char>(text[1])) == back[1]);
    } catch (const UsageError& e) {
        CheckRefusal(e);
        Check(!TwoHexDigits(text));
    }
    try {
        const int slot = ParseSlotNumber(text);
        Check(slot >= 0 && slot <= 7 && text == std::to_string(slot));
    } catch (const UsageError& e) {
        CheckRefusal(e);
    }
    try {
        const std::string model = ParseModelName(text);
        Check(model.size() == text.size() && !model.empty());
    } catch (const UsageError& e) {
        CheckRefusal(e);
    }
    try {
        const long n = ParseInt(text, -5, 100000, "N");
        Check(n >= -5 && n <= 100000);
    } catch (const UsageError& e) {
        CheckRefusal(e);
    }
    // A value typed for a point: finite, digital ones 0 or 1, and a number written
    // back the way we print it reads as itself.
    PointInfo digital{"do0", PointKind::DigitalOutput, "", kNoLimit, kNoLimit, true, 0};
    PointInfo analog{"ao0", PointKind::AnalogOutput, "mA", 0, 20, true, 3};
    std::string error;
    if (const auto v = ParsePointValue(digital, text, error)) Check(*v == 0.0 || *v == 1.0);
    if (const auto v = ParsePointValue(analog, text, error)) {
        Check(std::isfinite(*v));
        const std::string shown = FormatPointNumber(*v, 9);
        const auto again = ParsePointValue(analog, shown, error);
        Check(again && std::fabs(*again - std::round(*v * 1e9) / 1e9) <= 1e-9 * std::fmax(1.0, std::fabs(*v)));
        if (WithinLimits(analog, *v, error)) Check(*v >= 0 && *v <= 20);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const auto kind = static_cast<PointCommandKind>(data[0] % 3);
    std::vector<std::string> words(1);
    for (std::size_t i = 1; i < size && words.size() <= 64; ++i) {
        if (data[i] == 0) words.emplace_back();
        else words.back().push_back(static_cast<char>(data[i]));
    }
    try {
        CheckCommand(kind, words, ParsePointCommand(kind, words));
    } catch (const UsageError& e) {
        CheckRefusal(e);
    }
    SingleValues(words.front());
    return 0;
}
