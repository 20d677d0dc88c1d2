// The points of the two-loop controller R320T, ASCII and Modbus, in this order:
//
//   pv0, sv0, mv0, pv1, sv1, mv1   each loop's process value and set value (the PID
//                                  table's real numbers, entries 18 and 10) and its
//                                  output in % of the MV range (entry 20), as the
//                                  PID page shows them
//   ai0 .. ai3                     the analog inputs: ASCII in the unit of each
//                                  channel's range ("#AA", "$AA6", "$AAB"); Modbus
//                                  the registers' 0 .. 65535, as the map lists them
//   ao0, ao1                       the analog outputs: ASCII in mA or V of their
//                                  ranges ("#AAO"); Modbus the registers' 0 .. 4095
//   di0, di1, do0, do1             the digital inputs and outputs ("$AA7", coils)
//
// Over Modbus the map has no ranges, so inputs and outputs are the registers'
// counts with no unit, as the Modbus panel shows them.
//
// Quality of an input: disabled when the enable mask has it off, burn-out for
// "+888888" (or a Modbus register of 65535), over-range and under-range when its
// status character says so ('1' "Over(H)", '2' "Over(L)"), failed for any other
// status ("Invalid(R)") and for a reply that is not four fields of seven characters.
// A PV the module marks invalid (entry 73) is failed. Outputs are settings and good
// at either end of their ranges.
//
// Writes, as the panel makes them: sv by the table write of entry 10 within the SV
// limits and the PV range (the display scale starts at the PV range); mv by the table
// write of entry 20, and only while the loop is in Manual mode: in Free mode MV
// drives nothing, in Auto the controller owns it; ao and do only while the loop of
// the same number is not in Auto, after the same one-entry read of its mode that the
// panel makes, then "#AAC{n}{%06.3f}" or "#AA1{n}0{d}" (Modbus: register 11 + n as
// 0 .. 4095, coil 17 + n).
#include "loop_values.h"
#include "output_family.h"
#include "point_text.h"

#include "devices/hex_codes.h"
#include "devices/loop_table.h"
#include "devices/modbus_slave.h"
#include "devices/models_analog.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>

namespace tavo {
namespace {

using namespace loop;

// Entries 0 .. 77 of a loop hold everything its points need (mode, SV, PV and MV
// with their ranges and limits, the PV invalid flag).
constexpr int kEntriesRead = kSVLimitLow + 1;
constexpr int kPointsPerLoop = 3;
constexpr std::string_view kBurnOut = "+888888";

const char* ModeName(int mode) {
    switch (mode) {
    case kFree:
        return "Free";
    case kAuto:
        return "Auto";
    case kManual:
        return "Manual";
    default:
        return "an unknown";
    }
}

std::string Numbered(const char* prefix, int n) {
    return prefix + std::to_string(n);
}

// The decimals a field is written with ("+025.30" has 2).
int FieldDecimals(const std::string& field) {
    const auto point = field.find('.');
    return point == std::string::npos ? 0 : static_cast<int>(field.size() - point - 1);
}

class LoopPoints : public ModulePoints {
protected:
    enum { kPVPoint, kSVPoint, kMVPoint };
    static int LoopIndex(int loop, int what) { return kPointsPerLoop * loop + what; }
    static int InputIndex(int n) { return kLoops * kPointsPerLoop + n; }
    static int OutputIndex(int n) { return InputIndex(kInputs) + n; }
    static int DIIndex(int n) { return OutputIndex(kOutputs) + n; }
    static int DOIndex(int n) { return DIIndex(kDigitals) + n; }

    // `input` and `output` are the points of the inputs and outputs before their
    // ranges are known.
    LoopPoints(const ModuleLocation& where, const PointInfo& input, const PointInfo& output)
        : ModulePoints("R320T", where, PointList(input, output)) {}

