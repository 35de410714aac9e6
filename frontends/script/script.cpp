// Parsing the script language and quoting strings for the transcript.
#include "frontends/script/script.h"

#include <cstdio>
#include <sstream>

#include "platform/text.h"

namespace orva::script {
namespace {

class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}

    void skip_space() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\r'))
            ++m_pos;
    }
    bool at_end() {
        skip_space();
        return m_pos >= m_text.size();
    }
    std::string word() {
        skip_space();
        size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != ' ' && m_text[m_pos] != '\t' && m_text[m_pos] != '\r') ++m_pos;
        return std::string(m_text.substr(start, m_pos - start));
    }
    bool number(int* out, std::string* error) {
        std::string w = word();
        if (w.empty()) {
            *error = "a number is missing";
            return false;
        }
        size_t i = (w[0] == '-') ? 1 : 0;
        if (i == w.size() || w.find_first_not_of("0123456789", i) != std::string::npos || w.size() > 11 ||
            std::stoll(w) > 2147483647LL || std::stoll(w) < -2147483648LL) {
            *error = "\"" + w + "\" is not a decimal number";
            return false;
        }
        *out = int(std::stol(w));
        return true;
    }
    bool next_is_quote() {
        skip_space();
        return m_pos < m_text.size() && m_text[m_pos] == '"';
    }
    // A double-quoted string with the escapes \\ \" \r \n \t \xHH; other text
    // is UTF-8.
    bool string(std::u16string* out, std::string* error) {
        if (!next_is_quote()) {
            *error = "a string in double quotes is missing";
            return false;
        }
        ++m_pos;
        std::string pending;  // UTF-8 bytes not yet converted
        auto flush = [&] {
            *out += platform::to_utf16(pending);
            pending.clear();
        };
        while (m_pos < m_text.size()) {
            char c = m_text[m_pos++];
            if (c == '"') {
                flush();
                return true;
            }
            if (c != '\\') {
                pending += c;
                continue;
            }
            if (m_pos >= m_text.size()) break;
            char e = m_text[m_pos++];
            switch (e) {
                case '\\':
                    pending += '\\';
                    break;
                case '"':
                    pending += '"';
                    break;
                case 'r':
                    pending += '\r';
                    break;
                case 'n':
                    pending += '\n';
                    break;
                case 't':
                    pending += '\t';
                    break;
                case 'x': {
                    auto hex = [](char h) {
                        if (h >= '0' && h <= '9') return h - '0';
                        if (h >= 'a' && h <= 'f') return h - 'a' + 10;
                        if (h >= 'A' && h <= 'F') return h - 'A' + 10;
                        return -1;
                    };
                    if (m_pos + 2 > m_text.size() || hex(m_text[m_pos]) < 0 || hex(m_text[m_pos + 1]) < 0) {
                        *error = "\\x needs two hexadecimal digits";
                        return false;
                    }
                    flush();
                    *out += char16_t(hex(m_text[m_pos]) * 16 + hex(m_text[m_pos + 1]));
                    m_pos += 2;
                    break;
                }
                default:
                    *error = std::string("unknown escape \\") + e;
                    return false;
            }
        }
        *error = "the string has no closing double quote";
        return false;
    }

private:
    std::string_view m_text;
    size_t m_pos = 0;
};

bool parse_line(std::string_view text, int line, Command* cmd, std::string* error) {
    LineReader r(text);
    std::string verb = r.word();
    cmd->line = line;
    using V = Command::Verb;
    if (verb == "tab") {
        cmd->verb = V::Tab;
        if (!r.number(&cmd->id, error)) return false;
        if (cmd->id < 1 || cmd->id > 5) {
            *error = "tab takes a page number from 1 to 5";
            return false;
        }
    } else if (verb == "type") {
        cmd->verb = V::Type;
        if (!r.number(&cmd->id, error) || !r.string(&cmd->text, error)) return false;
    } else if (verb == "select") {
        cmd->verb = V::Select;
        if (!r.number(&cmd->id, error) || !r.number(&cmd->number, error)) return false;
    } else if (verb == "click") {
        cmd->verb = V::Click;
        if (!r.number(&cmd->id, error)) return false;
    } else if (verb == "show") {
        cmd->verb = V::Show;
        if (!r.number(&cmd->id, error)) return false;
    } else if (verb == "answer") {
        cmd->verb = V::Answer;
        while (!r.at_end()) {
            std::string a = r.word();
            if (a != "OK" && a != "CANCEL" && a != "YES" && a != "NO" && a != "ABORT" && a != "RETRY" &&
                a != "IGNORE") {
                *error = "\"" + a + "\" is not an answer (OK, CANCEL, YES, NO, ABORT, RETRY or IGNORE)";
                return false;
            }
            cmd->answers.push_back(a);
        }
        if (cmd->answers.empty()) {
            *error = "answer needs at least one of OK, CANCEL, YES, NO, ABORT, RETRY, IGNORE";
            return false;
        }
    } else if (verb == "pick") {
        cmd->verb = V::Pick;
        if (r.next_is_quote()) {
            if (!r.string(&cmd->text, error)) return false;
        } else if (r.word() == "cancel") {
            cmd->cancel = true;
        } else {
            *error = "pick takes a path in double quotes or the word cancel";
            return false;
        }
    } else if (verb == "ok") {
        cmd->verb = V::Ok;
    } else if (verb == "cancel") {
        cmd->verb = V::Cancel;
    } else {
        *error = "unknown command \"" + verb + "\"";
        return false;
    }
    if (!r.at_end()) {
        *error = "unexpected text after the command";
        return false;
    }
    return true;
}

}  // namespace

bool parse_script(const std::string& source, std::vector<Command>* out, std::string* error) {
    std::istringstream in(source);
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos || text[first] == '#') continue;
        Command cmd{};
        std::string message;
        if (!parse_line(std::string_view(text).substr(first), line, &cmd, &message)) {
            *error = std::to_string(line) + ": " + message;
            return false;
        }
        out->push_back(std::move(cmd));
    }
    return true;
}

std::string quote(std::u16string_view text) {
    std::string out = "\"";
    std::u16string plain;  // converted to UTF-8 as a whole, so surrogate pairs stay together
    auto flush = [&] {
        out += platform::to_utf8(plain);
        plain.clear();
    };
    for (char16_t c : text) {
        const char* escape = nullptr;
        switch (c) {
            case u'\\':
                escape = "\\\\";
                break;
            case u'"':
                escape = "\\\"";
                break;
            case u'\r':
                escape = "\\r";
                break;
            case u'\n':
                escape = "\\n";
                break;
            case u'\t':
                escape = "\\t";
                break;
            default:
                break;
        }
        if (escape) {
            flush();
            out += escape;
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {  // C0, DEL and C1 controls
            flush();
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", unsigned(c));
            out += buf;
        } else {
            plain += c;
        }
    }
    flush();
    out += "\"";
    return out;
}

}  // namespace orva::script
