// The bus file: a text description of a simulated bus, one module a line.
//
//   # comment
//   wire on                  pace bytes as the baud rate would (default off)
//   seed 42                  seed of the fault dice
//   01 R210D checksum firmware=A1.02
//   05 R310 init             in INIT state: answers at 00, 9600 baud, no checksum
//   0A R550 protocol=modbus
//
// A module line is the configured address in hexadecimal (01 to FF, or 00), the
// model designation, then options:
//   init                     INIT state
//   checksum | checksum=on|off
//   baud=1200..115200        default 9600
//   firmware=TEXT            what $AAF answers, default A1.00
//   type=HH  format=HH       type and format codes (format bit 6 is the checksum)
//   protocol=ascii|modbus
//   delay=MS                 the module's own answer time, default 0
//   noreply= corrupt= badsum= late= noise=
//                            a fault: a probability (0.1) or a count of the next
//                            replies (#3); late replies come latems=MS later (600)
// Model options (slots, values, ...) are accepted where a family's Is...Option()
// knows the key. Analog models (R2xx, R8xx analog inputs, R310, R330, R320T):
//   value=X                  every input channel reads X (engineering units of its
//                            range, degC for temperature ranges) instead of a slowly
//                            moving value
//   value0=X ... value7=X    the same for one channel
//   burnout=HH               channels (bit mask) whose sensor is open: "+888888"
//   cjc=X                    cold-junction temperature in degC (offset still applies)
//   di=HH                    digital inputs held at HH (R210/R210D/R220: DI0 otherwise
//                            toggles every two seconds and drives the event counter;
//                            R330: emergency inputs, default off; R320T: DI0, DI1)
//   stdrecords=N eventrecords=N   R270M: records in memory at power-up (20 and 4)
// A type code or data format the model does not have is refused, and an invalid
// type= falls back to the model's first range.
#pragma once

#include "bus.h"

#include <string>

namespace tavo::sim {

// Fills `bus` from the text; on error returns false with "line N: what" in `error`
// and leaves the bus as it was.
bool LoadBusText(const std::string& text, Bus& bus, std::string& error);
bool LoadBusFile(const std::string& path, Bus& bus, std::string& error);

} // namespace tavo::sim
