#include "k100_map.h"

#include <algorithm>
#include <cstdio>

namespace tavo {
namespace {

bool ValidType(int type) {
    return type == kRef0X || type == kRef4X;
}

bool ValidLength(int type, int index) {
    return ValidType(type) && index >= 0 && index < static_cast<int>(K100LengthItems(type).size());
}

std::string SlotText(int k) {
    return "Slot" + std::to_string(k) + ": ";
}

// Reads "<literal><blanks><integer>" from the front of `text`.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool Literal(std::string_view literal) {
        if (text_.substr(0, literal.size()) != literal) return false;
        text_.remove_prefix(literal.size());
        return true;
    }
    // An optional sign and up to nine digits after optional blanks.
    bool Integer(int& value) {
        while (!text_.empty() && (text_.front() == ' ' || text_.front() == '\t'))
            text_.remove_prefix(1);
        bool negative = false;
        if (!text_.empty() && (text_.front() == '-' || text_.front() == '+')) {
            negative = text_.front() == '-';
            text_.remove_prefix(1);
        }
        long long v = 0;
        std::size_t digits = 0;
        while (digits < text_.size() && text_[digits] >= '0' && text_[digits] <= '9') {
            if (digits == 9) return false;
            v = v * 10 + (text_[digits] - '0');
            ++digits;
        }
        if (digits == 0) return false;
        text_.remove_prefix(digits);
        value = static_cast<int>(negative ? -v : v);
        return true;
    }
    bool AtEnd() const {
        for (const char c : text_)
            if (c != ' ' && c != '\t') return false;
        return true;
    }

private:
    std::string_view text_;
};

} // namespace

const std::vector<std::string>& K100LengthItems(int type) {
    static const std::vector<std::string> coils = {"0", "8", "16", "32", "64"};
    static const std::vector<std::string> registers = {"0", "1", "2", "4", "8", "16"};
    static const std::vector<std::string> none;
    return type == kRef0X ? coils : type == kRef4X ? registers : none;
}

int K100LengthUnits(int type, int index) {
    if (!ValidLength(type, index) || index == 0) return 0;
    return type == kRef0X ? 8 << (index - 1) : 1 << (index - 1);
}

int K100LengthCode(int type, int index) {
    if (!ValidLength(type, index) || index == 0) return 0;
    return type == kRef0X ? index + 3 : index;
}

std::optional<int> K100LengthIndexForCode(int type, int code) {
    if (type == kRef0X) {
        if (code == 0) return 0;
        if (code > 3 && code <= 7) return code - 3;
    } else if (type == kRef4X) {
        if (code >= 0 && code <= 5) return code;
    }
    return std::nullopt;
}

std::string K100AddressHead(int type) {
    return type == kRef0X ? "0X" : type == kRef4X ? "4X" : " ";
}

std::optional<int> K100StartValue(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > kK100MaxStart) return std::nullopt;
    return value;
}

std::string K100StartText(int start) {
    char text[16];
    std::snprintf(text, sizeof text, "%05d", start);
    return text;
}

void K100ShowStoredEntry(K100MapRow& row, int storedStart, int lengthCode) {
    if (storedStart < 20000)
        row.type = kRef0X;
    else if (storedStart > 30000 && storedStart < 50000)
        row.type = kRef4X;
    if (!ValidType(row.type)) return;
    if (const auto index = K100LengthIndexForCode(row.type, lengthCode)) row.length = *index;
    if (!ValidLength(row.type, row.length)) row.length = 0;
    row.head = K100AddressHead(row.type);
    // A coil start keeps all its digits; a register start drops its 4 (40001 -> 1).
    row.start = K100StartText(storedStart < 20000 ? storedStart : storedStart % 10000);
}

void K100AutoScan(K100Map& map, const std::array<K100SlotKind, kK100MapSlots>& kinds,
                  const std::array<int, kK100MapSlots>& defaultLengths, int slotCount) {
    int coils = 1, registers = 1;
    for (int k = 0; k < slotCount && k < kK100MapSlots; ++k) {
        K100MapRow& row = map[static_cast<std::size_t>(k)];
        const int length = defaultLengths[static_cast<std::size_t>(k)];
        switch (kinds[static_cast<std::size_t>(k)]) {
        case K100SlotKind::Digital:
            row.type = kRef0X;
            row.start = K100StartText(coils);
            coils += length;
            row.length = length == 8 ? 1 : length == 16 ? 2 : 0;
            row.head = "0X";
            break;
        case K100SlotKind::Counter:
            row.type = kRef4X;
            row.start = K100StartText(registers);
            registers += length;
            row.length = length == 4 ? 3 : length == 8 ? 4 : length == 16 ? 5 : 0;
            row.head = "4X";
            break;
        case K100SlotKind::None:
            row.type = kRef0X;
            row.length = 0;
            row.start = "0";
            row.head = " ";
            break;
        }
    }
}

void K100PushFollowingStarts(K100Map& map, int k) {
    if (k < 0 || k >= kK100MapSlots) return;
    const K100MapRow& changed = map[static_cast<std::size_t>(k)];
    const int type = changed.type;
    if (!ValidType(type)) return;
    int a = K100StartValue(changed.start).value_or(0);
    int l = K100LengthUnits(type, changed.length);
    for (int j = k + 1; j < kK100MapSlots; ++j) {
        K100MapRow& row = map[static_cast<std::size_t>(j)];
        if (row.type != type) continue;
        a += l;
        if ((a - 1) % 8 != 0) a += 8 - (a - 1) % 8;
        const int start = K100StartValue(row.start).value_or(0);
        if (start < a) {
            row.start = K100StartText(a);
            l = K100LengthUnits(type, row.length);
        }
        // Otherwise the running start and length carry on as they are.
    }
}