    static std::vector<PointInfo> PointList(const PointInfo& input, const PointInfo& output) {
        std::vector<PointInfo> points;
        for (int l = 0; l < kLoops; ++l) {
            points.push_back(
                FamilyPoint(Numbered("pv", l), PointKind::AnalogInput, "", kNoLimit, kNoLimit, 3));
            points.push_back(
                FamilyPoint(Numbered("sv", l), PointKind::AnalogOutput, "", kNoLimit, kNoLimit, 3));
            points.push_back(
                FamilyPoint(Numbered("mv", l), PointKind::AnalogOutput, "%", 0, 100, 3));
        }
        for (int n = 0; n < kInputs; ++n) {
            points.push_back(input);
            points.back().name = Numbered("ai", n);
        }
        for (int n = 0; n < kOutputs; ++n) {
            points.push_back(output);
            points.back().name = Numbered("ao", n);
        }
        for (int n = 0; n < kDigitals; ++n)
            points.push_back(
                FamilyPoint(Numbered("di", n), PointKind::DigitalInput, "", kNoLimit, kNoLimit, 0));
        for (int n = 0; n < kDigitals; ++n)
            points.push_back(FamilyPoint(Numbered("do", n), PointKind::DigitalOutput, "", kNoLimit,
                                         kNoLimit, 0));
        return points;
    }

    // ---- The PID table as the exchanges showed it --------------------------------

    const std::optional<std::int32_t>& Entry(int loop, int index) const {
        return table_[static_cast<std::size_t>(EntryId(loop, index))];
    }
    std::optional<int> Mode(int loop) const { return Entry(loop, kMode); }

    // Entries first .. first + count - 1 as a read gave them (`values` null: the read
    // failed, and they are not known any more); the points that depend on them follow.
    void TakeEntries(int first, int count, const std::vector<std::int32_t>* values) {
        if (first < 0 || count < 1 || first + count > kEntries) return;
        for (int i = 0; i < count; ++i)
            table_[static_cast<std::size_t>(first + i)] =
                values ? std::optional((*values)[static_cast<std::size_t>(i)]) : std::nullopt;
        for (int l = 0; l < kLoops; ++l) {
            const auto touched = [&](std::initializer_list<int> indices) {
                return std::any_of(indices.begin(), indices.end(), [&](int index) {
                    const int e = EntryId(l, index);
                    return e >= first && e < first + count;
                });
            };
            if (touched({kPV, kPVInvalid, kPVRangeHigh, kPVRangeLow})) UpdatePV(l);
            if (touched({kSV, kPVRangeHigh, kPVRangeLow, kSVLimitHigh, kSVLimitLow})) UpdateSV(l);
            if (touched({kMV, kMVRangeHigh, kMVRangeLow, kMVLimitHigh, kMVLimitLow})) UpdateMV(l);
        }
    }

    static double Real(std::int32_t entry) { return entry / 1000.0; }

    void UpdatePV(int l) {
        const int index = LoopIndex(l, kPVPoint);
        Info(index).min = Entry(l, kPVRangeLow) ? Real(*Entry(l, kPVRangeLow)) : kNoLimit;
        Info(index).max = Entry(l, kPVRangeHigh) ? Real(*Entry(l, kPVRangeHigh)) : kNoLimit;
        const auto& pv = Entry(l, kPV);
        const auto& invalid = Entry(l, kPVInvalid);
        if (pv && invalid && *invalid == 0)
            SetGood(index, Real(*pv));
        else
            SetBad(index, PointQuality::Failed);
    }

    void UpdateSV(int l) {
        const int index = LoopIndex(l, kSVPoint);
        // Within the SV limits and the PV range, as far as they are known.
        double lo = kNoLimit, hi = kNoLimit;
        for (const int i : {kSVLimitLow, kPVRangeLow})
            if (const auto& e = Entry(l, i))
                lo = std::isnan(lo) ? Real(*e) : std::max(lo, Real(*e));
        for (const int i : {kSVLimitHigh, kPVRangeHigh})
            if (const auto& e = Entry(l, i))
                hi = std::isnan(hi) ? Real(*e) : std::min(hi, Real(*e));
        Info(index).min = lo;
        Info(index).max = hi;
        if (const auto& sv = Entry(l, kSV))
            SetGood(index, Real(*sv));
        else
            SetBad(index, PointQuality::Failed);
    }

    // Whether the loop's MV range is known and has a width.
    bool MVRange(int l, double& low, double& high) const {
        const auto &lo = Entry(l, kMVRangeLow), &hi = Entry(l, kMVRangeHigh);
        if (!lo || !hi || *lo == *hi) return false;
        low = *lo;
        high = *hi;
        return true;
    }

