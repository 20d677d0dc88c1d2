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
//   parity=N|E|O             line parity (default N); seen only by an in-process
//                            port, as a pseudo-terminal carries no parity
//   firmware=TEXT            what $AAF answers, default A1.00
//   type=HH  format=HH       type and format codes (format bit 6 is the checksum)
//   protocol=ascii|modbus
//   delay=MS                 the module's own answer time, default 0
//   noreply= corrupt= badsum= late= noise= garbage= cut=
//                            a fault: a probability (0.1) or a count of the next
//                            replies (#3); late replies come latems=MS later (600);
//                            garbage replaces an ASCII reply's data by "X?#X?#..."
//                            (no number of any format), frame and checksum intact;
//                            cut keeps the first half of an ASCII reply's data
// Model options (slots, values, ...) follow, by family.
//
// Rack controllers (K100 and K100M: 4 slots; K100E and K100EM: 8; Z351: 4; Z352: 8):
//   slots=K220,K230P:7,-,K710
//                            the modules in slots 0, 1, ...; "-" or nothing is an
//                            empty slot. K-series: K210 K220 K220H K220UH K230 K310
//                            K510 K520 K530 K540 K550 K610 K620 K630 K710; any other
//                            K{cc}0 is listed under code cc but answers nothing; any
//                            other name is a generic analog input (code AI), with its
//                            channel count after ':' (default 8, K230P... 7).
//                            Z-series: Z310 Z320.
//   map=user|fixed           K100 racks: whether the Modbus address map may be
//                            rewritten (default user)
//   in0=... in7=             what slot N's inputs see: digital slots a mask (00FF)
//                            or masks each held MS milliseconds (0001/200,0002/200);
//                            analog input slots a value in engineering units (2.5)
//                            or values each with its time (1/500,9/500)
//                            or open=HH, the channels whose sensor is open
//   counterstatus=registers|coils
//                            K100 racks: where the Modbus side shows a K710's
//                            status (registers 8-11 of the slot, or 16 coils from
//                            slot * 16 + 1)
// K100M and K100EM speak Modbus RTU (as K100 and K100E with protocol=modbus).
//
// Digital I/O modules (R510 ... R630, R850, R860); masks in hexadecimal, bit n =
// channel n:
//   inputs=HEX               level of the input terminals
//   pattern=HEX/MS,HEX/MS... the inputs run through these levels, each held MS
//                            milliseconds, over and over from power-up
//   outputs=HEX              outputs at power-up
//   safetime=TENTHS          safety time-out in 0.1 s (0 = off, up to 65535)
//   safevalue=HEX            outputs applied when the host is silent that long
//   invert=HEX               R520 input inversion mask
//   overload=HEX             R560SO outputs with too much load: switching one on
//                            trips its group of four
//   overcurrent=G            R560SO groups already tripped (bit g = outputs 4g..4g+3)
//   freqN=HZ                 pulses on R850 input N (N = 0..6), fractions allowed
//   image=valid|none         R810/R820/R850/R860: whether the boot loader finds a
//                            valid firmware
// Counters (R710, R710D):
//   freq0=HZ freq1=HZ        pulses on counter input 0 / 1
//   gatein=0|1               level of the gate input (default 1)
// A module in its boot loader:
//   05 R8XX target=R850      answers as R8XX at 00 until #00OS; then the R850 (or
//                            R810, R820, R860) at the line's address. image= as
//                            above. The boot loader takes firmware images
//                            (sim/boot_loader.h), as does a K100 in INIT state.
// Analog models (R2xx, R8xx analog inputs, R310, R330, R320T):
//   value=X                  every input channel reads X (engineering units of its
//                            range, degC for temperature ranges) instead of a slowly
//                            moving value
//   value0=X ... value7=X    the same for one channel
//   pattern0=X,Y,... ... pattern7=   channel N reads X, Y, ... one value a reading
//                            (#AA, #AAN), over and over; with /MS after every value
//                            ("4/500,20/500") each value holds MS milliseconds instead.
//                            pattern= is for every channel; a channel's own pattern or
//                            value goes before the one for all channels. Tests may
//                            change these options while the module runs.
//   burnout=HH               channels (bit mask) whose sensor is open; only a channel on
//                            a temperature range (thermocouple, RTD, thermistor) can
//                            tell, and it reads "+888888" in every data format. A
//                            channel disabled with $AA5 reads 0.
//   scanms=MS                R810 family: how long the automatic filter scan takes
//                            (default 3000; 0: done at once)
//   cjc=X                    cold-junction temperature in degC (offset still applies)
//   di=HH                    digital inputs held at HH (R210/R210D/R220: DI0 otherwise
//                            toggles every two seconds and drives the event counter;
//                            R330: emergency inputs, default off; R320T: DI0, DI1)
//   stdrecords=N eventrecords=N   R270M: records in memory at power-up (20 and 4;
//                            up to 5000 and 1000 in mixed storage, 16384 of the one
//                            kind in standard or event storage)
//   storage=standard|event|mixed  R270M: storage mode at power-up (default mixed)
//   startup=X                R310, R330 (every channel), R250 excitation: the output
//                            at power-up, within the range (default its low end; R250
//                            10 V). Outputs slew toward a written value at the rate of
//                            format bits 5..2; SimModule::PowerCycle() restarts a
//                            module at its stored start-up values
//   outrange=HH,HH,HH,HH     R330: channel ranges at power-up (30, 31, 32; default 31)
//   tau=S                    R320T: time constant of both loops' processes in seconds
//                            (0.1 to 3600, default 20); PV settles toward 10 % to 90 %
//                            of its range as MV goes from its low to its high end
//   table=zero|default       R320T: the PID tables at power-up: all zeros (both loops
//                            Free, PV and MV ranges of no width), or the simulator's
//                            working set-up (default)
// A type code or data format the model does not have is refused, and an invalid
// type= falls back to the model's first range.
// A model the simulator does not have, a value a model cannot take, or an option
// it has no use for, is an error.
#pragma once

#include "bus.h"

#include <string>

namespace tavo::sim {

// Fills `bus` from the text; on error returns false with "line N: what" in `error`
// and leaves the bus as it was.
bool LoadBusText(const std::string& text, Bus& bus, std::string& error);
bool LoadBusFile(const std::string& path, Bus& bus, std::string& error);

} // namespace tavo::sim
