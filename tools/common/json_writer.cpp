#include "common/json_writer.h"

#include <cmath>
#include <cstdio>

namespace vtx::common {

void JsonWriter::NewLine() {
    out_ += '\n';
    out_.append(hasMembers_.size() * 2, ' ');
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (hasMembers_.empty()) return;
    if (hasMembers_.back()) out_ += ',';
    hasMembers_.back() = true;
    NewLine();
}

void JsonWriter::Open(char bracket) {
    BeforeValue();
    out_ += bracket;
    hasMembers_.push_back(false);
}

void JsonWriter::Close(char bracket) {
    const bool hadMembers = hasMembers_.back();
    hasMembers_.pop_back();
    if (hadMembers) NewLine();
    out_ += bracket;
    if (hasMembers_.empty()) out_ += '\n';
}

void JsonWriter::Key(const std::string& name) {
    BeforeValue();
    AppendQuoted(name);
    out_ += ": ";
    afterKey_ = true;
}

void JsonWriter::String(const std::string& value) {
    BeforeValue();
    AppendQuoted(value);
}

void JsonWriter::AppendQuoted(const std::string& value) {
    out_ += '"';
    for (const char c : value) {
        const auto unit = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out_ += '\\';
            out_ += c;
        } else if (unit < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", unit);
            out_ += escaped;
        } else {
            out_ += c;
        }
    }
    out_ += '"';
}

void JsonWriter::Number(double value) {
    BeforeValue();
    if (!std::isfinite(value)) {
        out_ += "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%.10g", value);
    out_ += text;
}

void JsonWriter::Integer(std::uint64_t value) {
    BeforeValue();
    out_ += std::to_string(value);
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    out_ += value ? "true" : "false";
}

void JsonWriter::Null() {
    BeforeValue();
    out_ += "null";
}

}  // namespace vtx::common