    void UpdateMV(int l) {
        const int index = LoopIndex(l, kMVPoint);
        double low = 0, high = 0;
        const bool range = MVRange(l, low, high);
        // The MV limits in percent of the range, within 0 to 100.
        double a = 0.0, b = 100.0;
        if (range && Entry(l, kMVLimitLow)) a = Percent(*Entry(l, kMVLimitLow), low, high);
        if (range && Entry(l, kMVLimitHigh)) b = Percent(*Entry(l, kMVLimitHigh), low, high);
        Info(index).min = std::clamp(std::min(a, b), 0.0, 100.0);
        Info(index).max = std::clamp(std::max(a, b), 0.0, 100.0);
        if (range && Entry(l, kMV))
            SetGood(index, Percent(*Entry(l, kMV), low, high));
        else
            SetBad(index, PointQuality::Failed);
    }

    // ---- Writes ------------------------------------------------------------------

    std::string WriteRefusal(int index, double) const override {
        for (int l = 0; l < kLoops; ++l) {
            const auto mode = Mode(l);
            if (!mode) continue;
            if (index == LoopIndex(l, kMVPoint) && *mode != kManual)
                return Points()[static_cast<std::size_t>(index)].name +
                       " can be written only while loop " + std::to_string(l) +
                       " is in Manual mode (it is in " + ModeName(*mode) +
                       " mode): change its control mode first";
            if ((index == OutputIndex(l) || index == DOIndex(l)) && *mode == kAuto)
                return Points()[static_cast<std::size_t>(index)].name +
                       " cannot be written while loop " + std::to_string(l) +
                       " is in Auto mode: change PID loop-" + std::to_string(l) +
                       " control mode to 'Free' or 'Manual' first";
        }
        return {};
    }

    bool WritePoint(TavoComPort& port, int index, double value, std::string& error) override {
        const int l = index / kPointsPerLoop;
        if (index == LoopIndex(l, kSVPoint) && l < kLoops) return WriteSV(port, l, value, error);
        if (index == LoopIndex(l, kMVPoint) && l < kLoops) return WriteMV(port, l, value, error);
        for (int n = 0; n < kOutputs; ++n) {
            if (index != OutputIndex(n) && index != DOIndex(n)) continue;
            // The mode as the module has it now, read as the panel reads it.
            if (!ReadMode(port, n) || !Mode(n)) {
                error = "the control mode of loop " + std::to_string(n) +
                        " could not be read: nothing was written";
                return false;
            }
            if (std::string refusal = WriteRefusal(index, value); !refusal.empty()) {
                error = std::move(refusal);
                return false;
            }
            return index == OutputIndex(n) ? WriteOutput(port, n, value, error)
                                           : WriteDigital(port, n, value != 0.0, error);
        }
        error = Points()[static_cast<std::size_t>(index)].name + " cannot be written";
        return false;
    }

    // Reads the loop's part of the table when one of `indices` is not known.
    void NeedEntries(TavoComPort& port, int l, std::initializer_list<int> indices) {
        if (std::any_of(indices.begin(), indices.end(), [&](int i) { return !Entry(l, i); }))
            ReadLoop(port, l);
    }

    bool WriteSV(TavoComPort& port, int l, double value, std::string& error) {
        NeedEntries(port, l, {kSV, kPVRangeHigh, kPVRangeLow, kSVLimitHigh, kSVLimitLow});
        const auto sv = ParseFixed(FormatPointNumber(value, 9));
        if (!sv || !WithinLimits(Info(LoopIndex(l, kSVPoint)), value, error)) {
            if (error.empty()) error = FormatPointNumber(value, 9) + " is no set value";
            return false;
        }
        return WriteTableEntry(port, EntryId(l, kSV), *sv, error);
    }

