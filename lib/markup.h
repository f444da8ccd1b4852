// Text inside HTML, SVG or XML.
#pragma once

#include <string>
#include <string_view>

namespace ds {

// `text` with &, <, > and " written as entities.
inline std::string markup_escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace ds
