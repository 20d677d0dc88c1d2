#include "settings_file.h"

#include "workspace/data_paths.h"
#include "workspace/ui_services.h"

#include <QComboBox>
#include <QFile>
#include <QRegularExpression>

namespace tavo {
namespace {

const QString kFilter = "*.txt (*.txt);;All Files (*)";

// The leading integer of a text, as a "%d" field reads it.
std::optional<int> LeadingInt(const QString& text) {
    const QString t = text.trimmed();
    int end = 0;
    if (end < t.size() && (t[end] == '+' || t[end] == '-')) ++end;
    const int digits = end;
    while (end < t.size() && t[end].isDigit()) ++end;
    if (end == digits) return std::nullopt;
    bool ok = false;
    const int value = t.left(end).toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

void OpenError(QWidget* parent) {
    Ui().Message(parent, UiServices::Icon::Error, "Message", "Error when opening file");
}

} // namespace

SettingsWriter::SettingsWriter(const QString& caption) { Line("Module Name: ", caption); }

void SettingsWriter::Line(const QString& key, const QString& value) { lines_ << key + value; }

QByteArray SettingsWriter::Bytes() const {
    QByteArray out;
    for (const QString& line : lines_) out += line.toUtf8() + "\r\n";
    return out;
}

SettingsReader::SettingsReader(const QByteArray& bytes) {
    // Text lines only: a NUL means this is no settings file, and nothing after it
    // is read.
    QByteArray text = bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'));
    for (QString line : QString::fromUtf8(text).split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        lines_ << line;
    }
}

std::optional<QString> SettingsReader::Next(const QString& key) {
    if (!matching_ || next_ >= lines_.size() || !lines_[next_].startsWith(key)) {
        StopAt(next_ + 1);
        return std::nullopt;
    }
    return lines_[next_++].mid(key.size());
}

QString SettingsReader::ModuleName() {
    const auto value = Word("Module Name: ");
    return value.value_or(QString());
}

std::optional<QString> SettingsReader::Text(const QString& key) { return Next(key); }

std::optional<QString> SettingsReader::Word(const QString& key) {
    const auto value = Next(key);
    if (!value) return std::nullopt;
    const QStringList words = value->split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        Stop();
        return std::nullopt;
    }
    return words.first();
}

std::optional<int> SettingsReader::Int(const QString& key) {
    const auto value = Next(key);
    if (!value) return std::nullopt;
    const auto number = LeadingInt(*value);
    if (!number) Stop();
    return number;
}

std::optional<double> SettingsReader::Real(const QString& key) {
    const auto value = Next(key);
    if (!value) return std::nullopt;
    bool ok = false;
    const double number = value->trimmed().toDouble(&ok);
    if (!ok) {
        Stop();
        return std::nullopt;
    }
    return number;
}

std::optional<int> ReadListIndex(SettingsReader& reader, const QString& key, const QComboBox* combo) {
    return ReadListIndex(reader, key, combo->count());
}

std::optional<int> ReadListIndex(SettingsReader& reader, const QString& key, int count) {
    const auto index = reader.Int(key);
    if (!index) return std::nullopt;
    if (*index < 0 || *index >= count) {
        reader.Stop();
        return std::nullopt;
    }
    return index;
}

std::optional<bool> ReadTickedFlag(SettingsReader& reader, const QString& key) {
    const auto word = reader.Word(key);
    if (!word) return std::nullopt;
    if (*word != "0" && *word != "1") {
        reader.Stop();
        return std::nullopt;
    }
    return *word == "0";
}

QString DefaultSettingsFileName(const QString& caption) { return caption.mid(6).trimmed() + ".txt"; }

bool SaveSettingsFile(QWidget* parent, const QString& caption,
                      const std::function<void(SettingsWriter&)>& write) {
    const QString file =
        Ui().SaveFileName(parent, "Save Configuration", DefaultSettingsFileName(caption), kFilter);
    if (file.isEmpty()) return false;
    SettingsWriter writer(caption);
    write(writer);
    if (!WriteFileAtomically(file, writer.Bytes())) {
        OpenError(parent);
        return false;
    }
    return true;
}

bool LoadSettingsFile(QWidget* parent, const QString& caption,
                      const std::function<void(SettingsReader&)>& read) {
    const QString file =
        Ui().OpenFileName(parent, "Load Configuration", DefaultSettingsFileName(caption), kFilter);
    if (file.isEmpty()) return false;
    QFile in(file);
    // Settings files are a few hundred bytes; anything huge is not one of ours.
    if (!in.open(QIODevice::ReadOnly)) {
        OpenError(parent);
        return false;
    }
    SettingsReader reader(in.read(1 << 20));
    if (reader.ModuleName() != caption.trimmed()) {
        ShowError(parent, "Load Configuration File Error!");
        return false;
    }
    read(reader);
    if (!reader.Matching()) {
        ShowError(parent, QString("Load Configuration File Error!\nLine %1 of the file does not fit "
                                  "this panel; nothing from there on was written to the module.")
                              .arg(reader.StopLine()));
        return false;
    }
    return true;
}

} // namespace tavo
