// The data logger's (R270M) record memory as the panel sees it: the memory
// configuration text, record and alarm-limit fields, the rows of an upload and
// their comma-separated file, and the upload itself as a sequence of single-record
// steps that a caller can drive one at a time (from an event loop) and stop
// between any two of them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

// How the module stores records.
enum class StorageMode { Standard = 0, Event = 1, Mixed = 2 };

// In mixed storage the event records are numbered from here upward.
inline constexpr unsigned kMixedEventBase = 0x1388;

// The nine-character memory configuration of "@AAD" and "@AAC".
struct MemoryConfig {
    unsigned storeMask = 0; // bit n = channel n stored
    bool recordData = false;
    StorageMode mode = StorageMode::Standard;
    bool cyclic = false;
    unsigned intervalSeconds = 0;
};

// Reads "@AAD"'s data: two hex digits of mask, the record-data flag ("1" on), the
// storage mode ("0", "1", anything else mixed), the record mode ("0" normal, else
// cyclic) and four hex digits of interval. Nothing unless it is exactly that long
// and its hex fields are hex.
std::optional<MemoryConfig> ParseMemoryConfig(std::string_view data);
// The body of "@AAC" (mask "%02X", flag, mode "0"/"1"/"2", "0"/"1", "%04X").
std::string MemoryConfigText(const MemoryConfig& config);
// The sampling interval a user typed: a decimal number from 2 to 65535.
std::optional<unsigned> ParseSampleInterval(std::string_view text);

// A record's five-character data field: digit k (odd: negative; k / 2 decimals)
// and four hex digits of the magnitude. The value with k / 2 decimals ("-123.4"),
// or nothing when the field is not of that form.
std::optional<std::string> DecodeRecordValue(std::string_view field);

// An alarm limit as the user typed it ("12.5", "-0.5") in the module's six
// characters: sign, decimals digit, four hex digits of |value| * 10^decimals
// ("+1007D"). Nothing when the text is no plain decimal number, has more than five
// decimals or does not fit four hex digits.
std::optional<std::string> AlarmLimitField(std::string_view entry);
// A six-character limit as the alarm page shows it ("+1007D" -> "12.5"); a
// decimals digit outside "1".."5" counts as none. Nothing unless it is sign, a
// digit and four hex digits.
std::optional<std::string> AlarmLimitText(std::string_view field);

// One row of the record list: the four column texts.
struct RecordRow {
    std::string record;   // "%04d", counted from 0 within its series
    std::string channel;  // the channel character
    std::string data;     // the decoded value
    std::string interval; // "-----" for standard records, seconds for event records
};

// A record reply's data (after "!AA") as a row numbered `number`. A standard
// record is a channel digit (0 to 7) and the data field, optionally followed by
// eight hex digits of interval, which it does not show; an event record must carry
// the interval. Nothing for anything else, so that a short, long or garbled reply
// never becomes a row.
std::optional<RecordRow> ParseRecordData(std::string_view data, bool event, unsigned number);

// The saved list: the header line "Record,Channel,Data,Interval" and one line per
// row, the column texts joined by "," and ended by a line feed.
std::string RecordsCsv(const std::vector<RecordRow>& rows);

// An upload in record-sized steps: the standard series first, then the event
// series, each as the storage mode has them. Each record is tried twice; a second
// failure ends its series (the rows read so far stay the caller's), and in mixed
// storage the event series is still read after a failed standard series.
class RecordUpload {
public:
    RecordUpload(StorageMode mode, unsigned standardCount, unsigned eventCount);

    struct Step {
        unsigned index = 0;  // what "@AAR" sends, as "%04X"
        bool event = false;  // which series
        unsigned number = 0; // the record's number within its series
    };
    // The record to read next; only while !Finished().
    Step Current() const;

    enum class Outcome {
        Row,    // `row` holds the record; the upload moved on
        Retry,  // the first failure: wait, then read the same record again
        Failed, // the second failure: its series has ended
    };
    // The reply data of one read of Current(), or nothing when the transaction
    // failed. A reply that is no well-formed record counts as a failure.
    Outcome Offer(const std::optional<std::string>& data, RecordRow& row);
    void Cancel() { cancelled_ = true; }

    bool Finished() const { return cancelled_ || position_ == Total(); }
    // Whether a series ended on a failure.
    bool Failed() const { return failed_; }
    bool Cancelled() const { return cancelled_; }
    unsigned StandardTotal() const { return standard_; }
    unsigned EventTotal() const { return events_; }
    unsigned Total() const { return standard_ + events_; }
    // Records read, and records behind the upload (read, or left with a failed
    // series).
    unsigned Done() const { return done_; }
    unsigned Position() const { return position_; }

private:
    StorageMode mode_;
    unsigned standard_ = 0, events_ = 0;
    unsigned done_ = 0, position_ = 0;
    bool retried_ = false, failed_ = false, cancelled_ = false;
};

} // namespace tavo