    bool WriteMV(TavoComPort& port, int l, double value, std::string& error) {
        NeedEntries(port, l, {kMode, kMV, kMVRangeHigh, kMVRangeLow, kMVLimitHigh, kMVLimitLow});
        const int index = LoopIndex(l, kMVPoint);
        double low = 0, high = 0;
        if (!Mode(l) || !MVRange(l, low, high) || !Entry(l, kMVLimitLow) ||
            !Entry(l, kMVLimitHigh)) {
            error = "the mode, MV range and MV limits of loop " + std::to_string(l) +
                    (Mode(l) && !MVRange(l, low, high) ? " leave the MV range without a width"
                                                       : " could not be read") +
                    ": nothing was written";
            return false;
        }
        if (std::string refusal = WriteRefusal(index, value); !refusal.empty()) {
            error = std::move(refusal);
            return false;
        }
        const auto percent = ParseFixed(FormatPointNumber(value, 9));
        if (!percent || *percent < 0 || *percent > 100000) {
            error = FormatPointNumber(value, 9) + " is outside 0 to 100 %";
            return false;
        }
        const std::int32_t mv =
            MVFromPercent(*percent, *Entry(l, kMVRangeLow), *Entry(l, kMVRangeHigh));
        if (mv < *Entry(l, kMVLimitLow) || mv > *Entry(l, kMVLimitHigh)) {
            error = FormatPointNumber(value, 9) + " % is beyond the MV limits of loop " +
                    std::to_string(l) + " (" + FormatPointNumber(Info(index).min, 3) + " to " +
                    FormatPointNumber(Info(index).max, 3) + " %): nothing was written";
            return false;
        }
        return WriteTableEntry(port, EntryId(l, kMV), mv, error);
    }

    bool WriteTableEntry(TavoComPort& port, int entry, std::int32_t value, std::string& error) {
        if (WriteEntry(port, entry, value)) return true;
        error = WriteFailure(port, Model(), LastException());
        return false;
    }

    // The protocol's requests.
    virtual void ReadLoop(TavoComPort& port, int loop) = 0;
    virtual bool ReadMode(TavoComPort& port, int loop) = 0;
    virtual bool WriteEntry(TavoComPort& port, int entry, std::int32_t value) = 0;
    virtual bool WriteOutput(TavoComPort& port, int n, double value, std::string& error) = 0;
    virtual bool WriteDigital(TavoComPort& port, int n, bool on, std::string& error) = 0;
    virtual int LastException() const { return 0; }

    void SetBits(int (*index)(int), std::optional<unsigned> bits) {
        for (int n = 0; n < kDigitals; ++n) {
            if (bits)
                SetGood(index(n), (*bits >> n) & 1);
            else
                SetBad(index(n), PointQuality::Failed);
        }
    }

private:
    std::array<std::optional<std::int32_t>, kEntries> table_{};
};

// ---- ASCII ---------------------------------------------------------------------------

class LoopAsciiPoints final : public LoopPoints {
public:
    explicit LoopAsciiPoints(const ModuleLocation& where)
        : LoopPoints(where, FamilyPoint("", PointKind::AnalogInput, "", kNoLimit, kNoLimit, 3),
                     // Before the range is known: the widest, 0 to 20 (mA or V).
                     FamilyPoint("", PointKind::AnalogOutput, "", 0, 20, 3)) {}

private:
    bool Take(const PortExchange& exchange) override {
        const auto command = AsciiCommandTo(exchange, Location().address);
        if (!command) return false;
        const std::string_view body = command->body;
        if (command->lead == '#')
            TakeHash(exchange, body);
        else if (command->lead == '$')
            TakeDollar(exchange, body);
        else if (command->lead == '%' && exchange.ok)
            SetFormat(std::nullopt); // a new configuration: known once it is read
        return true;
    }

