#include "modbus_analog_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavo {
namespace {

struct ScaleRow {
    int code;
    RawScale scale;
};

// The thermocouples scale alike on every member that has them.
constexpr ScaleRow kThermocouples[] = {
    {0x0E, {0, 760, 2}},    {0x0F, {0, 1370, 1}},   {0x10, {-100, 400, 2}}, {0x11, {0, 1000, 1}},
    {0x12, {500, 1750, 1}}, {0x13, {500, 1750, 1}}, {0x14, {500, 1800, 1}},
};

constexpr ScaleRow kR270P[] = {{0x06, {-20, 20, 3}}, {0x07, {4, 20, 3}}};

constexpr ScaleRow kR260P[] = {
    {0x07, {4, 20, 3}},     {0x08, {-10, 10, 3}},   {0x09, {-5, 5, 4}},   {0x0A, {-1, 1, 4}},
    {0x0B, {-500, 500, 2}}, {0x0C, {-150, 150, 2}}, {0x0D, {-20, 20, 3}},
};

constexpr ScaleRow kR280B[] = {
    {0x02, {-100, 100, 2}}, {0x03, {-500, 500, 2}}, {0x04, {-1, 1, 4}}, {0x05, {-2.5, 2.5, 4}},
    {0x07, {4, 20, 3}},     {0x08, {-10, 10, 3}},   {0x09, {-5, 5, 4}}, {0x0D, {-20, 20, 3}},
};

constexpr ScaleRow kR810[] = {
    {0x07, {4, 20, 3}},     {0x08, {-10, 10, 3}},   {0x09, {-5, 5, 3}},   {0x0A, {-1, 1, 3}},
    {0x0B, {-500, 500, 2}}, {0x0C, {-150, 150, 2}}, {0x0D, {-20, 20, 3}}, {0x15, {-15, 15, 3}},
    {0x48, {0, 10, 3}},     {0x49, {0, 5, 3}},      {0x4A, {0, 1, 3}},    {0x4B, {0, 500, 2}},
    {0x4C, {0, 150, 2}},    {0x4D, {0, 20, 3}},     {0x55, {0, 15, 3}},
};

constexpr ScaleRow kR820[] = {
    {0x00, {-15, 15, 3}}, {0x01, {-50, 50, 3}},   {0x02, {-100, 100, 2}}, {0x03, {-500, 500, 2}},
    {0x04, {-1, 1, 3}},   {0x05, {-2.5, 2.5, 3}}, {0x06, {-20, 20, 3}},   {0x07, {4, 20, 3}},
};

template <std::size_t N> std::optional<RawScale> Find(const ScaleRow (&rows)[N], int code) {
    for (const ScaleRow& row : rows)
        if (row.code == code) return row.scale;
    return std::nullopt;
}

} // namespace

std::optional<RawScale> FindRawScale(RawScaling table, int code, bool newThermocoupleSpan) {
    std::optional<RawScale> own;
    switch (table) {
    case RawScaling::R270P:
        own = Find(kR270P, code);
        break;
    case RawScaling::R260P:
        return Find(kR260P, code);
    case RawScaling::R280B:
        own = Find(kR280B, code);
        break;
    case RawScaling::R810:
        return Find(kR810, code);
    case RawScaling::R820:
        own = Find(kR820, code);
        break;
    case RawScaling::None:
        return std::nullopt;
    }
    if (own) return own;
    auto tc = Find(kThermocouples, code);
    if (tc && table == RawScaling::R270P && code == 0x0F && !newThermocoupleSpan) tc->max = 1000;
    return tc;
}

double ScaledRaw(const RawScale& scale, std::uint16_t raw) {
    return scale.min + (scale.max - scale.min) * static_cast<double>(raw) / 65535.0;
}

std::string ScaledRawText(const RawScale& scale, std::uint16_t raw) {
    const double value = ScaledRaw(scale, raw);
    const int decimals = std::clamp(scale.decimals, 0, 6);
    char text[48];
    if (value >= 0)
        std::snprintf(text, sizeof text, "+%06.*f", decimals, value);
    else
        std::snprintf(text, sizeof text, "%07.*f", decimals, value);
    return text;
}

std::string RawRegisterText(std::uint16_t raw) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", raw);
    return text;
}

std::string ModbusChannelText(RawScaling table, int code, std::uint16_t raw,
                              bool newThermocoupleSpan) {
    const auto scale = FindRawScale(table, code, newThermocoupleSpan);
    return scale ? ScaledRawText(*scale, raw) : RawRegisterText(raw);
}

} // namespace tavo
