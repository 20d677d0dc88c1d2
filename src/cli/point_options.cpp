#include "point_options.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace tavo::cli {
namespace {

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// A module's own options, or the defaults written before the first --address.
struct ModuleOptions {
    std::optional<int> slot;
    std::optional<std::string> model;
    std::optional<PointProtocol> protocol;
};

std::string CommandName(PointCommandKind kind) {
    switch (kind) {
    case PointCommandKind::Read: return "tavo read";
    case PointCommandKind::Watch: return "tavo watch";
    case PointCommandKind::Write: return "tavo write";
    }
    return "tavo";
}

bool Listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

void SetOnce(ModuleOptions& target, const std::string& option, const std::string& value,
             const std::string& whose) {
    const auto twice = [&] {
        throw UsageError{"--" + option + " is given twice " + whose};
    };
    if (option == "slot") {
        if (target.slot) twice();
        target.slot = ParseSlotNumber(value);
    } else if (option == "model") {
        if (target.model) twice();
        target.model = ParseModelName(value);
    } else {
        const PointProtocol protocol =
            option == "modbus" ? PointProtocol::Modbus : PointProtocol::AsciiChecksum;
        if (target.protocol == protocol) twice();
        if (target.protocol)
            throw UsageError{"give --modbus or --checksum, not both " + whose};
        target.protocol = protocol;
    }
}

} // namespace

int ParseModuleAddress(const std::string& text) {
    if (text.size() != 2 || !IsHexDigit(text[0]) || !IsHexDigit(text[1]))
        throw UsageError{"--address takes two hexadecimal digits, as the tree shows the address "
                         "(such as 09 or 4A; 00 for a module in its INIT state), not " + ShownArgument(text)};
    return std::stoi(text, nullptr, 16);
}

int ParseSlotNumber(const std::string& text) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '7')
        throw UsageError{"--slot takes the slot's number, 0 to 7, not " + ShownArgument(text)};
    return text[0] - '0';
}

std::string ParseModelName(const std::string& text) {
    const bool fits = !text.empty() && text.size() <= 16 &&
                      std::all_of(text.begin(), text.end(), [](char c) {
                          return std::isalnum(static_cast<unsigned char>(c)) || c == '+';
                      });
    if (!fits)
        throw UsageError{"--model takes a designation as the tree shows it (such as R270P), not " +
                         ShownArgument(text)};
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

PointCommand ParsePointCommand(PointCommandKind kind, const std::vector<std::string>& argv) {
    const bool watch = kind == PointCommandKind::Watch;
    std::vector<std::string> valued = {"port", "baud",    "parity", "stop",
                                       "timeout", "turnaround", "address", "slot", "model"};
    if (watch) valued.insert(valued.end(), {"interval", "csv"});
    const std::vector<std::string> flags = {"modbus", "checksum", "json"};
    const std::vector<std::string> moduleOptions = {"slot", "model", "modbus", "checksum"};

    Args rest;
    ModuleOptions defaults;
    std::vector<std::pair<int, ModuleOptions>> modules;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& word = argv[i];
        if (word.size() <= 2 || word.rfind("--", 0) != 0) {
            rest.words.push_back(word);
            continue;
        }
        const std::string name = word.substr(2);
        const bool flag = Listed(flags, name);
        if (!flag && !Listed(valued, name))
            throw UsageError{"unknown option " + ShownArgument(word) + " for " + CommandName(kind)};
        std::string value = "1";
        if (!flag) {
            if (i + 1 >= argv.size()) throw UsageError{"option " + word + " needs a value"};
            value = argv[++i];
        }
        if (name == "address") {
            modules.emplace_back(ParseModuleAddress(value), ModuleOptions{});
        } else if (Listed(moduleOptions, name)) {
            if (modules.empty()) {
                SetOnce(defaults, name, value, "before the first --address");
            } else {
                char whose[40];
                std::snprintf(whose, sizeof whose, "for the module at %02X", modules.back().first);
                SetOnce(modules.back().second, name, value, whose);
            }
        } else {
            if (rest.Has(name)) throw UsageError{"--" + name + " is given twice"};
            rest.options[name] = value;
        }
    }

    PointCommand command;
    if (kind == PointCommandKind::Write) {
        if (rest.words.size() != 2)
            throw UsageError{"tavo write takes the point and its value, such as: do3 1 (or ao0 12.5)"};
        command.point = rest.words[0];
        command.value = rest.words[1];
    } else if (!rest.words.empty()) {
        throw UsageError{CommandName(kind) + " takes options only, not " + ShownArgument(rest.words[0])};
    }
    if (modules.empty())
        throw UsageError{"--address is required: the module's address as two hexadecimal digits, "
                         "as the tree shows it (such as --address 09)"};
    if (!watch && modules.size() > 1)
        throw UsageError{CommandName(kind) + " takes one --address (tavo watch takes several)"};

    for (const auto& [address, own] : modules) {
        ModuleChoice choice;
        choice.where.address = address;
        choice.where.slot = own.slot.value_or(defaults.slot.value_or(-1));
        choice.where.protocol = own.protocol.value_or(defaults.protocol.value_or(PointProtocol::Ascii));
        choice.model = own.model.value_or(defaults.model.value_or(std::string()));
        const std::string at = LocationText(choice.where);
        if (choice.where.protocol == PointProtocol::Modbus && address == 0)
            throw UsageError{"address 00 is the Modbus broadcast, which no module answers (a module "
                             "in its INIT state talks ASCII at 00)"};
        for (const auto& before : command.modules)
            if (before.where.address == address && before.where.slot == choice.where.slot)
                throw UsageError{"the module at " + at + " is given twice"};
        command.modules.push_back(std::move(choice));
    }

    command.port = ReadPortOptions(rest);
    command.json = rest.Has("json");
    if (watch) {
        command.intervalMs = static_cast<int>(rest.GetInt("interval", 1000, 0, kMaxIntervalMs));
        command.csvPath = rest.Get("csv");
        if (rest.Has("csv") && command.csvPath.empty())
            throw UsageError{"--csv needs a file name"};
    }
    return command;
}

} // namespace tavo::cli