    void TakeHash(const PortExchange& exchange, std::string_view body) {
        if (body.empty()) {
            const auto data = ReplyDataOf(exchange, '>');
            std::vector<std::string> fields;
            const bool cut = data && CutFields(*data, kInputs, fields);
            for (int n = 0; n < kInputs; ++n)
                fields_[static_cast<std::size_t>(n)] =
                    cut ? std::optional(fields[static_cast<std::size_t>(n)]) : std::nullopt;
            UpdateInputs();
        } else if (body == "O") {
            const auto data = ReplyDataOf(exchange, '>');
            std::vector<std::string> fields;
            const bool cut = data && CutFields(*data, kOutputs, fields);
            // In mA or V whatever the range; its unit comes with the range.
            for (int n = 0; n < kOutputs; ++n) {
                const auto v =
                    cut ? PlainDecimalValue(fields[static_cast<std::size_t>(n)]) : std::nullopt;
                if (v)
                    SetGood(OutputIndex(n), *v);
                else
                    SetBad(OutputIndex(n), PointQuality::Failed);
            }
        } else if (body.size() == 6 && body.substr(0, 2) == "PR" && IsHexField(body.substr(2), 4)) {
            const int first = static_cast<int>(*HexValue(body.substr(2, 2)));
            const int count = static_cast<int>(*HexValue(body.substr(4, 2)));
            const auto data = ReplyDataOf(exchange, '>');
            std::vector<std::int32_t> values;
            const bool ok = data && ParseParameterEntries(*data, count, values);
            TakeEntries(first, count, ok ? &values : nullptr);
        } else if (body.size() == 12 && body.substr(0, 2) == "PW" &&
                   IsHexField(body.substr(2), 10) && exchange.ok) {
            const std::vector<std::int32_t> value{
                static_cast<std::int32_t>(*HexValue(body.substr(4, 8)))};
            TakeEntries(static_cast<int>(*HexValue(body.substr(2, 2))), 1, &value);
        }
    }

    void TakeDollar(const PortExchange& exchange, std::string_view body) {
        const auto data = ReplyDataOf(exchange, '!');
        if (body == "6") {
            mask_ = data && IsHexField(*data, 2) ? HexValue(*data) : std::nullopt;
            UpdateInputs();
        } else if (body == "B") {
            status_ = data && data->size() == kInputs ? data : std::nullopt;
            UpdateInputs();
        } else if (body == "7") {
            const bool ok = data && IsHexField(*data, 4);
            SetBits(DOIndex, ok ? HexValue(data->substr(0, 2)) : std::nullopt);
            SetBits(DIIndex, ok ? HexValue(data->substr(2, 2)) : std::nullopt);
        } else if (body == "2") {
            if (const auto config = data ? ConfigurationOf(*data) : std::nullopt)
                SetFormat(config->formatCode);
        } else if (body.size() == 3 && body[0] == '5' && exchange.ok) {
            // A new enable mask: a channel switched on read 0 until now.
            mask_.reset();
            fields_ = {};
            UpdateInputs();
        } else if (const auto range = RangeOf(exchange, body, data)) {
            if (range->input && range->n < kInputs)
                SetInputRange(range->n, range->code);
            else if (!range->input && range->n < kOutputs)
                SetOutputRange(range->n, range->code);
        }
    }

    // A range read ("8C{n}" answered "C{n}R{tt}", "9C{n}" likewise) or a range
    // write that the module took ("7C{n}R{tt}", "9C{n}R{tt}").
    struct RangeCode {
        bool input;
        int n;
        int code;
    };
    static std::optional<RangeCode> RangeOf(const PortExchange& exchange, std::string_view body,
                                            const std::optional<std::string>& data) {
        if (body.size() < 3 || body[1] != 'C' || body[2] < '0' || body[2] > '9')
            return std::nullopt;
        const int n = body[2] - '0';
        std::string_view tt;
        bool input = false;
        if (body.size() == 3 && (body[0] == '8' || body[0] == '9')) {
            input = body[0] == '8';
            if (!data || data->size() != 5 || (*data)[0] != 'C' || (*data)[1] != body[2] ||
                (*data)[2] != 'R')
                return std::nullopt;
            tt = std::string_view(*data).substr(3);
        } else if (body.size() == 6 && (body[0] == '7' || body[0] == '9') && body[3] == 'R' &&
                   exchange.ok) {
            input = body[0] == '7';
            tt = body.substr(4);
        } else {
            return std::nullopt;
        }
        if (!IsHexField(tt, 2)) return std::nullopt;
        return RangeCode{input, n, static_cast<int>(*HexValue(tt))};
    }

    // ---- Inputs ------------------------------------------------------------------

    bool Fahrenheit() const { return format_ && (*format_ & 0x08); }

    void SetFormat(std::optional<int> format) {
        // Bit 3 (the temperature unit) and bits 1..0 (the data format) change what
        // the fields mean.
        const bool changed = !format || !format_ || ((*format ^ *format_) & 0x0B);
        format_ = format;
        if (changed) fields_ = {};
        for (int n = 0; n < kInputs; ++n)
            UpdateInputInfo(n);
        if (changed) UpdateInputs();
    }

