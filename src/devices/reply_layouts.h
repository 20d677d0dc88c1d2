// The commands whose replies do not follow "!AA{data}": the one list the command
// classes and the raw tools (the terminal, `tavo send`) take the reply layout from.
#pragma once

#include "transport/com_port.h"

#include <string_view>

namespace tavo {

// A command by its lead character and its body after the address. In `body` an
// 'n' stands for one decimal digit (a channel or a slot); other characters match
// themselves, letters in either case.
struct ReplyLayoutRow {
    char lead;
    std::string_view body;
    ReplyLayout layout;
};

// Where the reply to lead + AA + body carries its data: a row's layout, or
// Addressed for every command no row names.
ReplyLayout LayoutOf(char lead, std::string_view body);

// The same for a command line as typed: lead, two hexadecimal address digits and
// the body, with or without its final CR. A line of another shape is Addressed
// (the transaction does not judge the address of a line that names none).
ReplyLayout CommandLineLayout(std::string_view line);

} // namespace tavo
