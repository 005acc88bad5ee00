#include "peer/text_encoding.h"

#include "common/text_conversion.h"

namespace vtx::peer {

std::string EncodeForFields(const std::string& utf8, const char* what, std::size_t capacity,
                            const std::vector<Form>& forms, EncodedText* encoded) {
    const auto wide = common::Utf8ToWide(utf8);
    if (!wide) return std::string(what) + " is not valid UTF-8";
    encoded->wide = *wide;
    encoded->narrow = common::WideToAnsi(*wide);
    for (Form form : forms) {
        std::size_t units = 0;
        const char* kind = "";
        switch (form) {
            case Form::Narrow:
                units = encoded->narrow.size();
                kind = " ANSI";
                break;
            case Form::Wide:
                units = encoded->wide.size();
                kind = " UTF-16";
                break;
        }
        if (units >= capacity) {
            return std::string(what) + " has " + std::to_string(units) + kind + " units; at most " +
                   std::to_string(capacity - 1) + " fit";
        }
    }
    return {};
}

}  // namespace vtx::peer
