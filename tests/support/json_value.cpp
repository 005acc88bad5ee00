#include "support/json_value.h"

#include <cstdlib>

namespace vtx::test {
namespace {

bool IsOneOf(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool Value(JsonValue& out, int depth = 0) {
        Blank();
        if (depth > 64 || at_ >= text_.size()) return false;
        const char c = text_[at_];
        if (c == '{') return Object(out, depth);
        if (c == '[') return Array(out, depth);
        if (c == '"') {
            out.type = JsonValue::Type::String;
            return String(out.text);
        }
        if (Word("null")) return true;
        if (Word("true") || Word("false")) {
            out.type = JsonValue::Type::Bool;
            out.boolean = c == 't';
            return true;
        }
        return Number(out);
    }
    bool AtEnd() {
        Blank();
        return at_ == text_.size();
    }

private:
    void Blank() {
        while (at_ < text_.size() && IsOneOf(text_[at_], " \t\r\n")) ++at_;
    }
    bool Take(char c) {
        Blank();
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    bool Number(JsonValue& out) {
        const std::size_t start = at_;
        while (at_ < text_.size() && IsOneOf(text_[at_], "+-0123456789.eE")) ++at_;
        if (at_ == start) return false;
        const std::string digits(text_.substr(start, at_ - start));
        char* end = nullptr;
        out.type = JsonValue::Type::Number;
        out.number = std::strtod(digits.c_str(), &end);
        return end == digits.c_str() + digits.size();
    }
    static void AppendUtf8(std::string& out, unsigned long code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    bool Hex4(unsigned long& code) {
        if (at_ + 4 > text_.size()) return false;
        const std::string digits(text_.substr(at_, 4));
        char* end = nullptr;
        code = std::strtoul(digits.c_str(), &end, 16);
        at_ += 4;
        return end == digits.c_str() + 4;
    }
    bool String(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char escape = text_[at_++];
            constexpr std::string_view kEscapes = "\"\\/bfnrt";
            const std::size_t simple = kEscapes.find(escape);
            if (simple != std::string_view::npos) {
                out += "\"\\/\b\f\n\r\t"[simple];
                continue;
            }
            unsigned long code = 0;
            if (escape != 'u' || !Hex4(code)) return false;
            if (code >= 0xD800 && code < 0xDC00) {
                unsigned long low = 0;
                if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low >= 0xE000) return false;
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            }
            AppendUtf8(out, code);
        }
        return false;
    }
    bool Array(JsonValue& out, int depth) {
        ++at_;
        out.type = JsonValue::Type::Array;
        if (Take(']')) return true;
        do {
            out.items.emplace_back();
            if (!Value(out.items.back(), depth + 1)) return false;
        } while (Take(','));
        return Take(']');
    }
    bool Object(JsonValue& out, int depth) {
        ++at_;
        out.type = JsonValue::Type::Object;
        if (Take('}')) return true;
        do {
            Blank();
            std::string key;
            if (at_ >= text_.size() || text_[at_] != '"' || !String(key) || !Take(':')) return false;
            out.members.emplace_back(std::move(key), JsonValue{});
            if (!Value(out.members.back().second, depth + 1)) return false;
        } while (Take(','));
        return Take('}');
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
    static const JsonValue none;
    for (const auto& member : members) {
        if (member.first == key) return member.second;
    }
    return none;
}

std::optional<JsonValue> ParseJson(std::string_view text) {
    Reader reader(text);
    JsonValue value;
    if (!reader.Value(value) || !reader.AtEnd()) return std::nullopt;
    return value;
}

}  // namespace vtx::test
