#include "network_address.h"

#include <algorithm>
#include <cctype>

namespace tavo {
namespace {

constexpr const char* kForm = "tcp://HOST:PORT or rfc2217://HOST:PORT";

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

NetworkAddress Bad(std::string problem) { return {{}, std::move(problem)}; }

bool HostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

} // namespace

bool LooksLikeNetworkAddress(const std::string& text) {
    const std::string t = Lower(Trimmed(text));
    if (t.find("://") != std::string::npos) return true;
    return t.rfind("tcp:", 0) == 0 || t.rfind("rfc2217:", 0) == 0;
}

NetworkAddress CheckNetworkAddress(const std::string& typed) {
    std::string text = Trimmed(typed);
    if (text.empty()) return Bad(std::string("No address was given: type ") + kForm + ".");
    const auto sep = text.find("://");
    if (sep == std::string::npos)
        return Bad("\"" + text + "\" is no network address: it must start with tcp:// or rfc2217://.");
    const std::string scheme = Lower(text.substr(0, sep));
    if (scheme != "tcp" && scheme != "rfc2217")
        return Bad("\"" + text.substr(0, sep) + "://\" is no network port type: use tcp:// (raw TCP) "
                   "or rfc2217:// (device servers that take line settings).");
    std::string rest = text.substr(sep + 3);
    while (!rest.empty() && rest.back() == '/') rest.pop_back();
    const std::string shown = scheme + "://" + rest;
    if (rest.find('/') != std::string::npos)
        return Bad("The address " + shown + " has a path after the port: give only HOST:PORT.");

    std::string host, port;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos)
            return Bad("The IPv6 host of " + shown + " lacks its closing ']'.");
        host = rest.substr(1, close - 1);
        if (close + 1 < rest.size() && rest[close + 1] != ':')
            return Bad("The address " + shown + " has text between the host and the port.");
        port = close + 1 < rest.size() ? rest.substr(close + 2) : std::string();
        if (host.empty() || !std::all_of(host.begin(), host.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
            }))
            return Bad("The host \"[" + host + "]\" of " + shown + " is no IPv6 address.");
        if (close + 1 >= rest.size())
            return Bad("The address " + shown + " has no port number: add :PORT (1 to 65535).");
    } else {
        const auto colon = rest.find(':');
        if (colon != std::string::npos && rest.find(':', colon + 1) != std::string::npos)
            return Bad("The address " + shown + " has more than one ':' (an IPv6 host goes in "
                       "brackets: " + scheme + "://[::1]:PORT).");
        host = rest.substr(0, colon);
        if (colon == std::string::npos)
            return host.empty() ? Bad("The address " + shown + " has no host: " + kForm + ".")
                                : Bad("The address " + shown +
                                      " has no port number: add :PORT (1 to 65535).");
        port = rest.substr(colon + 1);
        if (host.empty()) return Bad("The address " + shown + " has no host: " + kForm + ".");
        if (!std::all_of(host.begin(), host.end(), HostCharacter))
            return Bad("The host \"" + host + "\" of " + shown +
                       " is no host name or address (letters, digits, '-', '.' only).");
    }
    if (port.empty())
        return Bad("The address " + shown + " has no port number after the ':' (1 to 65535).");
    const bool digits = port.size() <= 5 && std::all_of(port.begin(), port.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    const int number = digits ? std::stoi(port) : 0;
    if (number < 1 || number > 65535)
        return Bad("The port number \"" + port + "\" of " + shown + " is not a number from 1 to 65535.");
    // Leading zeros would make two names for one port in the tree.
    return {scheme + "://" + (rest.front() == '[' ? "[" + host + "]" : host) + ":" +
                std::to_string(number),
            {}};
}

std::string FixedLineReason(FixedLine fixed) {
    switch (fixed) {
    case FixedLine::No: break;
    case FixedLine::RawTcp: return "raw TCP carries the line's bytes only";
    case FixedLine::ServerRefused: return "the server refused the COM-PORT-OPTION";
    }
    return {};
}

} // namespace tavo
