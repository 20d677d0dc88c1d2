// Per-module settings files: "key: value" lines, the first one naming the model.
// Panels describe their lines; this file handles the format, the dialogs, the
// model check and the messages.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QComboBox;
class QWidget;

namespace tavo {

// Collects the lines of a file in writing order. Lines end in CR LF on disk, as
// files from the module maker's own tools do.
class SettingsWriter {
public:
    // `caption` is the panel's main group caption, " Tavo-R210D ".
    explicit SettingsWriter(const QString& caption);
    // Appends "<key><value>"; the key carries its own ": " ("BaudRate: ").
    void Line(const QString& key, const QString& value);
    void Line(const QString& key, int value) { Line(key, QString::number(value)); }
    // The flag lines that store 0 for a ticked box (checkSum) are written by the
    // caller with the value it means.
    QByteArray Bytes() const;

private:
    QStringList lines_;
};

// Reads lines in the order they were written. Each read matches the next line
// against its key; once a line does not match, every later read fails too and
// the controls keep their values (a file of an older layout loads as far as it
// matches).
class SettingsReader {
public:
    explicit SettingsReader(const QByteArray& bytes);
    // The first word after "Module Name: " (leading blanks skipped), or empty.
    QString ModuleName();
    // The value text of the next line if it starts with `key`.
    std::optional<QString> Text(const QString& key);
    // The first word of the value, as the "%s" fields are read.
    std::optional<QString> Word(const QString& key);
    // The leading decimal integer of the value.
    std::optional<int> Int(const QString& key);
    std::optional<double> Real(const QString& key);
    // Whether the next line has `key`: for a line a file may or may not carry
    // (one written only while its control was enabled).
    bool NextIs(const QString& key) const {
        return matching_ && next_ < lines_.size() && lines_[next_].startsWith(key);
    }
    bool Matching() const { return matching_; }
    // The line (from 1) where the file stopped matching; 0 while it matches.
    int StopLine() const { return stopLine_; }
    // Ends the reading at the line just read (its value was not acceptable).
    void Stop() { StopAt(next_); }

private:
    std::optional<QString> Next(const QString& key);
    QStringList lines_;
    void StopAt(int line) {
        if (matching_) stopLine_ = line;
        matching_ = false;
    }
    int next_ = 0;
    bool matching_ = true;
    int stopLine_ = 0;
};

// Group readers: a panel reads a whole group of lines into locals and applies them
// (and runs the group's Update) only when the reader still matches, so a broken
// file never sends a value the panel did not read from it.
// A list index the list has; anything else ends the reading.
std::optional<int> ReadListIndex(SettingsReader& reader, const QString& key, const QComboBox* combo);
// The same for a list of `count` items (0 to count - 1).
std::optional<int> ReadListIndex(SettingsReader& reader, const QString& key, int count);
// A flag line that stores "0" for a ticked box and "1" for a clear one.
std::optional<bool> ReadTickedFlag(SettingsReader& reader, const QString& key);
inline QString TickedFlag(bool ticked) { return ticked ? "0" : "1"; }

// "R210D.txt" from " Tavo-R210D ": the caption from its seventh character on.
QString DefaultSettingsFileName(const QString& caption);

// Asks for a file name and writes the lines; reports "Error when opening file".
// False when the user cancelled or the file could not be written.
bool SaveSettingsFile(QWidget* parent, const QString& caption,
                      const std::function<void(SettingsWriter&)>& write);
// Asks for a file, checks its model against the caption ("Load Configuration File
// Error!" when it differs) and hands the reader to `read`. When the file stopped
// matching somewhere, says at which line (the groups before it were written).
// False when nothing was loaded or the file did not match to its end.
bool LoadSettingsFile(QWidget* parent, const QString& caption,
                      const std::function<void(SettingsReader&)>& read);

} // namespace tavo