    void SetInputRange(int n, int code) {
        auto& known = inputRange_[static_cast<std::size_t>(n)];
        if (known != code) fields_[static_cast<std::size_t>(n)].reset();
        known = code;
        UpdateInputInfo(n);
        UpdateInputs();
    }

    void UpdateInputInfo(int n) {
        PointInfo& info = Info(InputIndex(n));
        info.unit.clear();
        info.min = info.max = kNoLimit;
        const auto& code = inputRange_[static_cast<std::size_t>(n)];
        if (format_ && (*format_ & 3) == 1) {
            info.unit = "%"; // of the range's full scale
            return;
        }
        const auto span = code ? InputSpanOf(*code, Fahrenheit()) : std::nullopt;
        const std::string unit = code ? InputUnit(*code, Fahrenheit()) : "";
        // A temperature's unit is the format byte's, unknown until it is read.
        if (!span || (!format_ && (unit == "'C" || unit == "'F"))) return;
        info.unit = PointUnit(unit);
        info.min = span->min;
        info.max = span->max;
    }

    void UpdateInputs() {
        for (int n = 0; n < kInputs; ++n) {
            const auto i = static_cast<std::size_t>(n);
            const int index = InputIndex(n);
            if (!mask_ || !status_ || !fields_[i]) {
                SetBad(index, PointQuality::Failed);
            } else if (!((*mask_ >> n) & 1)) {
                SetBad(index, PointQuality::Disabled);
            } else if (*fields_[i] == kBurnOut) {
                SetBad(index, PointQuality::BurnOut);
            } else {
                switch (InputStatusOf((*status_)[i])) {
                case InputStatus::Normal:
                    if (const auto v = PlainDecimalValue(*fields_[i])) {
                        Info(index).decimals = FieldDecimals(*fields_[i]);
                        SetGood(index, *v);
                    } else {
                        SetBad(index, PointQuality::Failed);
                    }
                    break;
                case InputStatus::OverHigh:
                    SetBad(index, PointQuality::OverRange);
                    break;
                case InputStatus::OverLow:
                    SetBad(index, PointQuality::UnderRange);
                    break;
                case InputStatus::Invalid:
                    SetBad(index, PointQuality::Failed);
                    break;
                }
            }
        }
    }

    // ---- Outputs -----------------------------------------------------------------

    void SetOutputRange(int n, int code) {
        auto& known = outputRange_[static_cast<std::size_t>(n)];
        // A value read before a change of range was one of the other range.
        if (known != code) SetBad(OutputIndex(n), PointQuality::Failed);
        known = code;
        const OutputChannelRange* range = R310Range(code);
        PointInfo& info = Info(OutputIndex(n));
        info.unit = range ? range->unit : "";
        info.min = range ? range->min : 0.0;
        info.max = range ? range->max : 20.0;
    }

    // ---- Requests ----------------------------------------------------------------

    bool ConfigurationKnown() const override {
        return std::all_of(inputRange_.begin(), inputRange_.end(),
                           [](auto& c) { return c.has_value(); }) &&
               std::all_of(outputRange_.begin(), outputRange_.end(),
                           [](auto& c) { return c.has_value(); });
    }

    void ReadConfiguration(TavoComPort& port) override {
        TavoMR320T module(&port, AddressText());
        std::string text;
        for (int n = 0; n < kInputs; ++n)
            module.ReadChannelRange(n, text);
        for (int n = 0; n < kOutputs; ++n)
            module.ReadOutputRange(n, text);
    }

    // The Input page's poll (the format byte first, so that the fields are taken in
    // the temperature unit they were sent in), the Output page's, and the PID table.
    void ReadValues(TavoComPort& port) override {
        TavoMR320T module(&port, AddressText());
        std::string a, b;
        module.ReadConfig();
        module.ReadChannelEnable(a);
        module.ReadAll(a);
        module.ReadChannelStatus(a);
        module.ReadDIO(a, b);
        module.ReadOutputs(a);
        for (int l = 0; l < kLoops; ++l)
            ReadLoop(port, l);
    }

    void ReadLoop(TavoComPort& port, int l) override {
        std::string text;
        TavoMR320T(&port, AddressText()).ReadParameters(EntryId(l, 0), kEntriesRead, text);
    }

