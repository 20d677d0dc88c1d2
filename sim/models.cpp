#include "models.h"

#include "boot_loader.h"

#include <stdexcept>

namespace tavo::sim {

std::optional<std::string> ConfigCommands::Ascii(SimModule& m, char lead, std::string_view body) {
    auto& c = m.config();
    if (lead == '$' && body == "2")
        return m.Ok(Hex2(c.typeCode) + Hex2(c.baudCode) + Hex2(c.formatCode));
    if (lead == '%') {
        if (body.size() != 8) return m.Refuse();
        const auto nn = ParseHex(body.substr(0, 2)), tt = ParseHex(body.substr(2, 2)),
                   cc = ParseHex(body.substr(4, 2)), ff = ParseHex(body.substr(6, 2));
        if (!nn || !tt || !cc || !ff || BaudForCode(*cc) == 0) return m.Refuse();
        // Baud rate and checksum only change with the INIT jumper in place.
        if (!c.init && (*cc != c.baudCode || ((*ff ^ c.formatCode) & 0x40))) return m.Refuse();
        c.address = *nn;
        c.typeCode = *tt;
        c.baudCode = *cc;
        c.formatCode = *ff;
        return m.Ok();
    }
    if (lead == '$' && body == "F") return m.Ok(c.firmware);
    if (lead == '$' && body == "M") return m.Ok(c.designation);
    if (lead == '#' && body == "OS") return m.Ok();
    if (lead == '$' && body == "OU") {
        auto it = c.options.find("comsetting");
        return m.Ok("0" + (it == c.options.end() ? std::string("0C") : it->second));
    }
    if (lead == '#' && body.size() == 5 && body.substr(0, 3) == "OU0") {
        if (!ParseHex(body.substr(3, 2))) return m.Refuse();
        c.options["comsetting"] = std::string(body.substr(3, 2));
        return m.Ok();
    }
    if (lead == '#' && body.substr(0, 2) == "FQ") return m.Ok();
    return std::nullopt;
}

void AddModelRegisters(SimModule& m) {
    const std::string& d = m.config().designation;
    std::optional<ModelCode> code;
    std::uint16_t base = 210;
    if (d == "K100E" || d == "K100EM") {
        code = ModelCode{0x2190, 0, 0};
        base = 10000;
    } else if (d == "K100M") {
        code = ModelCode{0x2191, 0, 0};
        base = 10000;
    } else {
        code = ModelCodeFor(d);
        if (!d.empty() && d[0] == 'K') base = 10000;
    }
    if (!code) return;
    m.holding[base] = code->bcd;
    m.holding[static_cast<std::uint16_t>(base + 1)] =
        static_cast<std::uint16_t>(code->suffix1 << 8 | code->suffix2);
}

bool IsModelOption(const std::string& key) {
    return key == "comsetting" || key == "via" || IsAnalogOption(key) || IsDigitalOption(key) || IsSystemOption(key);
}

std::unique_ptr<SimModule> MakeModule(ModuleConfig config) {
    auto m = std::make_unique<SimModule>(std::move(config));
    // A boot loader takes every command while it runs, so it goes first.
    bool startInLoader = false;
    R8xxBootLoader* loader = AddR8xxBootLoader(*m, startInLoader);
    AddModelRegisters(*m);
    // Family command sets come first, so a model may answer a configuration
    // command its own way; the common configuration commands answer the rest.
    const std::string designation = m->config().designation;
    const bool analog = AddAnalogModel(*m);
    const bool digital = !analog && AddDigitalModel(*m);
    const bool system = !analog && !digital && AddSystemModel(*m);
    if (!analog && !digital && !system)
        throw std::invalid_argument("unknown model '" + designation + "'");
    for (const auto& [key, value] : m->config().options) {
        bool takes = false;
        if (key == "via") {
            // On the far side of the converter at that address (see ForwardedLine).
            if (value.size() != 2 || !ParseHex(value))
                throw std::invalid_argument("bad value in 'via=" + value + "': a converter address");
            takes = true;
        } else if (key == "comsetting") {
            // Every module answers $AAOU with it: two hexadecimal digits.
            if (value.size() != 2 || !ParseHex(value))
                throw std::invalid_argument("bad value in 'comsetting=" + value + "'");
            takes = true;
        } else if (analog) {
            takes = AnalogModelTakes(*m, key, value);
        } else if (digital) {
            takes = IsDigitalOption(key); // the family refused what does not apply
        } else {
            takes = SystemModelTakes(*m, key);
        }
        if (!takes)
            throw std::invalid_argument("option '" + key + "' does not apply to " + designation);
    }
    m->Add<ConfigCommands>();
    if (loader && startInLoader) loader->Enter();
    return m;
}

} // namespace tavo::sim
