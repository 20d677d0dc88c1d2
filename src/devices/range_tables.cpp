#include "range_tables.h"

namespace tavo {
namespace {

constexpr RangeItem kR210[] = {
    {0x00, "+/- 15mV", "mV", -15, 15},
    {0x01, "+/- 50mV", "mV", -50, 50},
    {0x02, "+/- 100mV", "mV", -100, 100},
    {0x03, "+/- 500mV", "mV", -500, 500},
    {0x04, "+/- 1V", "V", -1, 1},
    {0x05, "+/- 2.5V", "V", -2.5, 2.5},
    {0x06, "+/- 20mA", "mA", -20, 20},
    {0x0E, "J Thermocouple", "'C", 0, 760},
    {0x0F, "K Thermocouple", "'C", 0, 1370},
    {0x10, "T Thermocouple", "'C", -100, 400},
    {0x11, "E Thermocouple", "'C", 0, 1000},
    {0x12, "R Thermocouple", "'C", 500, 1750},
    {0x13, "S Thermocouple", "'C", 500, 1750},
    {0x14, "B Thermocouple", "'C", 500, 1800},
};

constexpr RangeItem kR270[] = {
    {0x00, "+/- 15mV", "mV", -15, 15},    {0x01, "+/- 50mV", "mV", -50, 50},
    {0x02, "+/- 100mV", "mV", -100, 100}, {0x03, "+/- 500mV", "mV", -500, 500},
    {0x04, "+/- 1V", "V", -1, 1},         {0x05, "+/- 2.5V", "V", -2.5, 2.5},
    {0x06, "+/- 20mA", "mA", -20, 20},    {0x0E, "J Type ", "'C", 0, 760},
    {0x0F, "K Type ", "'C", 0, 1370},     {0x10, "T Type ", "'C", -100, 400},
    {0x11, "E Type ", "'C", 0, 1000},     {0x12, "R Type ", "'C", 500, 1750},
    {0x13, "S Type ", "'C", 500, 1750},   {0x14, "B Type ", "'C", 500, 1800},
};

constexpr RangeItem kR270M[] = {
    {0x00, "+/- 15mV", "mV", -15, 15},
    {0x01, "+/- 50mV", "mV", -50, 50},
    {0x02, "+/- 100mV", "mV", -100, 100},
    {0x03, "+/- 500mV", "mV", -500, 500},
    {0x04, "+/- 1V", "V", -1, 1},
    {0x05, "+/- 2.5V", "V", -2.5, 2.5},
    {0x06, "+/- 20mA", "mA", -20, 20},
    {0x0E, "T/C TypeJ 0~760'C", "'C", 0, 760},
    {0x0F, "T/C TypeK 0~1370'C", "'C", 0, 1370},
    {0x10, "T/C TypeT -100~400'C", "'C", -100, 400},
    {0x11, "T/C TypeE 0~1000'C", "'C", 0, 1000},
    {0x12, "T/C TypeR 500~1750'C", "'C", 500, 1750},
    {0x13, "T/C TypeS 500~1750'C", "'C", 500, 1750},
    {0x14, "T/C TypeB 500~1800'C", "'C", 500, 1800},
};

constexpr RangeItem kR220[] = {
    {0x08, "+/- 10V", "V", -10, 10},      {0x09, "+/- 5V", "V", -5, 5},
    {0x0A, "+/- 1V", "V", -1, 1},         {0x0B, "+/- 500mV", "mV", -500, 500},
    {0x0C, "+/- 150mV", "mV", -150, 150}, {0x0D, "+/- 20mA", "mA", -20, 20},
};

constexpr RangeItem kR230[] = {
    {0x20, "Pt.00385 -100' to 100'C", "'C", -100, 100},
    {0x21, "Pt.00385 0' to 100'C", "'C", 0, 100},
    {0x22, "Pt.00385 0' to 200'C", "'C", 0, 200},
    {0x23, "Pt.00385 0' to 600'C", "'C", 0, 600},
    {0x24, "Pt.00391 -100' to 100'C", "'C", -100, 100},
    {0x25, "Pt.00391 0' to 100'C", "'C", 0, 100},
    {0x26, "Pt.00391 0' to 200'C", "'C", 0, 200},
    {0x27, "Pt.00391 0' to 600'C", "'C", 0, 600},
    {0x28, "Ni, -80' to 100'C", "'C", -80, 100},
    {0x29, "Ni, 0' to 100'C", "'C", 0, 100},
};

constexpr RangeItem kR250[] = {
    {0x00, "+/- 15mV", "mV", -15, 15},    {0x01, "+/- 50mV", "mV", -50, 50},
    {0x02, "+/- 100mV", "mV", -100, 100}, {0x03, "+/- 500mV", "mV", -500, 500},
    {0x06, "+/- 20mA", "mA", -20, 20},
};

constexpr RangeItem kR260P[] = {
    {0x07, "+ 4~20mA", "mA", 4, 20},      {0x08, "+/- 10V", "V", -10, 10},
    {0x09, "+/- 5V", "V", -5, 5},         {0x0A, "+/- 1V", "V", -1, 1},
    {0x0B, "+/- 500mV", "mV", -500, 500}, {0x0C, "+/- 150mV", "mV", -150, 150},
    {0x0D, "+/- 0~20mA", "mA", -20, 20},
};

constexpr RangeItem kR270P[] = {
    {0x06, "+/- 0~20mA", "mA", -20, 20}, {0x07, "+ 4~20mA", "mA", 4, 20},
    {0x0E, "J Type ", "'C", 0, 760},     {0x0F, "K Type ", "'C", 0, 1370},
    {0x10, "T Type ", "'C", -100, 400},  {0x11, "E Type ", "'C", 0, 1000},
    {0x12, "R Type ", "'C", 500, 1750},  {0x13, "S Type ", "'C", 500, 1750},
    {0x14, "B Type ", "'C", 500, 1800},
};

constexpr RangeItem kR280[] = {
    {0x02, "+/- 100mV", "mV", -100, 100}, {0x03, "+/- 500mV", "mV", -500, 500},
    {0x04, "+/- 1V", "V", -1, 1},         {0x05, "+/- 2.5V", "V", -2.5, 2.5},
    {0x08, "+/- 10V", "V", -10, 10},      {0x09, "+/- 5V", "V", -5, 5},
    {0x0D, "+/- 20mA", "mA", -20, 20},    {0x0E, "J Type ", "'C", 0, 760},
    {0x0F, "K Type ", "'C", 0, 1370},     {0x10, "T Type ", "'C", -100, 400},
    {0x11, "E Type ", "'C", 0, 1000},     {0x12, "R Type ", "'C", 500, 1750},
    {0x13, "S Type ", "'C", 500, 1750},   {0x14, "B Type ", "'C", 500, 1800},
};

constexpr RangeItem kR280Channels[] = {
    {0x02, "+/- 100mV", "mV", -100, 100}, {0x03, "+/- 500mV", "mV", -500, 500},
    {0x04, "+/- 1V", "V", -1, 1},         {0x05, "+/- 2.5V", "V", -2.5, 2.5},
    {0x08, "+/- 10V", "V", -10, 10},      {0x09, "+/- 5V", "V", -5, 5},
    {0x0D, "+/- 0~20mA", "mA", -20, 20},  {0x0E, "J Type ", "'C", 0, 760},
    {0x0F, "K Type ", "'C", 0, 1370},     {0x10, "T Type ", "'C", -100, 400},
    {0x11, "E Type ", "'C", 0, 1000},     {0x12, "R Type ", "'C", 500, 1750},
    {0x13, "S Type ", "'C", 500, 1750},   {0x14, "B Type ", "'C", 500, 1800},
};

constexpr RangeItem kR280B[] = {
    {0x02, "+/- 100mV", "mV", -100, 100}, {0x03, "+/- 500mV", "mV", -500, 500},
    {0x04, "+/- 1V", "V", -1, 1},         {0x05, "+/- 2.5V", "V", -2.5, 2.5},
    {0x07, "4~20mA", "mA", 4, 20},        {0x08, "+/- 10V", "V", -10, 10},
    {0x09, "+/- 5V", "V", -5, 5},         {0x0D, "+/-20mA", "mA", -20, 20},
    {0x0E, "J Type ", "'C", 0, 760},      {0x0F, "K Type ", "'C", 0, 1370},
    {0x10, "T Type ", "'C", -100, 400},   {0x11, "E Type ", "'C", 0, 1000},
    {0x12, "R Type ", "'C", 500, 1750},   {0x13, "S Type ", "'C", 500, 1750},
    {0x14, "B Type ", "'C", 500, 1800},
};

constexpr RangeItem kR280BModbus[] = {
    {0x02, "+/- 100mV", "mV", -100, 100}, {0x03, "+/- 500mV", "mV", -500, 500},
    {0x04, "+/- 1V", "V", -1, 1},         {0x05, "+/- 2.5V", "V", -2.5, 2.5},
    {0x07, "+ 4~20mA", "mA", 4, 20},      {0x08, "+/- 10V", "V", -10, 10},
    {0x09, "+/- 5V", "V", -5, 5},         {0x0D, "+/- 0~20mA", "mA", -20, 20},
    {0x0E, "J Type ", "'C", 0, 760},      {0x0F, "K Type ", "'C", 0, 1370},
    {0x10, "T Type ", "'C", -100, 400},   {0x11, "E Type ", "'C", 0, 1000},
    {0x12, "R Type ", "'C", 500, 1750},   {0x13, "S Type ", "'C", 500, 1750},
    {0x14, "B Type ", "'C", 500, 1800},
};

constexpr RangeItem kR240[] = {
    {0x20, "PT100(385)-50~150", "'C", -50, 150},   {0x21, "PT100(385)0~100", "'C", 0, 100},
    {0x22, "PT100(385)0~200", "'C", 0, 200},       {0x23, "PT100(385)0~400", "'C", 0, 400},
    {0x24, "PT100(385)-200~200", "'C", -200, 200}, {0x25, "PT100(392)-50~150", "'C", -50, 150},
    {0x26, "PT100(392)0~100", "'C", 0, 100},       {0x27, "PT100(392)0~200", "'C", 0, 200},
    {0x28, "PT100(392)0~400", "'C", 0, 400},       {0x29, "PT100(392)-200~200 ", "'C", -200, 200},
    {0x2A, "PT1000 -40~160", "'C", -40, 160},      {0x2B, "Balco-500:-30~120", "'C", -30, 120},
    {0x2C, "Ni-518:-80~100", "'C", -80, 100},      {0x2D, "Ni-518:0~100", "'C", 0, 100},
    {0x32, "Ni-508:0~100", "'C", 0, 100},          {0x33, "Ni-508:-50~200", "'C", -50, 200},
};

constexpr RangeItem kR240T[] = {{0x30, "Thermi. 3K 0~100'C", "'C", 0, 100},
                                {0x31, "Thermi. 10K 0~100'C", "'C", 0, 100}};
constexpr RangeItem kR240TFahrenheit[] = {{0x30, "Thermi. 3K 32~212'F", "'F", 32, 212},
                                          {0x31, "Thermi. 10K 32~212'F", "'F", 32, 212}};
constexpr RangeItem kR240TModbus[] = {{0x30, "Thermistor 3K 0~100'C", "'C", 0, 100},
                                      {0x31, "Thermistor 10K 0~100'C", "'C", 0, 100}};

constexpr RangeItem kR810[] = {
    {0x07, "+ 4~20mA", "mA", 4, 20},      {0x08, "+/- 10V", "V", -10, 10},
    {0x09, "+/- 5V", "V", -5, 5},         {0x0A, "+/- 1V", "V", -1, 1},
    {0x0B, "+/- 500mV", "mV", -500, 500}, {0x0C, "+/- 150mV", "mV", -150, 150},
    {0x0D, "+/- 20mA", "mA", -20, 20},    {0x15, "+/- 15V", "V", -15, 15},
    {0x48, "0~10 V", "V", 0, 10},         {0x49, "0~5 V", "V", 0, 5},
    {0x4A, "0~1 V", "V", 0, 1},           {0x4B, "0~500 mV", "mV", 0, 500},
    {0x4C, "0~150 mV", "mV", 0, 150},     {0x4D, "0~20 mA", "mA", 0, 20},
    {0x55, "0~15 V", "V", 0, 15},
};

constexpr RangeItem kR820[] = {
    {0x00, "+/- 15mV", "mV", -15, 15},    {0x01, "+/- 50mV", "mV", -50, 50},
    {0x02, "+/- 100mV", "mV", -100, 100}, {0x03, "+/- 500mV", "mV", -500, 500},
    {0x04, "+/- 1V", "V", -1, 1},         {0x05, "+/- 2.5V", "V", -2.5, 2.5},
    {0x06, "+/- 20mA", "mA", -20, 20},    {0x07, "4~20mA", "mA", 4, 20},
    {0x0E, "J Type ", "'C", 0, 760},      {0x0F, "K Type ", "'C", 0, 1370},
    {0x10, "T Type ", "'C", -100, 400},   {0x11, "E Type ", "'C", 0, 1000},
    {0x12, "R Type ", "'C", 500, 1750},   {0x13, "S Type ", "'C", 500, 1750},
    {0x14, "B Type ", "'C", 500, 1800},
};

constexpr RangeItem kR260AN[] = {
    {0x08, "+/- 10V", "V", -10, 10},   {0x09, "+/- 5V", "V", -5, 5},
    {0x0D, "+/- 20mA", "mA", -20, 20}, {0x48, "0~10 V", "V", 0, 10},
    {0x49, "0~5 V", "V", 0, 5},        {0x07, "4~20 mA", "mA", 4, 20},
    {0x4D, "0~20 mA", "mA", 0, 20},
};

constexpr RangeItem kR270AN[] = {{0x0F, "K Type ", "'C", 0, 1370},
                                 {0x14, "B Type ", "'C", 500, 1800}};

constexpr RangeItem kR310Output[] = {
    {0x30, "0~20mA", "mA"}, {0x31, "4~20mA", "mA"}, {0x32, "0~10V   ", "V"}};
constexpr RangeItem kR330Output[] = {
    {0x30, "0 - 20 mA", "mA"}, {0x31, "4 - 20 mA", "mA"}, {0x32, "+/-  10 V", "V"}};

constexpr RangeItem kR320TInput[] = {
    {0x07, "4-20 mA", "mA"},
    {0x08, "0-10 V", "V"},
    {0x0D, "0-20 mA", "mA"},
    {0x20, "Pt100(385) -100~100'C", "'C"},
    {0x21, "Pt100(385) 0~100'C", "'C"},
    {0x22, "Pt100(385) 0~200'C", "'C"},
    {0x23, "Pt100(385) 0~600'C", "'C"},
    {0x24, "Pt100(392) -100~100'C", "'C"},
    {0x25, "Pt100(392) 0~100'C", "'C"},
    {0x26, "Pt100(392) 0~200'C", "'C"},
    {0x27, "Pt100(392) 0~600'C", "'C"},
    {0x2A, "Pt1000 -40~160'C", "'C"},
    {0x30, "Thermistor 3K 0~100'C", "'C"},
    {0x31, "Thermistor 10K 0~100'C", "'C"},
};

constexpr RangeItem kR320TInputFahrenheit[] = {
    {0x07, "4-20 mA", "mA"},
    {0x08, "0-10 V", "V"},
    {0x0D, "0-20 mA", "mA"},
    {0x20, "Pt100(385) -148~212'F", "'F"},
    {0x21, "Pt100(385) 32~212'F", "'F"},
    {0x22, "Pt100(385) 32~392'F", "'F"},
    {0x23, "Pt100(385) 32~1112'F", "'F"},
    {0x24, "Pt100(392) -148~212'F", "'F"},
    {0x25, "Pt100(392) 32~212'F", "'F"},
    {0x26, "Pt100(392) 32~392'F", "'F"},
    {0x27, "Pt100(392) 32~1112'F", "'F"},
    {0x2A, "Pt1000 -40~320'F", "'F"},
    {0x30, "Thermistor 3K 32~212'F", "'F"},
    {0x31, "Thermistor 10K 32~212'F", "'F"},
};

// The loop controller's output ranges use the codes of the other output modules.
constexpr RangeItem kR320TOutput[] = {
    {0x30, "0-20 mA", "mA"}, {0x31, "4-20 mA", "mA"}, {0x32, "0-10 V", "V"}};

} // namespace

std::span<const RangeItem> RangeItems(RangeList list) {
    switch (list) {
    case RangeList::R210:
        return kR210;
    case RangeList::R270:
        return kR270;
    case RangeList::R270M:
        return kR270M;
    case RangeList::R220:
        return kR220;
    case RangeList::R230:
        return kR230;
    case RangeList::R250:
        return kR250;
    case RangeList::R260P:
        return kR260P;
    case RangeList::R270P:
        return kR270P;
    case RangeList::R280:
        return kR280;
    case RangeList::R280Channels:
        return kR280Channels;
    case RangeList::R280B:
        return kR280B;
    case RangeList::R280BModbus:
        return kR280BModbus;
    case RangeList::R240:
        return kR240;
    case RangeList::R240T:
        return kR240T;
    case RangeList::R240TFahrenheit:
        return kR240TFahrenheit;
    case RangeList::R240TModbus:
        return kR240TModbus;
    case RangeList::R810:
        return kR810;
    case RangeList::R820:
        return kR820;
    case RangeList::R260AN:
        return kR260AN;
    case RangeList::R270AN:
        return kR270AN;
    case RangeList::R310Output:
        return kR310Output;
    case RangeList::R330Output:
        return kR330Output;
    case RangeList::R320TInput:
        return kR320TInput;
    case RangeList::R320TInputFahrenheit:
        return kR320TInputFahrenheit;
    case RangeList::R320TOutput:
        return kR320TOutput;
    }
    return {};
}

int RangeCodeToIndex(RangeList list, int code) {
    const auto items = RangeItems(list);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].code == code) return static_cast<int>(i);
    return -1;
}

int RangeIndexToCode(RangeList list, int index) {
    const auto items = RangeItems(list);
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) return -1;
    return items[static_cast<std::size_t>(index)].code;
}

const RangeItem* FindRangeItem(RangeList list, int code) {
    const int index = RangeCodeToIndex(list, code);
    return index < 0 ? nullptr : &RangeItems(list)[static_cast<std::size_t>(index)];
}

} // namespace tavo
