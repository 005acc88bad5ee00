// A small JSON writer for the reports of vtxbench and `vtxcli diagnose`:
// objects, arrays, strings and numbers, indented, with the separators placed
// by the writer, not the caller.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace vtx::common {

class JsonWriter {
public:
    void BeginObject() { Open('{'); }
    void EndObject() { Close('}'); }
    void BeginArray() { Open('['); }
    void EndArray() { Close(']'); }
    void Key(const std::string& name);

    void String(const std::string& value);
    void Number(double value);  // not finite: null
    void Integer(std::uint64_t value);
    void Bool(bool value);
    void Null();

    // One member of an object: a text, a number or a truth value.
    template <class Value>
    void Member(const std::string& name, const Value& value) {
        Key(name);
        if constexpr (std::is_same_v<Value, bool>) {
            Bool(value);
        } else if constexpr (std::is_integral_v<Value> && std::is_signed_v<Value>) {
            Number(static_cast<double>(value));
        } else if constexpr (std::is_integral_v<Value>) {
            Integer(static_cast<std::uint64_t>(value));
        } else if constexpr (std::is_floating_point_v<Value>) {
            Number(value);
        } else {
            String(value);
        }
    }

    const std::string& Text() const { return out_; }

private:
    void AppendQuoted(const std::string& value);
    void Open(char bracket);
    void Close(char bracket);
    void BeforeValue();
    void NewLine();

    std::string out_;
    std::vector<bool> hasMembers_;  // one per open bracket
    bool afterKey_ = false;
};

}  // namespace vtx::common