K100ApplyPlan K100PlanApply(K100Map& map, const std::array<K100SlotKind, kK100MapSlots>& kinds,
                            int slotCount) {
    K100ApplyPlan plan;
    const int count = std::min(std::max(slotCount, 0), kK100MapSlots);
    const auto at = [&map](int k) -> K100MapRow& { return map[static_cast<std::size_t>(k)]; };
    for (int k = 0; k < count; ++k)
        if (kinds[static_cast<std::size_t>(k)] == K100SlotKind::Counter && at(k).type == kRef0X) {
            plan.error = "Analog device can not use 0X references!";
            return plan;
        }
    for (int k = 0; k < count; ++k)
        if (at(k).length <= 0 && K100StartValue(at(k).start) != 0) at(k).start = "00000";

    std::array<int, kK100MapSlots> starts{};
    for (int k = 0; k < count; ++k) {
        const auto start = K100StartValue(at(k).start);
        if (!start) {
            plan.error = SlotText(k) + "The start address must be a number from 0 to 65535!\n";
            return plan;
        }
        starts[static_cast<std::size_t>(k)] = *start;
    }
    for (const int type : {kRef0X, kRef4X}) {
        bool any = false;
        int previousEnd = 0;
        for (int k = 0; k < count; ++k) {
            const int units = K100LengthUnits(type, at(k).length);
            if (at(k).type != type || units == 0) continue;
            const int start = starts[static_cast<std::size_t>(k)];
            if (any && start <= previousEnd) {
                plan.error = SlotText(k) + "Overlap of modbus address range Error!\n";
                return plan;
            }
            any = true;
            previousEnd = start + units - 1;
        }
    }
    for (int k = 0; k < count; ++k) {
        const K100MapRow& row = at(k);
        int start = starts[static_cast<std::size_t>(k)];
        const bool hasLength = K100LengthUnits(row.type, row.length) > 0;
        if (row.type == kRef0X) {
            if (hasLength && start > 0 && (start - 1) % 8 != 0) {
                plan.error = SlotText(k) + "The (start address - 1) of 0X references\nmust be a "
                                           "multiple of 8! Ex.000009\n";
                return plan;
            }
            // References count from 1: a slot with a length cannot start at 0.
            if (hasLength && (start > 19999 || start == 0)) {
                plan.error = "Start Address out of range!";
                return plan;
            }
        } else if (row.type == kRef4X) {
            if (row.length > 5 || row.length < 0) {
                plan.error = "Illegal setting!";
                return plan;
            }
            if (start > 19999 || (hasLength && start == 0)) {
                plan.error = "Start Address out of range!";
                return plan;
            }
            start += 40000;
        } else {
            plan.error = "Illegal setting!";
            return plan;
        }
        plan.writes.push_back({k, start, K100LengthCode(row.type, row.length)});
    }
    return plan;
}

std::string K100MapFileText(const K100Map& map) {
    std::string out;
    char line[160];
    for (int k = 0; k < kK100MapSlots; ++k) {
        const K100MapRow& row = map[static_cast<std::size_t>(k)];
        std::snprintf(line, sizeof line, "Slot: %d, Ref. Type: %d, S. Addr: %d, Length: %d\r\n", k,
                      std::max(row.type, 0), K100StartValue(row.start).value_or(0),
                      std::max(row.length, 0));
        out += line;
    }
    out += "\r\n\r\n\r\n";
    for (int k = 0; k < kK100MapSlots; ++k) {
        const K100MapRow& row = map[static_cast<std::size_t>(k)];
        int start = K100StartValue(row.start).value_or(0);
        const int units = K100LengthUnits(row.type, row.length);
        int end = units > 0 ? start + units - 1 : 0;
        if (units == 0) start = 0;
        if (row.type == kRef4X) {
            start += 400000;
            end += 400000;
        }
        char s[16], e[16];
        std::snprintf(s, sizeof s, "%06d", start);
        std::snprintf(e, sizeof e, "%06d", end);
        std::snprintf(line, sizeof line, "Slot%d   Start Addr: %s    End Addr: %s\r\n", k, s, e);
        out += line;
    }
    return out;
}

K100MapFile ParseK100MapFile(std::string_view text) {
    K100MapFile file;
    const auto fail = [&file](int line, const std::string& why) {
        file.error = "Line " + std::to_string(line) + ": " + why;
        return file;
    };
    for (int k = 0; k < kK100MapSlots; ++k) {
        const int number = k + 1;
        if (text.empty())
            return fail(number, "the file ends before the line of slot " + std::to_string(k) + ".");
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        LineReader r(line);
        int slot = 0, type = 0, start = 0, length = 0;
        if (!r.Literal("Slot:") || !r.Integer(slot) || !r.Literal(", Ref. Type:") ||
            !r.Integer(type) || !r.Literal(", S. Addr:") || !r.Integer(start) ||
            !r.Literal(", Length:") || !r.Integer(length) || !r.AtEnd())
            return fail(number, "expected \"Slot: " + std::to_string(k) +
                                    ", Ref. Type: n, S. Addr: n, Length: n\".");
        if (slot != k) return fail(number, "expected the line of slot " + std::to_string(k) + ".");
        if (!ValidType(type)) return fail(number, "the reference type must be 0 (0X) or 1 (4X).");
        if (start < 0 || start > kK100MaxStart)
            return fail(number, "the start address must be a number from 0 to 65535.");
        if (!ValidLength(type, length))
            return fail(number, "the length must be 0 to " +
                                    std::to_string(K100LengthItems(type).size() - 1) + ".");
        file.rows[static_cast<std::size_t>(k)] = {type, start, length};
    }
    return file;
}

} // namespace tavo