    bool ReadMode(TavoComPort& port, int l) override {
        std::string text;
        return TavoMR320T(&port, AddressText()).ReadParameters(EntryId(l, kMode), 1, text);
    }

    bool WriteEntry(TavoComPort& port, int entry, std::int32_t value) override {
        return TavoMR320T(&port, AddressText()).WriteParameter(entry, value);
    }

    bool WriteOutput(TavoComPort& port, int n, double value, std::string& error) override {
        TavoMR320T module(&port, AddressText());
        std::string text;
        if (!outputRange_[static_cast<std::size_t>(n)]) module.ReadOutputRange(n, text);
        if (!R310Range(outputRange_[static_cast<std::size_t>(n)].value_or(-1))) {
            error =
                "the range of ao" + std::to_string(n) + " could not be read: nothing was written";
            return false;
        }
        if (!WithinLimits(Info(OutputIndex(n)), value, error)) return false;
        if (module.WriteOutput(n, OutputValueField(value))) return true;
        error = WriteFailure(port, Model());
        return false;
    }

    bool WriteDigital(TavoComPort& port, int n, bool on, std::string& error) override {
        if (TavoMR320T(&port, AddressText()).WriteDO(n, on)) return true;
        error = WriteFailure(port, Model());
        return false;
    }

    std::optional<int> format_;
    std::optional<unsigned> mask_;
    std::optional<std::string> status_;
    std::array<std::optional<std::string>, kInputs> fields_{};
    std::array<std::optional<int>, kInputs> inputRange_{};
    std::array<std::optional<int>, kOutputs> outputRange_{};
};

// ---- Modbus --------------------------------------------------------------------------

class LoopModbusPoints final : public LoopPoints {
public:
    explicit LoopModbusPoints(const ModuleLocation& where)
        : LoopPoints(where, FamilyPoint("", PointKind::AnalogInput, "", 0, 65535, 0),
                     FamilyPoint("", PointKind::AnalogOutput, "", 0, kOutputSteps, 0)) {}

private:
    static constexpr int kBlocks = 2, kBlockEntries = 50;
    static constexpr std::uint16_t kOpenSensor = 65535;

    bool Take(const PortExchange& exchange) override {
        const int slave = Location().address;
        if (const auto read = ModbusReadOf(exchange, slave)) {
            const auto at = [&](int number) -> std::optional<std::uint16_t> {
                if (!read->values) return std::nullopt;
                return (*read->values)[static_cast<std::size_t>(number - read->first)];
            };
            if (read->coils) {
                for (int n = 0; n < kDigitals; ++n) {
                    for (const auto& [coil, index] :
                         {std::pair{kDICoil + n, DIIndex(n)}, std::pair{kDOCoil + n, DOIndex(n)}}) {
                        if (!read->Covers(coil)) continue;
                        if (const auto v = at(coil))
                            SetGood(index, *v);
                        else
                            SetBad(index, PointQuality::Failed);
                    }
                }
                return true;
            }
            for (int n = 0; n < kInputs; ++n)
                if (read->Covers(kInputRegister + n)) {
                    const auto v = at(kInputRegister + n);
                    if (!v)
                        SetBad(InputIndex(n), PointQuality::Failed);
                    else if (*v == kOpenSensor)
                        SetBad(InputIndex(n), PointQuality::BurnOut);
                    else
                        SetGood(InputIndex(n), *v);
                }
            for (int n = 0; n < kOutputs; ++n)
                if (read->Covers(kOutputRegister + n)) {
                    const auto v = at(kOutputRegister + n);
                    if (v && *v <= kOutputSteps)
                        SetGood(OutputIndex(n), *v);
                    else
                        SetBad(OutputIndex(n), PointQuality::Failed);
                }
            TakeTableWords(read->first, read->count, read->values ? &*read->values : nullptr);
            return true;
        }
        if (const auto write = ModbusWriteOf(exchange, slave);
            write && write->ok && !write->coils) {
            const std::vector<std::uint16_t>& words = write->values;
            TakeTableWords(write->first, static_cast<int>(words.size()), &words);
        }
        return exchange.modbus && !exchange.request.empty() &&
               static_cast<std::uint8_t>(exchange.request[0]) == (slave & 0xFF);
    }

    // The whole entries among registers first .. first + count - 1.
    void TakeTableWords(int first, int count, const std::vector<std::uint16_t>* words) {
        // Register offsets from the table's first, one past the last.
        const int lo = std::max(first - kTableRegister, 0);
        const int hi = std::min(first + count - kTableRegister, 2 * kEntries);
        const int firstEntry = (lo + 1) / 2, endEntry = hi / 2;
        if (hi <= 0 || endEntry <= firstEntry) return;
        std::vector<std::int32_t> values;
        for (int e = firstEntry; words && e < endEntry; ++e) {
            const auto at = static_cast<std::size_t>(kTableRegister + 2 * e - first);
            values.push_back(EntryFromWords((*words)[at], (*words)[at + 1]));
        }
        TakeEntries(firstEntry, endEntry - firstEntry, words ? &values : nullptr);
    }

    bool ConfigurationKnown() const override { return true; }
    void ReadConfiguration(TavoComPort&) override {}

    // The map the Input and Output pages show, then the PID page's blocks.
    void ReadValues(TavoComPort& port) override {
        ModbusSlave slave = Slave(port);
        std::vector<std::uint16_t> words;
        std::uint32_t bits = 0;
        slave.ReadCoils(kDICoil, kDigitals, bits);
        slave.ReadRegisters(kInputRegister, kInputs, words);
        slave.ReadCoils(kDOCoil, kDigitals, bits);
        slave.ReadRegisters(kOutputRegister, kOutputs, words);
        for (int l = 0; l < kLoops; ++l)
            ReadLoop(port, l);
    }

    void ReadLoop(TavoComPort& port, int l) override {
        ModbusSlave slave = Slave(port);
        std::vector<std::uint16_t> words;
        for (int b = 0; b < kBlocks; ++b)
            slave.ReadRegisters(kTableRegister + 2 * EntryId(l, b * kBlockEntries),
                                2 * kBlockEntries, words);
    }

    bool ReadMode(TavoComPort& port, int l) override {
        std::uint32_t value = 0;
        return Slave(port).ReadLong(kTableRegister + 2 * EntryId(l, kMode), value);
    }

    bool WriteEntry(TavoComPort& port, int entry, std::int32_t value) override {
        const auto u = static_cast<std::uint32_t>(value);
        return Slave(port).WriteRegisters(
            kTableRegister + 2 * entry,
            {static_cast<std::uint16_t>(u >> 16), static_cast<std::uint16_t>(u)});
    }

    std::string WriteRefusal(int index, double value) const override {
        for (int n = 0; n < kOutputs; ++n)
            if (index == OutputIndex(n) && value != std::floor(value))
                return "ao" + std::to_string(n) +
                       " takes whole steps 0 to 4095 of its range over Modbus";
        return LoopPoints::WriteRefusal(index, value);
    }

    bool WriteOutput(TavoComPort& port, int n, double value, std::string& error) override {
        if (Slave(port).WriteRegister(kOutputRegister + n, static_cast<std::uint16_t>(value)))
            return true;
        error = WriteFailure(port, Model(), LastException());
        return false;
    }

    bool WriteDigital(TavoComPort& port, int n, bool on, std::string& error) override {
        if (Slave(port).WriteCoil(kDOCoil + n, on)) return true;
        error = WriteFailure(port, Model(), LastException());
        return false;
    }

    int LastException() const override { return modbus_ ? modbus_->LastException() : 0; }

    // The slave through a Modbus object of this module's, whose last exception the
    // error lines name.
    ModbusSlave Slave(TavoComPort& port) {
        if (!modbus_ || modbus_->GetPort() != &port)
            modbus_ = std::make_unique<TavoModbusCOM>(&port);
        return ModbusSlave(modbus_.get(), Location().address);
    }

    std::unique_ptr<TavoModbusCOM> modbus_;
};

} // namespace

std::unique_ptr<ModulePoints> MakeLoopControllerPoints(const ModuleLocation& where) {
    if (where.protocol == PointProtocol::Modbus) return std::make_unique<LoopModbusPoints>(where);
    return std::make_unique<LoopAsciiPoints>(where);
}

} // namespace tavo
